// Metadata requests through a real socket: database kinds answered by the plug-in, the user list, the
// (still empty) server catalogues, the ignored kinds and the errors.
#include "services/service_fixture.h"

namespace qzt {
namespace {

class MetaDataRequests : public ServiceFixture {
 protected:
  // The answer of a kind: TableFieldDefs, then TableResultSet.
  std::pair<Reply, Reply> Ask(int kind, const std::string& arg1 = "", const std::string& arg2 = "") {
    Send(MetaData, {arg1, arg2, ""s, kind + 99});
    Reply defs = Next();
    if (defs.Token != TableFieldDefs) return {defs, {}};
    return {defs, Next()};
  }
};

TEST_P(MetaDataRequests, DatabaseKindsUserListsAndCatalogues) {
  Send(MetaData, {""s, ""s, ""s, 98});  // outside 99..126: no reply
  Send(MetaData, {""s, ""s, ""s, 127});
  auto [defs, rows] = Ask(1);  // tables
  ASSERT_EQ(defs.Token, TableFieldDefs);
  EXPECT_EQ(rows.Token, TableResultSet);
  EXPECT_EQ(rows.F[0], "0");
  EXPECT_NE(rows.F[1].find("CUSTOMERS\x02"s), std::string::npos);
  EXPECT_NE(rows.F[1].find("SALE_LINES\x02"s), std::string::npos);

  std::tie(defs, rows) = Ask(3, "CUSTOMERS");  // fields
  EXPECT_EQ(rows.F[1].rfind("CUST_NO\x02"s, 0), 0u) << rows.F[1];
  Send(TableFieldDefs, {""s});  // the field definitions of the last answer
  EXPECT_EQ(Next().F[0], defs.F[0]);

  std::tie(defs, rows) = Ask(15, "NoSuchMethod");  // no parameter information: a Junk table
  EXPECT_EQ(defs.F[0], Def("Junk", 1, 25));
  EXPECT_EQ(rows.F[1], kNoRows);
  std::tie(defs, rows) = Ask(14);  // providers: the catalogue, empty here
  EXPECT_EQ(defs.F[0], Def("Data Module", 1, 60) + Def("Provider", 1, 60) + Def("Fetch Server Values", 5) +
                           Def("UpdateTableName", 1, 60) + Def("BroadcastsToOrignalClient", 5));
  EXPECT_EQ(rows.F[1], kNoRows);

  ASSERT_TRUE(client.Login("meta", "pw", "POS").Verified);
  std::tie(defs, rows) = Ask(20);  // the user list
  EXPECT_EQ(rows.F[1].rfind("meta\x02POS\x02"s, 0), 0u) << rows.F[1];
}

TEST_P(MetaDataRequests, Errors) {
  Send(MetaData, {""s, "Orders"s, ""s, 14 + 99});
  ExpectError("No Server DataSet defined for Orders");
  server.OnBeforeServerMethod = [](TUserRecord&, const std::string&, bool& allow) { allow = false; };
  Send(MetaData, {"Sales.Total"s, ""s, ""s, 13 + 99});
  ExpectError("Requested Server Method Not Allowed");
  Send(MetaData, {"Report"s, ""s, ""s, 12 + 99});  // no custom dataset of that name
  ExpectError("No DataSet defined!");
  server.MetaDataSet = nullptr;
  Send(MetaData, {""s, ""s, ""s, 1 + 99});
  ExpectError("Server Problem: VornServer.MetaData Property is unassigned.");
}

INSTANTIATE_TEST_SUITE_P(Pooled, MetaDataRequests, ::testing::Values(tmPooledSessions), ModelName);

}  // namespace
}  // namespace qzt
