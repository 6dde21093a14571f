// The Firebird access layer beside the Firebird OO API used directly on the same statements in the same
// run: a one-row select, a 100,000-row select (every field read), and the time to attach; each through the
// embedded engine and through a Firebird server on loopback.
#include <benchmark/benchmark.h>
#include <firebird/Interface.h>

#include <cstring>
#include <filesystem>

#include "dbplugin/demo_database.h"
#include "dbplugin/fb_access.h"
#include "dbplugin/firebird_server.h"

namespace {

using namespace qzt;
namespace fs = std::filesystem;

// A connected database and its default transaction, as the server's sessions hold them.
struct Layer {
  TpFIBDatabase db;
  TpFIBTransaction tra;
  explicit Layer(const std::string& path) {
    db.DBName = path;
    db.UserName = "SYSDBA";
    db.Password = "masterkey";
    db.DefaultTransaction = &tra;
    tra.DefaultDatabase = &db;
    db.Connect();
  }
};

const std::string& DatabasePath() {
  static const std::string path = [] {
    const fs::path dir = fs::temp_directory_path() / ("qzt-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string p = (dir / "bench.fdb").string();
    CreateDemoDatabase(p);
    Layer l(p);
    TpFIBQuery q;
    q.Database = &l.db;
    q.Transaction = &l.tra;
    q.Options = qoStartTransaction | qoAutoCommit;
    q.SetSQL("create table big (id integer, name varchar(40), amount numeric(12,2), stamp timestamp)");
    q.ExecQuery();
    q.Options = qoStartTransaction;
    q.SetSQL("insert into big values (?, ?, ?, ?)");
    for (int i = 0; i < 100000; ++i) {
      q.ParamByPosition(0).Value = Variant(int32_t{i});
      q.ParamByPosition(1).Value = Variant("row number " + std::to_string(i));
      q.ParamByPosition(2).Value = Variant::Currency(int64_t{i} * 150);
      q.ParamByPosition(3).Value = Variant::Date(45000 + i / 1000.0);
      q.ExecQuery();
    }
    l.tra.Commit();
    return p;
  }();
  return path;
}

// A copy of the same database served by a Firebird server of its own on loopback.
const std::string& RemotePath() {
  static LocalFirebirdServer* server = nullptr;
  static const std::string path = [] {
    const fs::path root = fs::path(DatabasePath()).parent_path() / "server";
    fs::create_directories(root);
    fs::copy_file(DatabasePath(), root / "bench.fdb", fs::copy_options::overwrite_existing);
    server = new LocalFirebirdServer(root);
    std::atexit([] { delete server; });
    return server->Host() + ":" + (root / "bench.fdb").string();
  }();
  return path;
}

using Where = const std::string& (*)();

void BM_OneRow_Layer(benchmark::State& state, Where where) {
  Layer l(where());
  TpFIBDataSet ds;
  ds.Database = &l.db;
  ds.Transaction = &l.tra;
  ds.SetSelectSQL("select item_id, code, name, price, stock, created from items where item_id = :ID");
  int id = 0;
  for (auto _ : state) {
    ds.Params.ParamByName("ID").Value = Variant(int32_t{1 + id++ % 200});
    ds.Open();
    for (int i = 0; i < ds.FieldCount(); ++i) benchmark::DoNotOptimize(ds.Fields(i).AsVariant());
    ds.Close();
  }
  state.SetItemsProcessed(state.iterations());
}

using namespace Firebird;

struct Direct {
  IMaster* master = fb_get_master_interface();
  ThrowStatusWrapper st{master->getStatus()};
  IAttachment* att = nullptr;
  ITransaction* tra = nullptr;
  explicit Direct(const std::string& path) {
    IXpbBuilder* dpb = master->getUtilInterface()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&st, isc_dpb_password, "masterkey");
    att = master->getDispatcher()->attachDatabase(&st, path.c_str(), dpb->getBufferLength(&st),
                                                  dpb->getBuffer(&st));
    dpb->dispose();
    tra = att->startTransaction(&st, 0, nullptr);
  }
  ~Direct() {
    tra->commit(&st);
    att->detach(&st);
    st.dispose();
  }
};

void BM_OneRow_Direct(benchmark::State& state, Where where) {
  Direct d(where());
  IStatement* stmt = d.att->prepare(
      &d.st, d.tra, 0, "select item_id, code, name, price, stock, created from items where item_id = ?", 3,
      IStatement::PREPARE_PREFETCH_METADATA);
  IMessageMetadata* in = stmt->getInputMetadata(&d.st);
  IMessageMetadata* out = stmt->getOutputMetadata(&d.st);
  std::string inBuf(in->getMessageLength(&d.st), '\0'), outBuf(out->getMessageLength(&d.st), '\0');
  const unsigned offset = in->getOffset(&d.st, 0), nullOffset = in->getNullOffset(&d.st, 0);
  int id = 0;
  for (auto _ : state) {
    const int32_t v = 1 + id++ % 200;
    std::memcpy(inBuf.data() + offset, &v, 4);
    std::memset(inBuf.data() + nullOffset, 0, 2);
    IResultSet* rs = stmt->openCursor(&d.st, d.tra, in, inBuf.data(), out, 0);
    while (rs->fetchNext(&d.st, outBuf.data()) == IStatus::RESULT_OK) benchmark::DoNotOptimize(outBuf.data());
    rs->close(&d.st);
  }
  in->release();
  out->release();
  stmt->free(&d.st);
  state.SetItemsProcessed(state.iterations());
}

void BM_100kRows_Layer(benchmark::State& state, Where where) {
  Layer l(where());
  TpFIBDataSet ds;
  ds.Database = &l.db;
  ds.Transaction = &l.tra;
  ds.SetSelectSQL("select * from big");
  for (auto _ : state) {
    ds.Open();
    for (ds.First(); !ds.Eof(); ds.Next())
      for (int i = 0; i < ds.FieldCount(); ++i) benchmark::DoNotOptimize(ds.Fields(i).AsVariant());
    ds.Close();
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}

void BM_100kRows_Direct(benchmark::State& state, Where where) {
  Direct d(where());
  IStatement* stmt =
      d.att->prepare(&d.st, d.tra, 0, "select * from big", 3, IStatement::PREPARE_PREFETCH_METADATA);
  IMessageMetadata* out = stmt->getOutputMetadata(&d.st);
  std::string outBuf(out->getMessageLength(&d.st), '\0');
  for (auto _ : state) {
    IResultSet* rs = stmt->openCursor(&d.st, d.tra, nullptr, nullptr, out, 0);
    while (rs->fetchNext(&d.st, outBuf.data()) == IStatus::RESULT_OK) benchmark::DoNotOptimize(outBuf.data());
    rs->close(&d.st);
  }
  out->release();
  stmt->free(&d.st);
  state.SetItemsProcessed(state.iterations() * 100000);
}

void BM_Attach_Layer(benchmark::State& state, Where where) {
  const std::string path = where();
  for (auto _ : state) {
    TpFIBDatabase db;
    db.DBName = path;
    db.UserName = "SYSDBA";
    db.Password = "masterkey";
    db.Connect();
    db.Disconnect();
  }
}

BENCHMARK_CAPTURE(BM_OneRow_Layer, embedded, DatabasePath);
BENCHMARK_CAPTURE(BM_OneRow_Direct, embedded, DatabasePath);
BENCHMARK_CAPTURE(BM_100kRows_Layer, embedded, DatabasePath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_100kRows_Direct, embedded, DatabasePath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Attach_Layer, embedded, DatabasePath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OneRow_Layer, remote, RemotePath);
BENCHMARK_CAPTURE(BM_OneRow_Direct, remote, RemotePath);
BENCHMARK_CAPTURE(BM_100kRows_Layer, remote, RemotePath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_100kRows_Direct, remote, RemotePath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Attach_Layer, remote, RemotePath)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
