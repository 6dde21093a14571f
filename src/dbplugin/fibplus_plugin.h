// The Firebird plug-in: the database module (one database connection with its transaction, query,
// executable query and stored-procedure components), the plug-in's handlers of the database events, and
// attaching it to the server at start and detaching it at stop.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataset/vorn_dataset.h"
#include "dbplugin/database_plugin.h"
#include "dbplugin/fb_access.h"
#include "dbplugin/metadata.h"

namespace qzt {

class TFIBDataModule : public TComponent {
 public:
  TFIBDataModule();
  ~TFIBDataModule() override;
  std::string ClassName() const override { return "TFIBDataModule"; }
  bool FreeComponent(TComponent* child) override;  // a dataset of NewDataSet
  // A database named by an alias, with its default transaction (transaction first: it goes first).
  struct TDBSet {
    std::unique_ptr<TpFIBDatabase> Database;
    std::unique_ptr<TpFIBTransaction> Transaction;
  };
  // Declared in this order so that statements go before their transaction and database, and every
  // statement before the alias databases it may have been given.
  std::map<std::string, TDBSet> AliasDatabases;
  TpFIBDatabase IBDatabase;
  TpFIBTransaction IBTransaction;
  TpFIBDataSet Query;
  TpFIBQuery ExecQuery;
  TpFIBStoredProc StoredProc;
  TpFIBQuery StoredProcQuery;
  TVornDataSet VornStoredProcColumnDataSet;  // Name (string 40), InputType, DataType (small integers)
  TVornDataSet TableDataSet;                 // Name (string 40), empty
  // Datasets of packet queries, which live as long as the module.
  TpFIBDataSet& NewDataSet(TpFIBDatabase& db, TpFIBTransaction& tra);
  // The database of `alias` at `path`, attached on first use and kept with the module.
  TDBSet& AliasDatabase(const std::string& alias, const std::string& path);
  // Gives every statement back to the module's own database and lets the alias databases go.
  void ReleaseAliasDatabases();

 private:
  std::vector<std::unique_ptr<TpFIBDataSet>> owned_;
};

class TVornFIBPlusPlugin : public TVornDatabasePlugin {
 public:
  TVornFIBPlusPlugin();
  std::string Host;  // DBSvrIP
  int SessionCounter = 0;
  TFIBDataModule* MainModule = nullptr;  // set by AttachFirebirdPlugin
  TVornIBInfo IBInfo;
  TVorn2MetaData MetaData;

  void LoadEnvironment(const std::string& programFolder);
  std::string ConnectionDescription();  // host ":" path, an empty host reading "localhost"
  // The connection string of the main module: a blank host opens the file through the embedded engine.
  std::string ConnectionString() const;

 private:
  void SupplySession(TClientConnection* client, const std::string& sessionName, TComponent*& session);
  void SupplyQuery(TVornThread* thread, TClientConnection* client, TThreadDbAction action,
                   const std::string& dataBaseStr, TComponent*& query, TVornSelectSQLOptionSet options);
  void SetParams(TClientConnection* client, TComponent* query, TVornParamList& params);
  void StoredProcedure(TClientConnection* client, TComponent* query, const std::string& procName,
                       TVornParamList& params, bool noResultSet);
  void FetchMetaData(TClientConnection* client, int kind, const std::string& dataBaseStr, const std::string& name);
  void BindMetaDataEvents();
  std::mutex counterLock_;
};

// Prepares and connects the plug-in and the main module; true when the database is connected.
bool AttachFirebirdPlugin(TVornServerSocket& server, const std::string& programFolder);
// Disconnects the main module and drops the session pool.
void DetachFirebirdPlugin(TVornServerSocket& server);
// The process-wide plug-in and main module (created by the first attach).
TVornFIBPlusPlugin* FirebirdPlugin();
TFIBDataModule* MainDataModule();

}  // namespace qzt
