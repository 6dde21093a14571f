// What the database benchmarks share: the bench database (the demo database and a 100,000-row table
// BIG) and the baseline of every database figure, the same queries run directly through the Firebird OO
// API.
#pragma once

#include <benchmark/benchmark.h>
#include <firebird/Interface.h>

#include <cstring>
#include <string>

#include "dbplugin/demo_database.h"
#include "dbplugin/fibplus_plugin.h"

namespace qzt::bench {

inline constexpr const char* kOneRowSQL =
    "select item_id, code, name, price, stock, created from items where item_id = ?";

// The demo database at `path` with the table BIG of 100,000 rows, made through the embedded engine.
inline void CreateBenchDatabase(const std::string& path) {
  CreateDemoDatabase(path);
  TFIBDataModule m;
  m.IBDatabase.DBName = path;
  m.IBDatabase.UserName = "SYSDBA";
  m.IBDatabase.Connect();
  TpFIBQuery& q = m.ExecQuery;
  q.SetSQL("create table big (id integer, name varchar(40), amount numeric(12,2), stamp timestamp)");
  q.ExecQuery();
  m.IBTransaction.StartTransaction();  // one transaction for every row
  q.SetSQL("insert into big values (?, ?, ?, ?)");
  for (int i = 0; i < 100000; ++i) {
    q.ParamByPosition(0).Value = Variant(int32_t{i});
    q.ParamByPosition(1).Value = Variant("row number " + std::to_string(i));
    q.ParamByPosition(2).Value = Variant::Currency(int64_t{i} * 150);
    q.ParamByPosition(3).Value = Variant::Date(45000 + i / 1000.0);
    q.ExecQuery();
  }
  m.IBTransaction.Commit();
}

// An attachment and a transaction of the OO API, with no layer between.
struct Direct {
  Firebird::IMaster* master = Firebird::fb_get_master_interface();
  Firebird::ThrowStatusWrapper st{master->getStatus()};
  Firebird::IAttachment* att = nullptr;
  Firebird::ITransaction* tra = nullptr;
  explicit Direct(const std::string& database) {
    Firebird::IXpbBuilder* dpb =
        master->getUtilInterface()->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&st, isc_dpb_password, "masterkey");
    att = master->getDispatcher()->attachDatabase(&st, database.c_str(), dpb->getBufferLength(&st),
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

// The one-row select by key, prepared once, run for keys 1..200 in turn.
inline void OneRowDirect(benchmark::State& state, const std::string& database) {
  using namespace Firebird;
  Direct d(database);
  IStatement* stmt = d.att->prepare(&d.st, d.tra, 0, kOneRowSQL, 3, IStatement::PREPARE_PREFETCH_METADATA);
  IMessageMetadata* in = stmt->getInputMetadata(&d.st);
  IMessageMetadata* out = stmt->getOutputMetadata(&d.st);
  std::string inBuf(in->getMessageLength(&d.st), '\0'), outBuf(out->getMessageLength(&d.st), '\0');
  const unsigned offset = in->getOffset(&d.st, 0), nullOffset = in->getNullOffset(&d.st, 0);
  int id = state.thread_index();
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

// Every row of BIG fetched.
inline void AllRowsDirect(benchmark::State& state, const std::string& database) {
  using namespace Firebird;
  Direct d(database);
  IStatement* stmt = d.att->prepare(&d.st, d.tra, 0, "select * from big", 3, IStatement::PREPARE_PREFETCH_METADATA);
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

}  // namespace qzt::bench
