// Changes: a single statement with the re-read of its row, stored procedures, transactions of several
// statements (with collected failures and master-detail keys), parameterised transactions, and the
// transactions a persistent session keeps open across requests.
#include <algorithm>

#include "dataset/vorn_dataset.h"
#include "platform/number_text.h"
#include "platform/text_utils.h"
#include "server/session_list.h"
#include "services/data_services.h"
#include "services/db_tools.h"
#include "services/request_runner.h"

namespace qzt {

namespace {

// The non-empty lines of a text.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::string& line : SplitLines(text))
    if (!line.empty()) out.push_back(std::move(line));
  return out;
}

// The description of rows to read again after they were written: items by position.
struct Refetch {
  TVornParamList List;
  Refetch() = default;
  explicit Refetch(std::string_view text) : List(text, 0) {}
  bool Empty() const { return List.Count() == 0; }
  std::string Item(int i) { return i < List.Count() ? List.Items(i).AsString() : std::string(); }
  int32_t Integer(int i) {
    try {
      return i < List.Count() ? List.Items(i).AsInteger() : 0;
    } catch (const std::exception&) {
      return 0;
    }
  }

  // The row `k` read again, in the dataset stream form; "" when nothing is read. For inserts of kind 1
  // the generated value is fetched first and the row read by it; kind 2 (and every update) reads by the
  // row's WHERE text. `autoIncValue` receives the row's auto-increment field.
  std::string ReRead(TVornServerSocket& s, TVornThread* thread, TClientConnection* conn, int k, bool update,
                     Variant* autoIncValue = nullptr) {
    const int kind = update ? 2 : Integer(5);
    const std::vector<std::string> fields = Lines(Item(3));
    if (update && fields.size() <= 1) return {};
    if (kind != 1 && kind != 2) return {};  // no way to find the row: nothing is read
    const std::string db = Item(1), table = Item(0), autoInc = Item(2);
    TComponent* query = SupplyQuery(s, thread, conn, ttSelect, db, s.DataSet);
    int32_t value = 0;
    if (kind == 1) {
      if (!s.OnInsertAutoIncrementFetch) return {};
      s.OnInsertAutoIncrementFetch(conn, query, db, table, autoInc, value);
      s.LogCategory(lcAutoIncrement, conn,
                    "Auto Increment Value Fetched for " + table + " field " + autoInc + " " + std::to_string(value));
      if (value < 1) return {};
      if (thread && s.DisposeofQueriesForThreads) {
        FreeComponent(query);
        query = SupplyQuery(s, thread, conn, ttSelect, db, s.DataSet);
      }
    }
    std::vector<std::string> columns = Lines(Item(4));
    for (const std::string& f : fields)
      if (std::find(columns.begin(), columns.end(), f) == columns.end()) columns.push_back(f);
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + columns[i];
    sql += " FROM " + table;
    if (kind == 1) sql += " Where " + autoInc + "=" + std::to_string(value);
    else sql += " " + Item(7 + 2 * k);
    if (sql.size() >= 5 && sql.compare(sql.size() - 5, 5, " AND ") == 0) sql.resize(sql.size() - 5);

    auto* ds = dynamic_cast<TDataSet*>(query);
    if (!ds) s.SendErrorAndRaise(conn, "No DataSet assigned for Server Query Event");
    if (s.OnSubmitSQLParams) {
      TVornParamList none;
      s.OnSubmitSQLParams(conn, ds, db, sql, none);
    } else if (s.OnSubmitSQL) {
      s.OnSubmitSQL(conn, ds, db, sql, 0);
    } else {
      s.SendErrorAndRaise(conn, "On Submit SQL Params event not assigned");
    }
    s.LogCategory(lcSelectSQL, conn, "Select SQL " + (db.empty() ? sql : db + ":" + sql));
    std::string text;
    if (ds->Active() && !ds->IsEmpty()) {
      TVornDataSet copy;
      copy.CopyFromDataSet(*ds);
      text = copy.SaveToString();
      if (autoIncValue && !autoInc.empty()) {
        copy.First();
        if (TField* f = copy.FindField(autoInc)) *autoIncValue = f->AsVariant();
      }
    }
    if (ds->Active()) ds->Close();
    if (thread && s.DisposeofQueriesForThreads) FreeComponent(query);
    return text;
  }
};

// ---- ExecSQLParam ----

struct ExecRequest {
  std::string SQL, ParamsText, DataBaseStr, RefetchText;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* query) const {
    TClientConnection* conn = to.Connection.get();
    TVornParamList params(ParamsText, 0);
    Refetch refetch(RefetchText);  // read before the statement runs: a malformed one fails with nothing done
    bool ok = false;
    std::string message;
    s.OnExecSQLParamList(conn, query, DataBaseStr, SQL, ok, message, params);
    if (s.OnExecRowsAffected && to.Line.RequestId() != 0) {
      int32_t rows = 0;
      s.OnExecRowsAffected(conn, query, rows);
      TVornParamList notice;
      notice.PutValue("RowsAffected", Variant(rows));
      notice.PutValue("DataSetid", Variant(to.Line.RequestId()));
      s.SendCodedParamList(&to, cmRowsAffected, notice, false);
    }
    s.LogCategory(lcExecSQL, conn, "Exec SQL " + (DataBaseStr.empty() ? SQL : DataBaseStr + "." + SQL));
    const bool pooled = thread && s.EffectiveMode(&to) == 1;
    if (pooled && refetch.Empty()) s.ReleaseThreadSession(*thread);
    if (ok) SendText(s, to, SQLExec, message.empty() ? "1" : message);
    else s.SendErrorMessage(conn, message);
    if (ok && !refetch.Empty() && (StartsText(SQL, "insert") || StartsText(SQL, "update"))) {
      const std::string text = refetch.ReRead(s, thread, conn, 0, SQL.rfind("UPDATE", 0) == 0);
      if (!text.empty()) {
        TVornParamList out;
        if (thread) out.AddValue(Variant(text));
        else out.AddTyped("DataSet", ftBlob, Variant(text));
        out.AddValue(Variant(refetch.Integer(8)));
        SendText(s, to, ReFetchedFields, out.SaveToString());
      }
    }
    if (pooled && !refetch.Empty()) s.ReleaseThreadSession(*thread);
  }
};

void HandleExec(TVornServerSocket& s, TUserRecord& client) {
  TVornStringLine& line = client.Line;
  ExecRequest r;
  r.SQL = line.ReadString();
  r.ParamsText = line.ReadString();
  r.DataBaseStr = line.ReadString();
  r.RefetchText = line.ReadString();
  TClientConnection* conn = client.Connection.get();
  if (!s.OnExecSQLParamList) {
    s.SendErrorMessage(conn, "");
    return;
  }
  RunRequest(s, client, r, ttExec, r.DataBaseStr, 0, s.DataSet);
}

// ---- StoredProcedure ----

struct ProcedureRequest {
  std::string Name, ParamsText, DataBaseStr;
  int32_t Rows = 0;
  TVornSelectSQLOptionSet Options = 0;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* query) const {
    TClientConnection* conn = to.Connection.get();
    TVornParamList params(ParamsText, 0);
    if (s.OnStoredProcedure) s.OnStoredProcedure(conn, query, DataBaseStr, Name, params, Options & soExecStoredProc);
    auto* ds = dynamic_cast<TDataSet*>(query);
    TVornDBTools tools(conn, thread, ds);
    SendText(s, to, thread ? FieldDefs : TableFieldDefs, tools.FieldDefs());
    const TRowsReply reply = BuildRowsReply(s, to, thread, tools, Rows, Options);
    SendRows(s, to, TableResultSet, reply.Handle, reply.Text, reply.Compressed);
    if (thread && s.EffectiveMode(&to) == 1) s.ReleaseThreadSession(*thread);
    if (s.OnStoredProcedure && params.Count() > 0) {
      to.Line.ResetCursor();
      to.Line.SetToken(StoredProcReturn);
      to.Line.AddField(0);
      to.Line.AddField(params.SaveToString());
      to.Line.AddField(0);
      s.SendReply(&to);
    }
  }
};

void HandleStoredProcedure(TVornServerSocket& s, TUserRecord& client) {
  TVornStringLine& line = client.Line;
  ProcedureRequest r;
  r.Name = line.ReadString();
  r.ParamsText = line.ReadString();
  r.DataBaseStr = line.ReadString();
  r.Rows = line.ReadInteger();
  r.Options = static_cast<TVornSelectSQLOptionSet>(line.ReadInteger());
  TClientConnection* conn = client.Connection.get();
  if (s.ThreadingModel != tmSingleSession && s.OnStoredProcedure) {
    const TVornSelectSQLOptionSet supplied = s.EffectiveMode(&client) == 2 ? r.Options : r.Options & ~soPackets;
    RunRequest(s, client, r, ttStoredProc, r.DataBaseStr, supplied, nullptr);
    return;
  }
  // Without threads the query used is kept in StoredProcDataSet (without the event: its current state).
  if (s.OnStoredProcedure)
    s.StoredProcDataSet = SupplyQuery(s, nullptr, conn, ttStoredProc, r.DataBaseStr, s.StoredProcDataSet);
  r.Run(s, client, nullptr, s.StoredProcDataSet);
}

// ---- Transaction ----

// Before each statement of a transaction: defaults for the fields the client's trigger list names, then
// the trigger event. Their failures go to the client and do not stop the statement.
void RunTriggerHook(TVornServerSocket& s, TUserRecord& client, const std::string& sql, TVornParamList& params,
                    TComponent* query) {
  try {
    const std::string triggers = client.ParamList.ValueOf("~VornTrigger").ToString();
    if (!triggers.empty() && s.OnTriggerDefaultValue) {
      TVornParamList list(triggers, 0);
      for (int i = 0; i < list.Count(); ++i) {
        const std::string field = list.Items(i).AsString();
        if (field.empty() || !ContainsText(sql, ":" + field)) continue;
        const std::string& name = list.Items(i).Name;
        s.OnTriggerDefaultValue(client, sql, name.substr(0, name.find('.')), field, params, query);
      }
    }
    if (s.OnTrigger) {
      TVornSQLParser parser;
      parser.SQL = sql;
      parser.Parse();
      s.OnTrigger(sql, client, parser, params, query);
    }
  } catch (const std::exception& e) {
    s.SendErrorMessage(client.Connection.get(), e.what());
  }
}

// Begins the transaction of a request when the plug-in handles it: on the session it supplies for the
// transaction start, or else on the worker thread's session. Returns that session; `supplied` says
// whether the plug-in supplied it.
TComponent* BeginTransaction(TVornServerSocket& s, TVornThread* thread, TClientConnection* conn,
                             const std::string& db, const std::string& name, bool& supplied) {
  supplied = false;
  if (!s.OnTransactionBegin) return nullptr;
  TComponent* session = SupplyQuery(s, thread, conn, ttTransactionStart, db, nullptr);
  supplied = session != nullptr;
  if (!session && thread) session = thread->Session;
  s.OnTransactionBegin(conn, session, name);
  return session;
}

struct TransactionRequest {
  std::string Name, StatementsText, DataBaseStr, RefetchText;
  bool Collect = false, MasterDetail = false;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* execQuery) const {
    TClientConnection* conn = to.Connection.get();
    TVornParamList statements(StatementsText, 0);
    Refetch refetch;
    int refetchCount = 0;
    if (!RefetchText.empty()) {
      TVornParamList list(RefetchText, 0);
      if (list.Count() > 0) {
        refetch = Refetch(list.Items(0).AsString());
        const std::string& n = list.Items(0).Name;
        if (const size_t dot = n.find('.'); dot != std::string::npos)
          refetchCount = static_cast<int>(StrToInt64Def(n.substr(dot + 1), 0));
      }
    }
    bool supplied = false;
    TComponent* session = BeginTransaction(s, thread, conn, DataBaseStr, Name, supplied);
    TComponent* query = execQuery;
    bool failed = false, raised = false, lastOk = true;
    std::string failure, message;
    TVornParamList errors, refetched;
    Variant master;
    try {
      for (int i = 0; i < statements.Count(); ++i) {
        const std::string sql = statements.Items(i).Name;
        TVornParamList params(statements.Items(i).AsString(), 0);
        RunTriggerHook(s, to, sql, params, query);
        if (!master.IsNullOrEmpty() && master.ToInt64() > 0 && ContainsText(sql, ":MasterAutoInc"))
          params.PutValue("MasterAutoInc", master);
        bool ok = false;
        std::string error;
        s.OnExecSQLParamList(conn, query, DataBaseStr, sql, ok, error, params);
        lastOk = ok;
        if (!ok) {
          failed = true;
          failure = error;
          if (!Collect) break;
          errors.AddTyped(std::to_string(i) + "." + error, ftInteger, Variant(refetch.Integer(8 + 2 * i)));
          continue;
        }
        if (!error.empty()) message = error;
        const bool insert = StartsText(sql, "INSERT");
        if ((refetchCount == 0 || i < refetchCount) && (insert || StartsText(sql, "UPDATE")) &&
            !refetch.Empty()) {
          Variant autoInc;
          const std::string text =
              refetch.ReRead(s, thread, conn, i, sql.rfind("UPDATE", 0) == 0, MasterDetail && i == 0 ? &autoInc : nullptr);
          if (!text.empty()) {
            refetched.AddValue(Variant(text));
            refetched.AddValue(Variant(refetch.Integer(8 + 2 * i)));
          }
          if (MasterDetail && i == 0 && insert) master = autoInc;
        }
      }
    } catch (const std::exception& e) {
      failed = raised = true;
      lastOk = false;
      failure = e.what();
    }
    // Collect mode commits what succeeded; an exception fails the whole request.
    const bool collected = errors.Count() > 0 && !raised;
    if (collected) failed = false;
    if (s.OnTransactionEnd) {
      const bool success = thread && !supplied ? lastOk : !failed;
      s.OnTransactionEnd(conn, session, success);
    }
    if (thread && s.EffectiveMode(&to) == 1) s.ReleaseThreadSession(*thread);
    if (collected) {
      s.SendErrorMessage(conn, (thread ? "\x04" : "\x02") + errors.SaveToString());
    } else if (!failed) {
      SendText(s, to, SQLExec, message.empty() ? "1" : message);
      if (refetched.Count() > 0) SendText(s, to, ReFetchedFields, refetched.SaveToString());
    } else {
      s.SendErrorMessage(conn, failure.empty() ? "Transaction Failed " : failure);
    }
  }
};

void HandleTransaction(TVornServerSocket& s, TUserRecord& client) {
  TVornStringLine& line = client.Line;
  TransactionRequest r;
  r.Name = line.ReadString();
  r.StatementsText = line.ReadString();
  r.DataBaseStr = line.ReadString();
  r.RefetchText = line.ReadString();
  if (const size_t at = r.Name.find('\x02'); at != std::string::npos) {
    r.Collect = true;
    r.Name.resize(at);
  }
  r.MasterDetail = r.Name == "~MD";
  TClientConnection* conn = client.Connection.get();
  if (!s.OnExecSQLParamList) {
    s.SendErrorMessage(conn, "");
    return;
  }
  RunRequest(s, client, r, ttExec, r.DataBaseStr, 0, s.DataSet);
}


// ---- ParameterizedTransactions ----

struct ParameterizedRequest {
  std::string StatementsText, DataBaseStr;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* execQuery) const {
    TClientConnection* conn = to.Connection.get();
    TVornParamList statements(StatementsText, 0);
    bool supplied = false;
    TComponent* session = BeginTransaction(s, thread, conn, DataBaseStr, DataBaseStr, supplied);
    TComponent* query = execQuery ? execQuery : SupplyQuery(s, thread, conn, ttExec, DataBaseStr, s.DataSet);
    TVornParamList results;
    bool lastOk = true;
    const auto reply = [&] {
      if (thread && s.EffectiveMode(&to) == 1) s.ReleaseThreadSession(*thread);
      SendText(s, to, ParameterizedTransactions, results.SaveToString());
    };
    try {
      for (int i = 0; i < statements.Count(); ++i) {
        const std::string sql = statements.Items(i).Name;
        TVornParamList params(statements.Items(i).AsString(), 0);
        std::string error;
        s.OnExecSQLParamList(conn, query, DataBaseStr, sql, lastOk, error, params);
        const std::string name = std::to_string(i) + "." + sql;
        if (!lastOk) {
          results.AddTyped(name, ftString, Variant(error));
          break;
        }
        int32_t rows = 0;
        if (s.OnExecRowsAffected) s.OnExecRowsAffected(conn, query, rows);
        results.AddTyped(name, ftInteger, Variant(rows));
      }
    } catch (const std::exception&) {
      reply();  // what was done so far still reaches the client; the transaction is not ended here
      throw;
    }
    if (s.OnTransactionEnd) s.OnTransactionEnd(conn, session, lastOk);
    reply();
  }
};

void HandleParameterizedTransactions(TVornServerSocket& s, TUserRecord& client) {
  ParameterizedRequest r;
  r.StatementsText = client.Line.ReadString();
  r.DataBaseStr = client.Line.ReadString();
  TClientConnection* conn = client.Connection.get();
  if (!s.OnExecSQLParamList) {
    s.SendErrorMessage(conn, "");
    return;
  }
  RunRequest(s, client, r, ttExec, r.DataBaseStr, 0, s.DataSet);
}

// ---- transactions kept open on a persistent session ----

// Begins (`begin`) or ends (committing when `commit`) the transaction of the client's persistent session
// on a worker thread; `done` answers the client, with the error text when the step failed.
// A failure is also raised (an SQLError) when `raise`.
void RunPersistentTransaction(TVornServerSocket& s, TUserRecord& client, const std::string& db, bool begin,
                              bool commit, bool raise,
                              std::function<void(TVornServerSocket&, TUserRecord&, const std::string*)> done) {
  s.RunDatabaseWork(
      client.Connection.get(), ttTransactionStart, TVornParamList(),
      [begin, commit, raise, done](TVornServerSocket& server, TVornThread& t, TComponent* session,
                                   TComponent* query) {
        TClientConnection* conn = t.Client->Connection.get();
        TComponent* target = query ? query : session;
        try {
          if (begin) {
            if (server.OnTransactionBegin) server.OnTransactionBegin(conn, target, "");
          } else if (server.OnTransactionEnd) {
            server.OnTransactionEnd(conn, target, commit);
          }
        } catch (const std::exception& e) {
          const std::string text = e.what();
          done(server, *t.Client, &text);
          if (raise) throw;
          return;
        }
        done(server, *t.Client, nullptr);
      },
      db, 0);
}

void HandlePersistentTransaction(TVornServerSocket& s, TUserRecord& client) {
  const bool begin = client.Line.Token() == PersistentTransactionStart;
  const std::string db = client.Line.ReadString();
  const bool commit = !begin && client.Line.ReadInteger() == 1;
  if (s.EffectiveMode(&client) != 2) {
    s.SendErrorMessage(client.Connection.get(), "Only supported with a Persistent Session!");
    return;
  }
  RunPersistentTransaction(s, client, db, begin, commit, true,
                           [](TVornServerSocket& server, TUserRecord& to, const std::string*) {
                             to.Line.ResetCursor();
                             to.Line.SetToken(PersistentTransactionStart);
                             to.Line.AddField(0);
                             server.SendReply(&to);
                           });
}

// The coded transaction control: Transaction = True begins, False ends with Commit.
bool HandleTransactionControl(TVornServerSocket& s, TUserRecord& client, TVornParamList& list) {
  if (s.EffectiveMode(&client) != 2) {
    list.Clear();
    list.PutValue("Error", Variant("Server is not running in Persistent Sessions Threading Model"));
    return false;  // answered with the list
  }
  TVornParamItem* transaction = list.LookupParam("Transaction");
  TVornParamItem* commit = list.LookupParam("Commit");
  const bool begin = transaction && transaction->AsBoolean();
  const bool hasCommit = commit != nullptr;
  const bool commitValue = commit && commit->AsBoolean();
  const auto answer = [](TVornServerSocket& server, TUserRecord& to, const std::string* error) {
    TVornParamList out;
    if (error) out.PutValue("Error", Variant(*error));
    out.PutValue("Transaction", Variant(error == nullptr));
    server.SendCodedParamList(&to, cmTransactionControl, out, true);
  };
  if (!begin && !hasCommit && s.OnTransactionEnd) {
    const std::string error = "No Commit Param sent from client";
    auto copy = client.Copy();
    answer(s, *copy, &error);
    return true;
  }
  RunPersistentTransaction(s, client, "", begin, commitValue, false,
                           [answer](TVornServerSocket& server, TUserRecord& to, const std::string* error) {
                             answer(server, to, error);
                           });
  return true;
}

}  // namespace

void RegisterExecRequests(TVornServerSocket& server) {
  TVornServerSocket* s = &server;
  OnToken(server, ExecSQLParam, HandleExec);
  OnToken(server, StoredProcedure, HandleStoredProcedure);
  OnToken(server, Transaction, HandleTransaction);
  OnToken(server, ParameterizedTransactions, HandleParameterizedTransactions);
  OnToken(server, PersistentTransactionStart, HandlePersistentTransaction);
  OnToken(server, PersistentTransactionEnd, HandlePersistentTransaction);
  server.SetSystemCodedHandler(cmTransactionControl, [s](TUserRecord& client, TVornParamList& list) {
    return HandleTransactionControl(*s, client, list);
  });
}

}  // namespace qzt
