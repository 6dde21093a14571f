// Data requests with missing, non-numeric or absurd fields: each gets an answer or nothing, and the server
// goes on serving the same client.
#include "services/service_fixture.h"

namespace qzt {
namespace {

class HostileRequests : public ServiceFixture {};

TEST_P(HostileRequests, MalformedFieldsNeverStopTheServer) {
  const uint8_t tokens[] = {FieldDefs, SQLSelect2, SQLResultSet, StreamRequest, SQLGetNextPacket, SQLPacketQueryFree,
                            ArgusSQL, SQLGetNextPacketLocate, ExecSQLParam, StoredProcedure, Transaction,
                            ParameterizedTransactions, PersistentTransactionStart, PersistentTransactionEnd,
                            MetaData, TableFieldDefs};
  const std::vector<std::vector<QztClient::LineField>> bodies = {
      {},                                                     // no fields at all
      {"x"s, "not a number"s, "\x05\xff\xff"s, "\x02\x01"s},  // text where numbers go, broken lists
      {"select 1 from rdb$database"s, -7, -1, "\x05"s},      // negative counts, every option bit
      {"\xff\xfe"s, 2147483647, 2147483647, "~"s},
  };
  for (uint8_t token : tokens) {
    SCOPED_TRACE(static_cast<int>(token));
    for (const auto& body : bodies) Send(token, body);
    // Whatever was answered, a select sent right behind is served: its rows come after the other replies.
    Select("select 'still serving' from rdb$database", -1, 0);
    bool served = false;
    for (int i = 0; i < 200 && !served; ++i) {
      TVornStringLine reply;
      ASSERT_TRUE(client.Receive(reply, 10000)) << "no answer to a select behind malformed requests";
      served = reply.Token() == SQLResultSet && reply.Text().find("still serving") != std::string::npos;
    }
    EXPECT_TRUE(served);
  }
}

INSTANTIATE_TEST_SUITE_P(Models, HostileRequests,
                         ::testing::Values(tmSingleSession, tmPooledSessions, tmPersistentSessions, tmSmartThreading),
                         ModelName);

}  // namespace
}  // namespace qzt
