// Changes through real sockets against an embedded demo database, in each threading model: statements
// with their replies, notices and re-reads, stored procedures, transactions (plain, collecting failures,
// master-detail) and the transactions a persistent session keeps open.
#include <mutex>

#include "dataset/vorn_dataset.h"
#include "services/service_fixture.h"

namespace qzt {
namespace {

class ExecRequests : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    server.OnExecRowsAffected = [](TClientConnection*, TComponent* query, int32_t& rows) {
      if (auto* q = dynamic_cast<TpFIBQuery*>(query)) rows = static_cast<int32_t>(q->RowsAffected());
    };
  }
  bool Threaded() const { return GetParam() != tmSingleSession; }
  // A refetch description: table, database, auto-increment field, fields, first fields, kind, sequence,
  // then WHERE text and client value per row.
  static std::string Refetch(const std::string& table, const std::string& autoInc, const std::string& fields,
                             int kind, std::vector<std::pair<std::string, int>> rows = {}) {
    TVornParamList d;
    d.AddValues({Variant(table), Variant(""), Variant(autoInc), Variant(fields), Variant(""), Variant(kind),
                 Variant("")});
    for (const auto& [where, value] : rows) d.AddValues({Variant(where), Variant(value)});
    return d.SaveToString();
  }
  int32_t Exec(const std::string& sql, const std::string& refetch = "", const TVornParamList& params = {}) {
    return Send(ExecSQLParam, {sql, params.SaveToString(), ""s, refetch});
  }
  // The re-read row of a ReFetchedFields reply, and the client value that came with it.
  static std::unique_ptr<TVornDataSet> ReRead(const Reply& r, int32_t* value) {
    EXPECT_EQ(r.Token, ReFetchedFields);
    TVornParamList list(r.F[0], 0);
    auto ds = std::make_unique<TVornDataSet>();
    if (list.Count() < 2) return ds;
    ds->LoadFromStreamWithFields(list.Items(0).AsString());
    *value = list.Items(1).AsInteger();
    return ds;
  }
};

TEST_P(ExecRequests, StatementsAnswerWithNoticeAndResult) {
  const int32_t id = Exec("update customers set points = points + 1 where cust_no <= 3");
  Reply r = Next();
  ASSERT_EQ(r.Token, UserCodedParamList);
  EXPECT_EQ(r.F[0], std::to_string(cmRowsAffected));
  TVornParamList notice(r.F[1], 0);
  EXPECT_EQ(notice.ValueOf("RowsAffected").ToInt64(), 3);
  EXPECT_EQ(notice.ValueOf("DataSetid").ToInt64(), id);
  r = Next();
  EXPECT_EQ(r.Token, SQLExec);
  EXPECT_EQ(r.F[0], "1");

  server.OnExecRowsAffected = nullptr;
  Exec("insert into missing_table values (1)");
  r = Next();
  EXPECT_EQ(r.Token, SQLError);
  EXPECT_NE(r.F[0].find("MISSING_TABLE"), std::string::npos) << r.F[0];
}

TEST_P(ExecRequests, InsertsAndUpdatesAreReadAgain) {
  server.OnExecRowsAffected = nullptr;
  // By the generated key: the trigger fills CUST_NO, the re-read finds it through the largest value.
  TVornParamList params;
  params.AddTyped("NAME", ftString, Variant("Re Read"));
  Exec("insert into customers (name) values (:NAME)", Refetch("customers", "cust_no", "CUST_NO\nNAME", 1, {{"", 41}}),
       params);
  EXPECT_EQ(Next().Token, SQLExec);
  int32_t value = 0;
  auto row = ReRead(Next(), &value);
  EXPECT_EQ(value, 41);
  ASSERT_EQ(row->RecordCount(), 1);
  EXPECT_EQ(row->FieldByName("NAME").AsString(), "Re Read");
  const int32_t key = row->FieldByName("CUST_NO").AsInteger();

  // By a WHERE text, whose trailing " AND " is cut.
  Exec("update customers set points = 77 where cust_no = " + std::to_string(key),
       Refetch("customers", "", "CUST_NO\nPOINTS", 2, {{"where cust_no = " + std::to_string(key) + " AND ", 5}}));
  EXPECT_EQ(Next().Token, SQLExec);
  row = ReRead(Next(), &value);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(row->FieldByName("POINTS").AsInteger(), 77);

  // A generated value below 1 reads nothing: the reply comes alone.
  Exec("insert into plain (name) values ('no key')", Refetch("plain", "id", "ID\nNAME", 1));
  EXPECT_EQ(Next().Token, SQLExec);
  EXPECT_NE(Value("select count(*) from plain"), "0");  // the next reply is this select's

  // A malformed description is refused before the statement runs.
  Exec("insert into plain (name) values ('refetch')", "9999");
  ExpectError("Malformed parameter list: record runs past the end");
  EXPECT_EQ(Value("select count(*) from plain where name = 'refetch'"), "0");
}

TEST_P(ExecRequests, StoredProceduresWithAndWithoutResultSets) {
  TVornParamList in;
  in.AddTyped("ITEM_ID", ftInteger, Variant(int32_t{7}));
  in.AddTyped("QTY", ftInteger, Variant(int32_t{2}));
  in.NewParam(ftInteger, "NEW_STOCK", ptOutput);
  Send(StoredProcedure, {"ADD_STOCK"s, in.SaveToString(), ""s, -1, static_cast<int32_t>(soExecStoredProc)});
  const uint8_t defsToken = Threaded() ? FieldDefs : TableFieldDefs;
  EXPECT_EQ(Next().Token, defsToken);
  Reply r = Next();
  EXPECT_EQ(r.Token, TableResultSet);
  EXPECT_EQ(r.F[1], kNoRows);
  r = Next();
  ASSERT_EQ(r.Token, StoredProcReturn);
  TVornParamList out(r.F[1], 0);
  EXPECT_FALSE(out.RequireParam("NEW_STOCK").IsNull());

  TVornParamList dates;
  dates.AddTyped("FROM_DATE", ftDateTime, Variant::Date(EncodeDate(2026, 1, 1)));
  dates.AddTyped("TO_DATE", ftDateTime, Variant::Date(EncodeDate(2027, 1, 1)));
  Send(StoredProcedure, {"SALES_BY_ITEM"s, dates.SaveToString(), ""s, 2, 0});
  r = Next();
  EXPECT_EQ(r.Token, defsToken);
  EXPECT_NE(r.F[0].find("ITEM_ID"), std::string::npos) << r.F[0];
  r = Next();
  EXPECT_EQ(r.Token, TableResultSet);
  EXPECT_EQ(std::count(r.F[1].begin(), r.F[1].end(), '\x04'), 2);  // two rows asked for
  EXPECT_EQ(Next().Token, StoredProcReturn);
}

TEST_P(ExecRequests, TransactionsRollBackOrCollectFailures) {
  server.OnExecRowsAffected = nullptr;
  const std::string tag = "tx" + std::to_string(GetParam());  // the database is shared by the models
  TVornParamList statements;
  statements.AddTyped("insert into customers (name) values ('" + tag + " one')", ftString, Variant(""));
  statements.AddTyped("insert into missing_table values (1)", ftString, Variant(""));
  statements.AddTyped("insert into customers (name) values ('" + tag + " three')", ftString, Variant(""));
  Send(Transaction, {"plain"s, statements.SaveToString(), ""s, ""s});
  Reply r = Next();
  EXPECT_EQ(r.Token, SQLError);
  EXPECT_NE(r.F[0].find("MISSING_TABLE"), std::string::npos) << r.F[0];
  EXPECT_EQ(Value("select count(*) from customers where name starting with '" + tag + " '"), "0");  // rolled back

  Send(Transaction, {"collect\x02"s, statements.SaveToString(), ""s, ""s});
  r = Next();
  ASSERT_EQ(r.Token, SQLError);
  ASSERT_FALSE(r.F[0].empty());
  EXPECT_EQ(r.F[0][0], Threaded() ? '\x04' : '\x02');
  TVornParamList errors(r.F[0].substr(1), 0);
  ASSERT_EQ(errors.Count(), 1);
  EXPECT_EQ(errors.Items(0).Name.rfind("1.", 0), 0u) << errors.Items(0).Name;
  EXPECT_EQ(Value("select count(*) from customers where name starting with '" + tag + " '"), "2");  // committed

  // An exception (here a statement's malformed parameter list) fails the request even in collect mode.
  TVornParamList broken;
  broken.AddTyped("insert into customers (name) values ('" + tag + " four')", ftString, Variant(""));
  broken.AddTyped("insert into missing_table values (1)", ftString, Variant(""));
  broken.AddTyped("insert into customers (name) values (:NAME)", ftString, Variant("9999"));
  Send(Transaction, {"collect\x02"s, broken.SaveToString(), ""s, ""s});
  ExpectError("Malformed parameter list: record runs past the end");
  EXPECT_EQ(Value("select count(*) from customers where name = '" + tag + " four'"), "0");  // rolled back
}

TEST_P(ExecRequests, MasterDetailPassesTheMasterKey) {
  server.OnExecRowsAffected = nullptr;
  TVornParamList statements, line;
  statements.AddTyped("insert into sales (cust_no, sale_date, total) values (1, '2026-12-11', 10)", ftString,
                      Variant(""));
  line.AddTyped("MasterAutoInc", ftInteger, Variant(int32_t{0}));
  statements.AddTyped("insert into sale_lines (sale_id, item_id, qty, price) values (:MASTERAUTOINC, 1, 1, 10)",
                      ftString, Variant(line.SaveToString()));
  TVornParamList refetch;
  refetch.AddTyped("sales.1", ftString, Variant(Refetch("sales", "sale_id", "SALE_ID\nTOTAL", 1, {{"", 9}})));
  Send(Transaction, {"~MD"s, statements.SaveToString(), ""s, refetch.SaveToString()});
  EXPECT_EQ(Next().Token, SQLExec);
  int32_t value = 0;
  const auto master = ReRead(Next(), &value);
  ASSERT_EQ(master->RecordCount(), 1);
  const std::string key = std::to_string(master->FieldByName("SALE_ID").AsInteger());
  EXPECT_EQ(Value("select count(*) from sale_lines where sale_id = " + key), "1");
}

TEST_P(ExecRequests, ParameterizedTransactionsListEveryStatement) {
  TVornParamList statements;
  statements.AddTyped("update customers set points = 5 where cust_no in (1, 2)", ftString, Variant(""));
  statements.AddTyped("update nowhere set x = 1", ftString, Variant(""));
  Send(ParameterizedTransactions, {statements.SaveToString(), ""s});
  const Reply r = Next();
  ASSERT_EQ(r.Token, ParameterizedTransactions);
  TVornParamList results(r.F[0], 0);
  ASSERT_EQ(results.Count(), 2);
  EXPECT_EQ(results.Items(0).Name, "0.update customers set points = 5 where cust_no in (1, 2)");
  EXPECT_EQ(results.Items(0).AsInteger(), 2);
  EXPECT_NE(results.Items(1).AsString().find("NOWHERE"), std::string::npos);
}

TEST_P(ExecRequests, PersistentTransactionsCommitOrRollBack) {
  server.OnExecRowsAffected = nullptr;
  if (Mode() != 2) {
    Send(PersistentTransactionStart, {""s});
    ExpectError("Only supported with a Persistent Session!");
    TVornParamList control;
    control.PutValue("Transaction", Variant(true));
    client.SendCodedParamList(cmTransactionControl, control, true);
    EXPECT_EQ(client.ReceiveCodedParamList(cmTransactionControl).ValueOf("Error").ToString(),
              "Server is not running in Persistent Sessions Threading Model");
    return;
  }
  struct Case {
    int32_t flag;
    const char* count;  // rows left once the transaction ended
  } cases[] = {{2, "0"}, {1, "1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    Send(PersistentTransactionStart, {""s});
    EXPECT_EQ(Next().Token, PersistentTransactionStart);
    Exec("insert into customers (name) values ('kept open')");
    EXPECT_EQ(Next().Token, SQLExec);
    Send(PersistentTransactionEnd, {""s, c.flag});
    EXPECT_EQ(Next().Token, PersistentTransactionStart);
    EXPECT_EQ(Value("select count(*) from customers where name = 'kept open'"), c.count);
  }
  // The coded control: begin, then an end without Commit is refused.
  TVornParamList control;
  control.PutValue("Transaction", Variant(true));
  client.SendCodedParamList(cmTransactionControl, control, true);
  EXPECT_TRUE(client.ReceiveCodedParamList(cmTransactionControl).ValueOf("Transaction").ToBool());
  control.PutValue("Transaction", Variant(false));
  client.SendCodedParamList(cmTransactionControl, control, true);
  EXPECT_EQ(client.ReceiveCodedParamList(cmTransactionControl).ValueOf("Error").ToString(),
            "No Commit Param sent from client");
  control.PutValue("Commit", Variant(false));
  client.SendCodedParamList(cmTransactionControl, control, true);
  EXPECT_TRUE(client.ReceiveCodedParamList(cmTransactionControl).ValueOf("Transaction").ToBool());
}

TEST_P(ExecRequests, TheTriggerHookFillsDefaultsBeforeEachStatement) {
  server.OnExecRowsAffected = nullptr;
  std::mutex lock;  // the hooks run on the thread of the transaction
  std::vector<std::string> seen;
  server.OnTriggerDefaultValue = [&](TUserRecord&, const std::string&, const std::string& table,
                                     const std::string& field, TVornParamList& params, TComponent*) {
    std::lock_guard<std::mutex> hold(lock);
    seen.push_back(table + "." + field);
    params.PutValue(field, Variant("from trigger"));
  };
  server.OnTrigger = [&](const std::string&, TUserRecord&, TVornSQLParser& parser, TVornParamList&, TComponent*) {
    std::lock_guard<std::mutex> hold(lock);
    seen.push_back("trigger " + parser.InsertTable);
  };
  TVornParamList triggers, login;
  triggers.AddTyped("CUSTOMERS.default", ftString, Variant("PHONE"));
  login.AddTyped("~VornTrigger", ftString, Variant(triggers.SaveToString()));
  ASSERT_TRUE(client.Login("hooked", "pw", "POS", "1.0\x02"s + login.SaveToString()).Verified);

  const std::string tag = "hook" + std::to_string(GetParam());
  TVornParamList statements, params;
  params.AddTyped("PHONE", ftString, Variant(""));
  statements.AddTyped("insert into customers (name, phone) values ('" + tag + "', :PHONE)", ftString,
                      Variant(params.SaveToString()));
  Send(Transaction, {"hooked"s, statements.SaveToString(), ""s, ""s});
  EXPECT_EQ(Next().Token, SQLExec);
  {
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(seen, (std::vector<std::string>{"CUSTOMERS.PHONE", "trigger customers"}));
  }
  EXPECT_EQ(Value("select phone from customers where name = '" + tag + "'"), "from trigger");
}

INSTANTIATE_TEST_SUITE_P(Models, ExecRequests,
                         ::testing::Values(tmSingleSession, tmPooledSessions, tmPersistentSessions, tmSmartThreading),
                         ModelName);

}  // namespace
}  // namespace qzt
