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
#include "direct_queries.h"

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
    bench::CreateBenchDatabase(p);
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

void BM_OneRow_Direct(benchmark::State& state, Where where) { bench::OneRowDirect(state, where()); }

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

void BM_100kRows_Direct(benchmark::State& state, Where where) { bench::AllRowsDirect(state, where()); }

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
