// Database metadata from the Firebird system catalogue: TVornIBInfo builds and runs the catalogue SQL of a
// request kind; TVorn2MetaData keeps one answer table per kind with its fixed layout and fills it through
// per-kind events. Every name goes into the SQL as a quoted literal (inner quotes doubled), so a name
// with a quote finds nothing rather than breaking the statement.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "dataset/vorn_dataset.h"
#include "server/server_socket.h"

namespace qzt {

// RDB$FIELD_TYPE as a field type ordinal.
TFieldType CatalogueFieldType(int rdbFieldType);
// The catalogue SQL of a kind for a name; "" for kinds without one.
std::string CatalogueSQL(TVornMetaData kind, const std::string& name);

class TVornIBInfo : public TComponent {
 public:
  TVornServerSocket* VornServerSocket = nullptr;
  // Sets the SQL text of the query component.
  std::function<void(TDataSet& query, const std::string& sql)> OnSetSQL;
  // The query component to run catalogue SQL on, for a client (none: the main one).
  std::function<TDataSet*(TClientConnection* client)> QueryFor;
  // Runs the kind's catalogue SQL and answers a copy of its rows; none for a kind without SQL.
  TVornDataSet* GetMetaData(TClientConnection* client, TVornMetaData kind, const std::string& name,
                            const std::string& databaseName);

 private:
  std::mutex lock_;  // the catalogue queries share one query component
  TVornDataSet result_;
};

class TVorn2MetaData : public TComponent {
 public:
  using TMetaDataEvent = std::function<void(TClientConnection* client, TVornMetaData kind, TVornDataSet& answer,
                                            const std::string& databaseName, const std::string& tableName)>;
  TVornServerSocket* VornServerSocket = nullptr;
  std::function<void(TVornMetaData kind, const std::string& databaseName, const std::string& tableName)>
      BeforeMetaData, AfterMetaData;
  // One event per kind (mdTables, mdIndexes, ...); unassigned kinds answer an empty table.
  std::map<TVornMetaData, TMetaDataEvent> Events;
  // The kind's answer table, emptied, laid out and filled; the default table for unknown kinds.
  TVornDataSet* GetMetaData(TClientConnection* client, TVornMetaData kind, const std::string& tableName,
                            const std::string& databaseName);

 private:
  TVornDataSet& Table(TVornMetaData kind);
  std::map<TVornMetaData, std::unique_ptr<TVornDataSet>> tables_;
};

}  // namespace qzt
