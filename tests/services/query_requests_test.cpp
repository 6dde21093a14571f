// Reads through real sockets against an embedded demo database, in each threading model: selects, packets
// of kept queries, blob fetches and batch selects. Expected texts are built here by hand from the formats.
#include <zlib.h>

#include <cstring>

#include "services/service_fixture.h"

namespace qzt {
namespace {

const std::string kNull = "\x03\x02"s, kNoValue = "\x06\xff\xff\xff\xff\x02"s;

const std::string kKindsDefs = Def("ID", 3) + Def("NAME", 1, 20) + Def("SMALL", 2) + Def("BIG", 25) +
                               Def("RATIO", 6) + Def("PRICE", 8) + Def("SOLD_ON", 9) + Def("AT_TIME", 10) +
                               Def("STAMPED", 11) + Def("FLAG", 5) + Def("NOTE", 16) + Def("DATA", 15);

// Row 1 of KINDS up to its blobs: 1, 'abc', 7, 1234567890123, 1.5, 12.34, 2026-12-11, 18:00, 2026-12-11 18:00, true.
const std::string kRow1Head = "1\x02" "abc\x02" "7\x02" "1234567890123\x02"
                              "\x05\x00\x00\x00\x00\x00\x00\xf8\x3f\x02"  // 1.5
                              "\x08\x08\xe2\x01\x00\x00\x00\x00\x00\x02"  // 12.34 as 123400
                              "\x05\x00\x00\x00\x00\xe0\xa3\xe6\x40\x02"  // day 46367
                              "\x05\x00\x00\x00\x00\x00\x00\xe8\x3f\x02"  // 0.75
                              "\x05\x00\x00\x00\x00\xf8\xa3\xe6\x40\x02"  // 46367.75
                              "1\x02"s;
const std::string kRow1Blobs = "\x06\x05\x00\x00\x00hello\x02" "\x06\x02\x00\x00\x00\x01\xff\x02"s;
const std::string kRow2 = "2\x02"s + kNull + kNull + kNull + kNull + kNull + kNull + kNull + kNull + kNull +
                          kNoValue + kNoValue + kEnd;

class QueryRequests : public ServiceFixture {};

TEST(DBTools, RunsFromTheFirstRowStartOverAndRunsFromTheCursorGoOn) {
  TVornDataSet ds;
  ds.AddFastField("N", ftInteger, 0);
  ds.Open();
  for (int32_t n : {1, 2, 3}) ds.AppendRecord({Variant(n)});
  TVornDBTools tools(nullptr, nullptr, &ds);
  EXPECT_EQ(tools.AllRows(0), "1\x02\x04" "2\x02\x04" "3\x02\x04"s);
  EXPECT_EQ(tools.AllRows(0), "1\x02\x04" "2\x02\x04" "3\x02\x04"s);  // again, though the cursor was at the end
  EXPECT_EQ(tools.Rows(true, 2, 0), "1\x02\x04" "2\x02\x04"s);
  EXPECT_EQ(tools.Rows(false, 5, 0), "3\x02\x04"s);
  EXPECT_EQ(tools.Rows(false, 5, 0), kNoRows);
  ds.EmptyDataSet();
  EXPECT_EQ(tools.AllRows(0), kNoRows);
}

std::string Inflate(const std::string& z) {
  std::string out(4096, '\0');
  uLongf size = out.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(z.data()),
                       z.size()),
            Z_OK);
  out.resize(size);
  return out;
}

TEST_P(QueryRequests, SelectsEncodeEveryFieldType) {
  const int32_t id = Select("select * from kinds where id = 0", -1, 0);
  Reply r = Rows(kKindsDefs);
  EXPECT_EQ(r.Token, SQLResultSet);
  EXPECT_EQ(r.RequestId, id);
  EXPECT_EQ(r.F[0], "0");
  EXPECT_EQ(r.F[1], kNoRows);
  EXPECT_EQ(r.F[2], "0");

  Select("select * from kinds order by id", -1, soFetchMemos | soFetchBlobs);
  r = Rows(kKindsDefs);
  EXPECT_EQ(r.F[1], kRow1Head + kRow1Blobs + kEnd + kRow2);

  Select("select * from kinds order by id", -1, 0);  // memos and blobs not asked for
  r = Rows(kKindsDefs);
  EXPECT_EQ(r.F[1], kRow1Head + kNoValue + kNoValue + kEnd + kRow2);

  Select("select * from kinds order by id", -1, soFetchMemos | soCompress);
  r = Rows(kKindsDefs);
  EXPECT_EQ(r.F[2], "1");
  EXPECT_EQ(Inflate(r.F[1]), kRow1Head + "\x06\x05\x00\x00\x00hello\x02"s + kNoValue + kEnd + kRow2);

  Select("select id from kinds order by id", 1, 0);  // a count stops the run
  EXPECT_EQ(Rows(Def("ID", 3)).F[1], "1\x02\x04"s);
}

TEST_P(QueryRequests, ErrorsAndDelays) {
  Select("select nothing from nowhere", -1, 0);
  Reply r = Next();
  EXPECT_EQ(r.Token, SQLError);
  EXPECT_NE(r.F[0].find("NOWHERE"), std::string::npos) << r.F[0];
  r = Next();  // the plug-in reported the error; the field definitions of the closed query follow, no rows
  EXPECT_EQ(r.Token, FieldDefs);
  EXPECT_EQ(r.F[0], "");

  const bool pooled = Mode() == 1;
  const int32_t id = Select("select id from kinds where id = 2", -1, soDelayed);
  if (!pooled) {
    ExpectError("Delays not supported in Servers Not running in Pooled Sessions");
  } else {
    r = Next();
    EXPECT_EQ(r.Token, DelayAction);
    EXPECT_EQ(r.RequestId, id);
    EXPECT_EQ(r.F[0], "select id from kinds where id = 2");
    EXPECT_EQ(r.F[2], std::to_string(soDelayed));
    EXPECT_EQ(Rows(Def("ID", 3)).F[1], "2\x02\x04"s);
  }
}

TEST_P(QueryRequests, ParametersAndDesignTimeCredentialsInField4) {
  TVornParamList params, credentials;
  params.AddTyped("ID", ftInteger, Variant(int32_t{1}));
  credentials.AddTyped("DTUserName", ftString, Variant("designer"));
  credentials.AddTyped("DTPassword", ftString, Variant("secret"));
  Select("select name from kinds where id = :ID", -1, 0,
         "DB\x05"s + params.SaveToString() + "\x02"s + credentials.SaveToString());
  EXPECT_EQ(Rows(Def("NAME", 1, 20)).F[1], "abc\x02\x04"s);
  EXPECT_EQ(WithRecord([](TUserRecord& r) { return r.UserName; }), "designer");
  EXPECT_EQ(WithRecord([](TUserRecord& r) { return r.ParamList.ValueOf("DTPassWord").ToString(); }), "secret");
}

TEST_P(QueryRequests, BlobFetchAndBatchSelect) {
  const int32_t id = Send(StreamRequest, {"kinds"s, "data"s, "where id = 1"s, 77, ""s});
  Reply r = Next();
  EXPECT_EQ(r.Token, StreamRequest);
  EXPECT_EQ(r.RequestId, id);
  EXPECT_EQ(r.F[0], "kinds");
  EXPECT_EQ(r.F[2], "77");
  EXPECT_EQ(r.F[3], "\x01\xff"s);

  TVornParamList perStatement, second;
  perStatement.AddValue(Variant(""));
  second.AddTyped("ID", ftInteger, Variant(int32_t{2}));
  perStatement.AddValue(Variant(second.SaveToString()));
  Send(ArgusSQL, {"~"s + perStatement.SaveToString(), "select id from kinds\r\n\r\nselect id from kinds where id = :ID"s,
                  -1, static_cast<int32_t>(soFetchMemos | soFetchBlobs)});
  r = Rows(Def("ID", 3) + Def("SQL", 16) + Def("DataSet", 15));
  ASSERT_EQ(r.Token, SQLResultSet);
  const std::string& rows = r.F[1];
  EXPECT_EQ(rows.rfind("1\x02\x06\x14\x00\x00\x00select id from kinds\x02\x06"s, 0), 0u) << rows;
  // The second statement's dataset holds its one row.
  TVornDataSet nested;
  const size_t at = rows.find("where id = :ID\x02\x06"s);
  ASSERT_NE(at, std::string::npos);
  int32_t length = 0;
  std::memcpy(&length, rows.data() + at + 16, 4);
  nested.LoadFromStreamWithFields(std::string_view(rows).substr(at + 20, length));
  EXPECT_EQ(nested.RecordCount(), 1);
  EXPECT_EQ(nested.FieldByName("ID").AsInteger(), 2);
}

// Kept queries exist on persistent sessions: the persistent model, and smart threading for a client
// that received a persistent session at login.
class KeptQueries : public QueryRequests {
 protected:
  void SetUp() override {
    QueryRequests::SetUp();
    if (GetParam() != tmSmartThreading) return;
    server.OnAssignPersistentSession = [this](TVornServerSocket&, TUserRecord& c, const std::string&,
                                              const std::string&, TComponent*& session, bool& verified) {
      server.ThreadedDBSupplySession(c.Connection.get(), "", session);
      verified = true;
    };
    server.OnClientAuthenticate = [](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                     const std::string&, TVornParamList&, bool& verified, TComponent*&) {
      verified = true;
    };
    ASSERT_TRUE(client.Login("keeper", "pw", "POS").Verified);
  }
  Reply Packet(int32_t handle, int32_t rows, TVornSelectSQLOptionSet options = soPackets) {
    Send(SQLGetNextPacket, {0, rows, static_cast<int32_t>(options)}, handle);
    return Next();
  }
};

std::string Ids(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) s += std::to_string(i) + "\x02\x04"s;
  return s;
}

TEST_P(KeptQueries, PacketsOfThreeOverTenUntilTheEnd) {
  const std::string ten = "select item_id from items where item_id <= 10 order by item_id";
  const int32_t id = Select(ten, 3, soPackets);
  Reply r = Rows(Def("ITEM_ID", 3));
  EXPECT_EQ(r.F[0], std::to_string(id));
  EXPECT_EQ(r.F[1], Ids(1, 3));
  struct Step {
    int from, to;
    const char* state;
  } steps[] = {{4, 6, "-1"}, {7, 9, "-1"}, {10, 10, "-2"}};
  for (const Step& step : steps) {
    r = Packet(id, 3);
    EXPECT_EQ(r.Token, SQLResultSet);
    EXPECT_EQ(r.RequestId, id);
    EXPECT_EQ(r.F[0], step.state);
    EXPECT_EQ(r.F[1], Ids(step.from, step.to));
  }
  EXPECT_EQ(Packet(id, 3).Token, SQLError);  // released at the end: the entry is gone

  const int32_t all = Select(ten, -1, soPackets);  // every row at once, the handle still kept
  r = Rows(Def("ITEM_ID", 3));
  EXPECT_EQ(r.F[0], std::to_string(all));
  EXPECT_EQ(r.F[1], Ids(1, 10));
  r = Packet(all, 3);
  EXPECT_EQ(r.F[0], "-2");
  EXPECT_EQ(r.F[1], kNoRows);
}

TEST_P(KeptQueries, LocateAndRelease) {
  const int32_t id = Select("select item_id, code from items order by item_id", 2, soPackets);
  Rows(Def("ITEM_ID", 3) + Def("CODE", 1, 20));
  const auto locate = [&](const std::string& code, int lo) {
    TVornParamList keys;
    keys.AddTyped("CODE", ftString, Variant(code));
    if (lo >= 0) keys.AddTyped("~LO", ftInteger, Variant(int32_t{lo}));
    Send(SQLGetNextPacketLocate, {id, 2, static_cast<int32_t>(soPackets), keys.SaveToString()});
    return Next();
  };
  Reply r = locate("p1005", 1);  // case-insensitive
  EXPECT_EQ(r.F[0], "-1");
  EXPECT_EQ(r.F[1], "6\x02P1005\x02\x04" "7\x02P1006\x02\x04"s);
  EXPECT_EQ(locate("p100", 3).F[1], "1\x02P1000\x02\x04" "2\x02P1001\x02\x04"s);  // and partial
  r = locate("p1005", -1);  // exact: not found
  EXPECT_EQ(r.F[0], "-1");
  EXPECT_EQ(r.F[1], kNoRows);

  Send(SQLPacketQueryFree, {0, 1}, id);  // close only: the entry stays, its dataset closed
  r = Packet(id, 2);
  EXPECT_EQ(r.F[0], "-2");
  EXPECT_EQ(r.F[1], kNoRows);
  const int32_t second = Select("select item_id from items order by item_id", 1, soPackets);
  Rows(Def("ITEM_ID", 3));
  Send(SQLPacketQueryFree, {0, 0}, second);  // freed: nothing is answered, the entry is gone
  EXPECT_EQ(Packet(second, 1).Token, SQLError);
}

INSTANTIATE_TEST_SUITE_P(Persistent, KeptQueries, ::testing::Values(tmPersistentSessions, tmSmartThreading),
                         [](const ::testing::TestParamInfo<TVornThreadModel>& info) {
                           return std::string(info.param == tmSmartThreading ? "SmartThreading" : "Persistent");
                         });

// Without a persistent session there is nothing kept: packets are refused, releases ignored.
class NoKeptQueries : public QueryRequests {};

TEST_P(NoKeptQueries, PacketsAreRefusedAndReleasesIgnored) {
  Send(SQLPacketQueryFree, {0, 0}, 5);
  Send(SQLGetNextPacket, {0, 3, static_cast<int32_t>(soPackets)}, 5);
  ExpectError("Server Problem: VornServer.DataSet Property is unassigned.");  // the first reply there is
  const int32_t id = Select("select item_id from items where item_id = 1", 3, soPackets);
  Reply r = Rows(Def("ITEM_ID", 3));
  EXPECT_EQ(r.F[0], "0");  // no handle: the query is not kept
  Send(SQLGetNextPacket, {0, 3, static_cast<int32_t>(soPackets)}, id);
  ExpectError("Server Problem: VornServer.DataSet Property is unassigned.");
}

TEST_P(NoKeptQueries, LegacyReadsOfTheServerDataSet) {
  if (GetParam() != tmSingleSession) GTEST_SKIP() << "the legacy reads are the same in every model";
  Send(FieldDefs, {"ignored"s});
  EXPECT_EQ(Next().Token, FieldDefs);
  Send(SQLResultSet, {"ignored"s});
  Reply r = Next();
  EXPECT_EQ(r.Token, SQLResultSet);
  EXPECT_EQ(r.F[1], kNoRows);  // the closed query holds no rows
  server.DataSet = nullptr;
  Send(SQLResultSet, {"ignored"s});
  ExpectError("Server Problem: VornServer.DataSet Property is unassigned.");
}

INSTANTIATE_TEST_SUITE_P(Other, NoKeptQueries, ::testing::Values(tmSingleSession, tmPooledSessions),
                         [](const ::testing::TestParamInfo<TVornThreadModel>& info) {
                           return std::string(info.param == tmSingleSession ? "SingleSession" : "Pooled");
                         });

INSTANTIATE_TEST_SUITE_P(Models, QueryRequests,
                         ::testing::Values(tmSingleSession, tmPooledSessions, tmPersistentSessions, tmSmartThreading),
                         ModelName);

}  // namespace
}  // namespace qzt
