#include "dbplugin/fibplus_plugin.h"

#include <filesystem>

#include "platform/environment.h"
#include "platform/ini_file.h"
#include "platform/text_encoding.h"
#include "platform/text_utils.h"
#include "server/session_list.h"

namespace qzt {

// ---- database module ----

TFIBDataModule::TFIBDataModule() {
  IBDatabase.SQLDialect = 3;
  IBDatabase.DefaultTransaction = &IBTransaction;
  IBTransaction.DefaultDatabase = &IBDatabase;
  IBTransaction.TimeoutAction = TACommitRetaining;
  for (TFbStatement* s : std::initializer_list<TFbStatement*>{&Query, &ExecQuery, &StoredProc, &StoredProcQuery}) {
    s->Database = &IBDatabase;
    s->Transaction = &IBTransaction;
  }
  for (TComponent* c : std::initializer_list<TComponent*>{&IBDatabase, &IBTransaction, &Query, &ExecQuery, &StoredProc,
                                                          &StoredProcQuery, &VornStoredProcColumnDataSet, &TableDataSet})
    c->Owner = this;
  for (TpFIBQuery* q : {&ExecQuery, static_cast<TpFIBQuery*>(&StoredProc), &StoredProcQuery})
    q->Options = qoStartTransaction | qoAutoCommit;
  VornStoredProcColumnDataSet.AddFastField("Name", ftString, 40);
  VornStoredProcColumnDataSet.AddFastField("InputType", ftSmallint, 0);
  VornStoredProcColumnDataSet.AddFastField("DataType", ftSmallint, 0);
  VornStoredProcColumnDataSet.Open();
  TableDataSet.AddFastField("Name", ftString, 40);
  TableDataSet.Open();
}

TFIBDataModule::~TFIBDataModule() {
  owned_.clear();
  Query.Close();
}

TpFIBDataSet& TFIBDataModule::NewDataSet(TpFIBDatabase& db, TpFIBTransaction& tra) {
  owned_.push_back(std::make_unique<TpFIBDataSet>());
  owned_.back()->Database = &db;
  owned_.back()->Transaction = &tra;
  owned_.back()->Owner = this;
  return *owned_.back();
}

bool TFIBDataModule::FreeComponent(TComponent* child) {
  for (auto it = owned_.begin(); it != owned_.end(); ++it) {
    if (it->get() != child) continue;
    owned_.erase(it);
    return true;
  }
  return false;
}

TFIBDataModule::TDBSet& TFIBDataModule::AliasDatabase(const std::string& alias, const std::string& path) {
  auto found = AliasDatabases.find(alias);
  if (found != AliasDatabases.end()) return found->second;
  TDBSet set{std::make_unique<TpFIBDatabase>(), std::make_unique<TpFIBTransaction>()};
  const TDateTime now = Now();
  int y, mo, d, h, mi, sec, ms;
  DecodeDate(now, y, mo, d);
  DecodeTime(now, h, mi, sec, ms);
  set.Database->Name = "db_" + std::to_string(d) + std::to_string(h) + std::to_string(mi) + std::to_string(sec) +
                       std::to_string(ms);
  set.Database->Owner = set.Transaction->Owner = this;
  set.Database->DBName = path;
  set.Database->DefaultTransaction = set.Transaction.get();
  set.Transaction->DefaultDatabase = set.Database.get();
  set.Transaction->TimeoutAction = TACommitRetaining;
  set.Database->LoginPrompt = false;
  set.Database->SQLDialect = 3;
  set.Database->UserName = "sysdba";  // the fixed login of alias databases
  set.Database->Password = "dovelinks";
  set.Database->Connect();  // raised to the caller; nothing is listed for an alias that cannot attach
  return AliasDatabases.emplace(alias, std::move(set)).first->second;
}

void TFIBDataModule::ReleaseAliasDatabases() {
  for (TFbStatement* st : std::initializer_list<TFbStatement*>{&Query, &ExecQuery, &StoredProc, &StoredProcQuery}) {
    if (st == &Query) Query.Close();
    st->Use(&IBDatabase, &IBTransaction);
  }
  for (auto& ds : owned_) {
    ds->Close();
    ds->Use(&IBDatabase, &IBTransaction);
  }
  IBTransaction.DefaultDatabase = &IBDatabase;
  AliasDatabases.clear();
}

// ---- the plug-in ----

namespace {

// The component a handler works on, as the kind it needs; a missing or different one is reported to the
// client like any other failure of the request.
template <typename T>
T& Supplied(TComponent* component, const char* what) {
  if (auto* c = dynamic_cast<T*>(component)) return *c;
  throw EFIBError(std::string("No ") + what + " was supplied for the request");
}

}  // namespace

TVornFIBPlusPlugin::TVornFIBPlusPlugin() {
  ThreadedDBSupplySession = [this](TClientConnection* c, const std::string& name, TComponent*& s) {
    SupplySession(c, name, s);
  };
  ThreadedDBSupplyQuery = [this](TVornThread* t, TClientConnection* c, TThreadDbAction a, const std::string& db,
                                 bool, TComponent*& q, TVornSelectSQLOptionSet o) { SupplyQuery(t, c, a, db, q, o); };
  OnServerQuerySetParams = [this](TClientConnection* c, TComponent* q, TVornParamList& p) { SetParams(c, q, p); };
  OnSubmitSQL = [this](TClientConnection* c, TDataSet* query, const std::string&, const std::string& sql,
                       TVornSelectSQLOptionSet) {
    try {
      auto& ds = Supplied<TpFIBDataSet>(query, "select query");
      ds.Close();
      ds.SetSelectSQL(sql);
      ds.Open();
      if (ServerSocket() && ServerSocket()->LogEnabled) ServerSocket()->LogMessage(c, sql + "  executed ");
    } catch (const std::exception& e) {
      ReportError(c, e.what(), true);
    }
  };
  OnSubmitSQLParams = [this](TClientConnection* c, TDataSet* query, const std::string&, const std::string& sql,
                             TVornParamList& params) {
    try {
      auto& ds = Supplied<TpFIBDataSet>(query, "select query");
      ds.Close();
      ds.SetSelectSQL(sql);
      for (int i = 0; i < params.Count(); ++i) {
        TVornParamItem& item = params.Items(i);
        if (item.DataType == ftBlob || item.DataType == ftMemo || item.DataType == ftDataSet ||
            item.DataType == ftOraBlob || item.DataType == ftOraClob)
          continue;
        if (ServerSocket()) ServerSocket()->LogMessage(c, item.Name + ":" + item.AsString());
      }
      if (ServerSocket() && ServerSocket()->OnServerQuerySetParams) ServerSocket()->OnServerQuerySetParams(c, &ds, params);
      else SetParams(c, &ds, params);
      ds.Open();
    } catch (const std::exception& e) {
      ReportError(c, e.what(), true);
    }
  };
  OnExecSQLParamList = [this](TClientConnection* c, TComponent* query, const std::string&, const std::string& sql,
                              bool& result, std::string& errorMsg, TVornParamList& params) {
    result = false;
    try {
      auto& q = Supplied<TpFIBQuery>(query, "statement query");
      for (const std::string& line : SplitLines(sql)) {
        if (Trim(line).empty()) continue;
        q.SetSQL(line);
        q.TFbStatement::Prepare();
        if (ServerSocket() && ServerSocket()->OnServerQuerySetParams) ServerSocket()->OnServerQuerySetParams(c, &q, params);
        else SetParams(c, &q, params);
        q.ExecQuery();  // the query's options commit each statement
      }
      result = true;
    } catch (const std::exception& e) {
      errorMsg = e.what();
      ReportError(c, errorMsg, false);
    }
  };
  OnStoredProcedure = [this](TClientConnection* c, TComponent* q, const std::string&, const std::string& name,
                             TVornParamList& p, bool noResultSet) { StoredProcedure(c, q, name, p, noResultSet); };
  OnInsertAutoIncrementFetch = [this](TClientConnection* c, TComponent* query, const std::string&,
                                      const std::string& table, const std::string& field, int32_t& value) {
    try {
      auto& ds = Supplied<TpFIBDataSet>(query, "select query");
      ds.Close();
      ds.SetSelectSQL("Select max(" + field + ") from " + table);
      ds.Open();
      if (!ds.IsEmpty()) value = ds.Fields(0).AsInteger();  // a null maximum gives 0
    } catch (const std::exception& e) {
      ReportError(c, e.what(), true);
    }
  };
  OnFetchBlobEvent = [this](TClientConnection* c, TComponent* query, const std::string&, const std::string& table,
                            const std::string& field, const std::string& where, std::string& blob) {
    try {
      auto& ds = Supplied<TpFIBDataSet>(query, "select query");
      ds.Close();
      std::string sql = "Select " + table + "." + field + " from " + table + " " + where;
      for (size_t p; (p = sql.find("\r\n")) != std::string::npos;) sql.erase(p, 2);
      ds.SetSelectSQL(sql);
      ds.Open();
      if (!ds.IsEmpty()) {
        TField& f = ds.FieldByName(field);
        if (f.IsBlob()) blob = f.AsString();
      }
    } catch (const std::exception& e) {
      ReportError(c, e.what(), true);
    }
  };
  OnTransactionBegin = [this](TClientConnection* c, TComponent* session, const std::string&) {
    try {
      auto& t = Supplied<TpFIBTransaction>(session, "transaction");
      if (!t.Active()) t.StartTransaction();
    } catch (const std::exception& e) {
      ReportError(c, e.what(), true);
    }
  };
  OnFetchMetaData = [this](TClientConnection* c, int kind, const std::string& db, const std::string& arg1,
                           const std::string&) { FetchMetaData(c, kind, db, arg1); };
  BindMetaDataEvents();
  OnTransactionEnd = [this](TClientConnection* c, TComponent* session, bool success) {
    try {
      auto& t = Supplied<TpFIBTransaction>(session, "transaction");
      if (success && t.Active()) t.Commit();
      else if (t.Active()) t.Rollback();
      if (ServerSocket())
        ServerSocket()->LogMessage(c, success ? "End Transaction Success" : "End Transaction NOT a Success");
    } catch (const std::exception& e) {
      ReportError(c, e.what(), true);
    }
  };
}

void TVornFIBPlusPlugin::LoadEnvironment(const std::string& programFolder) {
  const EnvironmentSettings env{(std::filesystem::path(programFolder) / "Environment.ini").string()};
  Host = env.DBSvrIP();
  DatabaseConnectionString = env.DBPathDB();
  DBUserName = env.DBSvrID();
  DBPassword = env.DBSvrPW();
}

std::string TVornFIBPlusPlugin::ConnectionDescription() {
  if (Host.empty()) Host = "localhost";
  return Host + ":" + DatabaseConnectionString;
}

std::string TVornFIBPlusPlugin::ConnectionString() const {
  return Trim(Host).empty() ? DatabaseConnectionString : Host + ":" + DatabaseConnectionString;
}

void TVornFIBPlusPlugin::SupplySession(TClientConnection* client, const std::string&, TComponent*& session) {
  auto module = std::make_unique<TFIBDataModule>();
  {
    std::lock_guard<std::mutex> lock(counterLock_);
    module->Name = "DataDataModule" + std::to_string(++SessionCounter);
  }
  try {
    const TpFIBDatabase& main = MainModule->IBDatabase;
    module->IBDatabase.DBName = main.DBName;
    module->IBDatabase.UserName = main.UserName;
    module->IBDatabase.Password = main.Password;
    module->IBDatabase.CharSet = main.CharSet;
    module->IBDatabase.LoginPrompt = false;
    module->IBDatabase.Connect();
    session = module.release();
  } catch (const std::exception& e) {
    session = nullptr;
    ReportError(client, e.what(), true);
  }
}

void TVornFIBPlusPlugin::SupplyQuery(TVornThread* thread, TClientConnection* client, TThreadDbAction action,
                                     const std::string& dataBaseStr, TComponent*& query,
                                     TVornSelectSQLOptionSet options) {
  const bool threaded = ServerSocket() && ServerSocket()->ThreadingModel != tmSingleSession;
  TFIBDataModule* session = thread && threaded ? dynamic_cast<TFIBDataModule*>(thread->Session) : nullptr;
  TFIBDataModule& module = session ? *session : *MainModule;
  // The working pair: the module's own, or the database an alias names (its errors go to the caller).
  TpFIBDatabase* db = &module.IBDatabase;
  TpFIBTransaction* tra = &module.IBTransaction;
  if (!dataBaseStr.empty()) {
    const std::string path = ResolveAlias(dataBaseStr);
    if (!path.empty()) {
      TFIBDataModule::TDBSet& set = module.AliasDatabase(dataBaseStr, path);
      db = set.Database.get();
      tra = set.Transaction.get();
    }
  }
  try {
    if (session) {
      if (options & 4) {  // soPackets: a dataset of its own, living as long as the session
        query = &session->NewDataSet(*db, *tra);
      } else if (action == ttExec) {
        // Work a statement left open is committed first; a transaction the client began stays open.
        TpFIBTransaction& t = session->IBTransaction;
        if (!t.Active() || t.StartedByStatement()) {
          if (!t.Active()) t.StartTransaction();
          t.Commit();
        }
        query = &session->ExecQuery;
      } else if (action == ttStoredProc) {
        session->Query.Close();
        session->Query.Use(db, tra);
        session->StoredProc.Unprepare();
        session->StoredProc.Use(db, tra);
        query = &session->Query;
      } else if (action == ttTransaction || action == ttTransactionStart) {
        query = &session->IBTransaction;
      } else {
        // Every select-like request runs on a fresh connection of the working database, unless a
        // transaction the client began is open on it: cutting the connection would lose that work.
        session->Query.Close();
        session->Query.Use(db, tra);
        query = &session->Query;
        if (!(tra->Active() && !tra->StartedByStatement())) {
          db->Disconnect();
          try {
            db->Connect();
          } catch (const std::exception&) {  // not raised here: the request reports it when it runs
          }
        }
      }
      return;
    }
    TFIBDataModule& main = *MainModule;
    if (action == ttExec) {
      main.ExecQuery.Unprepare();
      main.ExecQuery.Use(db, tra);
      query = &main.ExecQuery;
    } else if (action == ttStoredProc) {
      main.StoredProc.Unprepare();
      main.StoredProc.Use(db, tra);
      main.Query.Close();
      main.Query.Use(db, tra);
      query = &main.Query;
    } else if (action == ttTransaction || action == ttTransactionStart) {
      main.IBTransaction.DefaultDatabase = db;
      if (main.IBTransaction.Active()) main.IBTransaction.Rollback();
      query = &main.IBTransaction;
    } else {
      main.Query.Close();
      main.Query.Use(db, tra);
      // What statements left open is rolled back; a transaction the client began is not cut short.
      if (main.IBTransaction.Active() && main.IBTransaction.StartedByStatement()) main.IBTransaction.Rollback();
      query = &main.Query;
    }
  } catch (const std::exception& e) {
    ReportError(client, e.what(), true);
  }
}

void TVornFIBPlusPlugin::SetParams(TClientConnection*, TComponent* query, TVornParamList& list) {
  auto* statement = dynamic_cast<TFbStatement*>(query);
  if (!statement) return;
  for (int i = 0; i < list.Count() && i < statement->MarkerCount(); ++i) {
    TVornParamItem& item = list.Items(i);
    if (item.IsNull()) continue;  // the query parameter keeps its state
    TParam& p = item.DataType == ftLargeint ? statement->Params.ParamByName(item.Name) : statement->ParamByPosition(i);
    switch (item.DataType) {
      case ftString: case ftBlob: case ftMemo: p.Value = Variant(item.AsString()); break;
      case ftSmallint: case ftInteger: case ftWord: p.Value = Variant(item.AsInteger()); break;
      case ftFloat: case ftCurrency: p.Value = Variant(item.AsFloat()); break;
      case ftDate: case ftTime: case ftDateTime: p.Value = Variant::Date(item.AsDateTime()); break;
      case ftLargeint: p.Value = Variant(item.AsLargeInt()); break;
      default: p.Value = item.Value(); break;
    }
  }
}

void TVornFIBPlusPlugin::StoredProcedure(TClientConnection* client, TComponent* query, const std::string& name,
                                         TVornParamList& params, bool noResultSet) {
  auto isInput = [](const TVornParamItem& i) { return i.ParamType == ptInput || i.ParamType == ptInputOutput; };
  auto isOutput = [](const TVornParamItem& i) {
    return i.ParamType == ptOutput || i.ParamType == ptInputOutput || i.ParamType == ptResult;
  };
  auto* ds = dynamic_cast<TpFIBDataSet*>(query);
  auto* module = ds ? dynamic_cast<TFIBDataModule*>(ds->Owner) : nullptr;  // the module that owns AQuery
  TpFIBTransaction* tra = ds ? ds->Transaction : nullptr;
  bool started = false;
  try {
    if (!ds || !tra || !module) throw EFIBError("No stored procedure component for " + name);
    if (!tra->Active()) {
      tra->StartTransaction();
      started = true;
    }
    if (noResultSet) {
      TpFIBStoredProc& sp = module->StoredProc;
      sp.Unprepare();
      sp.StoredProcName = name;
      sp.Options = 0;  // the transaction is this handler's
      sp.Prepare();
      for (int i = 0; i < params.Count(); ++i) {
        TVornParamItem& item = params.Items(i);
        if (!isInput(item)) continue;
        TParam* p = sp.Params.FindParam(item.Name);
        if (!p) continue;
        switch (item.DataType) {
          case ftString: p->Value = Variant(item.AsString()); break;
          case ftInteger: p->Value = Variant(item.AsInteger()); break;
          case ftCurrency: p->Value = Variant::Currency(item.AsCurrency()); break;
          case ftDateTime: p->Value = Variant::Date(item.AsDateTime()); break;
          case ftLargeint: p->Value = Variant(static_cast<double>(item.AsLargeInt())); break;
          default: p->Value = item.Value(); break;
        }
      }
      sp.ExecQuery();
      if (started) tra->Commit();
      for (int i = 0; i < params.Count(); ++i) {
        TVornParamItem& item = params.Items(i);
        if (!isOutput(item)) continue;
        try {
          item.SetValue(sp.FieldByName(item.Name));
        } catch (const EFIBError&) {  // the procedure has no such output: the item keeps its value
        }
      }
      return;
    }
    std::string list;
    for (int i = 0; i < params.Count(); ++i)
      if (isInput(params.Items(i))) list += (list.empty() ? ":" : ",:") + std::string(Trim(params.Items(i).Name));
    ds->Close();
    ds->SetSelectSQL("SELECT * FROM " + name + (list.empty() ? "" : "\n( " + list + " )"));
    ds->TFbStatement::Prepare();
    for (int i = 0; i < params.Count(); ++i)
      if (isInput(params.Items(i)))
        if (TParam* p = ds->Params.FindParam(Trim(params.Items(i).Name))) p->Value = params.Items(i).Value();
    ds->Open();
    // The server reads the rows after this handler: a commit that keeps the transaction (and so the
    // cursor) open, where a full commit would close the cursor under the reader.
    if (started) tra->CommitRetaining();
  } catch (const std::exception& e) {
    if (started && tra && tra->Active()) tra->Rollback();
    ReportError(client, e.what(), true);
  }
}

// ---- metadata ----

void TVornFIBPlusPlugin::BindMetaDataEvents() {
  IBInfo.OnSetSQL = [](TDataSet& query, const std::string& sql) {
    dynamic_cast<TpFIBDataSet&>(query).SetSelectSQL(sql);
  };
  // The client's persistent session when the server runs persistent sessions, else the main module's
  // query, as the server's query supplier hands it out.
  IBInfo.QueryFor = [this](TClientConnection* client) -> TDataSet* {
    TVornServerSocket* server = ServerSocket();
    TUserRecord* record = server && client ? server->FindClient(client) : nullptr;
    if (record && server->EffectiveMode(record) == 2)
      if (auto* module = dynamic_cast<TFIBDataModule*>(record->PersistentSession)) return &module->Query;
    TComponent* query = nullptr;
    if (server && server->ThreadedDBSupplyQuery) server->ThreadedDBSupplyQuery(nullptr, nullptr, ttSelect, "", false, query, 0);
    return dynamic_cast<TDataSet*>(query);
  };
  auto text = [](const TVornDataSet& r, int column) { return std::string(Trim(r.Fields(column).AsString())); };
  auto firstColumn = [this, text](TClientConnection* c, TVornMetaData kind, TVornDataSet& answer,
                                  const std::string& db, const std::string& table) {
    TVornDataSet* r = IBInfo.GetMetaData(c, kind, table, db);
    for (r->First(); !r->Eof(); r->Next()) answer.AppendRecord({Variant(text(*r, 0))});
  };
  for (TVornMetaData k : {mdTables, mdViews, mdStoredProcs, mdSystemTables, mdIndexes, mdPrimeKeys})
    MetaData.Events[k] = firstColumn;
  MetaData.Events[mdFields] = [this, text](TClientConnection* c, TVornMetaData kind, TVornDataSet& answer,
                                           const std::string& db, const std::string& table) {
    TVornDataSet* r = IBInfo.GetMetaData(c, kind, table, db);
    for (r->First(); !r->Eof(); r->Next())
      answer.AppendRecord({Variant(text(*r, 0)), Variant(int32_t{CatalogueFieldType(r->Fields(1).AsInteger())}),
                           Variant(r->Fields(2).AsInteger())});
  };
  MetaData.Events[mdForeignKeys] = [this, text](TClientConnection* c, TVornMetaData kind, TVornDataSet& answer,
                                                const std::string& db, const std::string& table) {
    TVornDataSet* r = IBInfo.GetMetaData(c, kind, table, db);
    for (r->First(); !r->Eof(); r->Next())
      answer.AppendRecord({Variant(text(*r, 0)), Variant(text(*r, 1)), Variant(text(*r, 2))});
  };
  MetaData.Events[mdTriggers] = [this, text](TClientConnection* c, TVornMetaData kind, TVornDataSet& answer,
                                             const std::string& db, const std::string& table) {
    TVornDataSet* r = IBInfo.GetMetaData(c, kind, table, db);
    for (r->First(); !r->Eof(); r->Next())
      answer.AppendRecord({Variant(text(*r, 0)), Variant(text(*r, 1)), Variant(r->Fields(2).AsInteger()),
                           Variant(text(*r, 3).substr(0, 80))});
  };
  MetaData.Events[mdDBMSName] = [this](TClientConnection*, TVornMetaData, TVornDataSet& answer, const std::string&,
                                       const std::string&) {
    if (!AliasDataSet || !AliasDataSet->Active()) return;  // no alias table here: no rows
    for (AliasDataSet->First(); !AliasDataSet->Eof(); AliasDataSet->Next()) {
      std::vector<Variant> row;
      for (int i = 0; i < 4; ++i)
        row.push_back(Variant(i < AliasDataSet->FieldCount() ? AliasDataSet->Fields(i).AsString() : std::string()));
      answer.AppendRecord(row);
    }
  };
}

void TVornFIBPlusPlugin::FetchMetaData(TClientConnection* client, int kind, const std::string& dataBaseStr,
                                       const std::string& name) {
  TVornServerSocket* server = ServerSocket();
  try {
    if (kind == mdStoredProcColumns) {
      TVornDataSet* r = IBInfo.GetMetaData(client, mdStoredProcColumns, name, dataBaseStr);
      TVornDataSet& answer = MainModule->VornStoredProcColumnDataSet;
      answer.EmptyDataSet();
      for (r->First(); !r->Eof(); r->Next())
        answer.AppendRecord({Variant(std::string(Trim(r->Fields(0).AsString()))),
                             Variant::Int16(r->Fields(5).AsInteger() == 1 ? 2 : 1),
                             Variant::Int16(CatalogueFieldType(r->Fields(1).AsInteger()))});
      answer.First();
      if (server) server->MetaDataSet = &answer;
      return;
    }
    TVornDataSet* answer = MetaData.GetMetaData(client, static_cast<TVornMetaData>(kind), name, dataBaseStr);
    if (server) server->MetaDataSet = answer;
  } catch (const std::exception& e) {
    ReportError(client, std::string("Stored MetaData Error: ") + e.what(), true);
  }
}

// ---- attaching ----

namespace {

std::unique_ptr<TVornFIBPlusPlugin>& PluginInstance() {
  static std::unique_ptr<TVornFIBPlusPlugin> plugin;
  return plugin;
}

std::unique_ptr<TFIBDataModule>& MainInstance() {
  static std::unique_ptr<TFIBDataModule> module;
  return module;
}

}  // namespace

TVornFIBPlusPlugin* FirebirdPlugin() { return PluginInstance().get(); }
TFIBDataModule* MainDataModule() { return MainInstance().get(); }

bool AttachFirebirdPlugin(TVornServerSocket& server, const std::string& programFolder) {
  if (!PluginInstance()) PluginInstance() = std::make_unique<TVornFIBPlusPlugin>();
  TVornFIBPlusPlugin& plugin = *PluginInstance();
  plugin.SetServerSocket(&server);
  if (!MainInstance()) MainInstance() = std::make_unique<TFIBDataModule>();
  TFIBDataModule& main = *MainInstance();
  plugin.MainModule = &main;
  if (server.DataModules.empty()) server.DataModules.push_back(&main);
  server.DataSet = &main.Query;
  server.MetaDataSet = &main.TableDataSet;
  if (plugin.DatabaseConnectionString.empty()) plugin.LoadEnvironment(programFolder);
  if (plugin.DatabaseConnectionString.empty()) {
    server.LogMessage(nullptr, Utf8ToCp949("정의된 데이터베이스가 없습니다."));
    return false;
  }
  server.DataBaseName = plugin.DatabaseConnectionString;
  try {
    main.IBDatabase.Disconnect();
    main.IBDatabase.DBName = plugin.ConnectionString();
    main.IBDatabase.UserName = plugin.DBUserName;
    main.IBDatabase.Password = plugin.DBPassword;
    main.IBDatabase.Connect();
  } catch (const std::exception& e) {
    server.LogMessage(nullptr, e.what());
    return false;
  }
  server.CreateSessionPool(true);
  return true;
}

void DetachFirebirdPlugin(TVornServerSocket& server) {
  TFIBDataModule* main = MainDataModule();
  TVornFIBPlusPlugin* plugin = FirebirdPlugin();
  if (!main || !plugin || plugin->DatabaseConnectionString.empty()) return;
  server.Threads().WaitIdle();  // no worker thread may still use a session the pool is about to free
  try {
    main->Query.Close();
    main->ReleaseAliasDatabases();
    main->IBDatabase.Disconnect();
  } catch (const std::exception& e) {
    server.LogMessage(nullptr, e.what());
  }
  server.SetSessionPool(nullptr);
}

}  // namespace qzt
