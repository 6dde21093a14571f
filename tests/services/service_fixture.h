// The fixture of the data-service tests: a server in one threading model with the Firebird plug-in on
// the demo database, the data services registered, and one connected client; replies are read as
// token, request id and five text fields.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "client/client.h"
#include "dbplugin/demo_folder.h"
#include "dbplugin/fibplus_plugin.h"
#include "server/session_list.h"
#include "services/data_services.h"
#include "services/db_tools.h"

namespace qzt {

namespace fs = std::filesystem;
using namespace std::string_literals;

inline const std::string kEnd = "\x04"s, kSep = "\x02"s;
inline const std::string kNoRows = "NULL\x04"s;

// One field of the field-definition text: name, type, size, not calculated, not read-only.
inline std::string Def(const std::string& name, int type, int size = 0) {
  return name + kSep + std::to_string(type) + kSep + std::to_string(size) + kSep + "0" + kSep + "0" + kSep + kEnd;
}

struct Reply {
  uint8_t Token = 0;
  int32_t RequestId = 0;
  std::string F[5];
};

class ServiceFixture : public ::testing::TestWithParam<TVornThreadModel> {
 protected:
  static void SetUpTestSuite() {
    dir = MakeDemoFolder("qzt-services");
    TFIBDataModule m;
    m.IBDatabase.DBName = (dir / "demo.fdb").string();
    m.IBDatabase.UserName = "SYSDBA";
    m.IBDatabase.Connect();
    for (const char* sql :
         {"create table kinds (id integer not null primary key, name varchar(20), small smallint, big bigint, "
          "ratio double precision, price numeric(12,2), sold_on date, at_time time, stamped timestamp, flag boolean, "
          "note blob sub_type text, data blob sub_type binary)",
          "insert into kinds values (1, 'abc', 7, 1234567890123, 1.5, 12.34, '2026-12-11', '18:00:00', "
          "'2026-12-11 18:00:00', true, 'hello', x'01FF')",
          "insert into kinds (id) values (2)",
          "create table plain (id integer, name varchar(10))"}) {
      m.ExecQuery.SetSQL(sql);
      m.ExecQuery.ExecQuery();
    }
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }

  void SetUp() override {
    server.Port = 0;
    server.BindAddress = "127.0.0.1";
    server.ThreadingModel = GetParam();
    server.DataBaseSessions = 2;
    server.OnShowServerMessage = [](TVornServerSocket&, const std::string&) {};
    server.SetActive(true);
    if (FirebirdPlugin()) FirebirdPlugin()->DatabaseConnectionString.clear();
    ASSERT_TRUE(AttachFirebirdPlugin(server, dir.string()));
    RegisterDataServices(server);
    client.Connect("127.0.0.1", server.BoundPort());
    // The connect returns before the server has made the client's record; tests read it.
    const auto records = [this] {
      int n = 0;
      server.RunOnIoThread([&] { n = server.Users().Count(); });
      return n;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (records() == 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(records(), 1);
  }
  void TearDown() override {
    client.Close();
    server.Threads().WaitIdle();
    DetachFirebirdPlugin(server);
  }

  int32_t Send(uint8_t token, const std::vector<QztClient::LineField>& fields, int32_t id = 0) {
    return client.SendFields(token, fields, id);
  }
  int32_t Select(const std::string& sql, int32_t rows, TVornSelectSQLOptionSet options,
                 const std::string& field4 = "") {
    return Send(SQLSelect2, {sql, rows, static_cast<int32_t>(options), field4});
  }
  Reply Next() {
    TVornStringLine line;
    if (!client.Receive(line, 10000)) throw std::runtime_error("no reply");
    Reply r;
    r.Token = line.Token();
    r.RequestId = line.RequestId();
    for (auto& f : r.F) f = line.ReadString();
    return r;
  }
  // FieldDefs then SQLResultSet: the row reply.
  Reply Rows(const std::string& defs) {
    const Reply d = Next();
    EXPECT_EQ(d.Token, FieldDefs) << d.F[0];
    EXPECT_EQ(d.F[0], defs);
    return Next();
  }
  // Runs `f` with the client's record on the I/O thread, which owns the records.
  template <typename F>
  auto WithRecord(F f) {
    decltype(f(std::declval<TUserRecord&>())) result{};
    server.RunOnIoThread([&] { result = f(*server.Users().Items(0)); });
    return result;
  }
  int Mode() {
    return WithRecord([this](TUserRecord& r) { return server.EffectiveMode(&r); });
  }
  // The single value a one-row, one-column select answers, as its row text holds it.
  std::string Value(const std::string& sql) {
    Select(sql, -1, 0);
    const Reply d = Next();
    EXPECT_EQ(d.Token, FieldDefs) << d.F[0];
    const Reply r = Next();
    EXPECT_EQ(r.Token, SQLResultSet) << r.F[0];
    return r.F[1].substr(0, r.F[1].find('\x02'));
  }
  void ExpectError(const std::string& text) {
    const Reply r = Next();
    EXPECT_EQ(r.Token, SQLError);
    EXPECT_EQ(r.F[0], text);
  }

  static fs::path dir;  // the demo database with a table of every field type (KINDS)
  TVornServerSocket server;
  QztClient client;
};
inline fs::path ServiceFixture::dir;

inline std::string ModelName(const ::testing::TestParamInfo<TVornThreadModel>& info) {
  static const char* const names[] = {"SingleSession", "PooledSessions", "PersistentSessions", "SmartThreading"};
  return names[info.param];
}

}  // namespace qzt
