// The database events of the server socket: every kind of database work the data services ask for.
// A database plug-in supplies handlers for them; the server core never includes a database header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codec/param_list.h"
#include "dataset/sql_parser.h"
#include "platform/component.h"
#include "platform/connection.h"
#include "platform/dataset.h"
#include "server/worker_thread.h"

namespace qzt {

class TUserRecord;

using TVornSelectSQLOptionSet = uint32_t;  // bit n for option n (soPackets, soDelayed, ...)

// The kinds of metadata requests.
enum TVornMetaData : uint8_t {
  mdNormalQuery, mdTables, mdIndexes, mdFields, mdViews, mdStoredProcs, mdForeignKeys, mdSystemTables, mdDBMSName,
  mdPrimeKeys, mdStoredProcColumns, mdServerDataSets, mdCustomDataSets, mdBusinessObjects, mdProviders,
  mdBusObjectParams, mdProviderParams, mdVCLFields, mdOtherMetaData, mdBusinessObjectNames, mdUserList,
  mdAliasedBizObjectMethods, mdProviderPrimeFields, mdProviderUpdateTables, mdProviderPrimeFieldsFromBizObject,
  mdTriggers, mdTableFields, mdStatelessUserList,
};


struct TVornDatabaseEvents {
  // A query component for an action; `thread` is the worker thread asking, or none.
  std::function<void(TVornThread* thread, TClientConnection* client, TThreadDbAction action,
                     const std::string& dataBaseStr, bool createNew, TComponent*& query,
                     TVornSelectSQLOptionSet options)>
      ThreadedDBSupplyQuery;
  // A connected session (a data module holding one database connection).
  std::function<void(TClientConnection* client, const std::string& sessionName, TComponent*& session)>
      ThreadedDBSupplySession;
  std::function<void(TClientConnection*, TDataSet* query, const std::string& dataBaseStr, const std::string& sql,
                     TVornSelectSQLOptionSet options)>
      OnSubmitSQL;
  std::function<void(TClientConnection*, TDataSet* query, const std::string& dataBaseStr, const std::string& sql,
                     TVornParamList& params)>
      OnSubmitSQLParams;
  std::function<void(TClientConnection*, TComponent* query, TVornParamList& params)> OnServerQuerySetParams,
      OnServerQueryGetParams;
  std::function<void(TClientConnection*, TComponent* query, const std::string& dataBaseStr, const std::string& sql,
                     bool& result, std::string& errorMsg, TVornParamList& params)>
      OnExecSQLParamList;
  std::function<void(TClientConnection*, TComponent* query, int32_t& rowsAffected)> OnExecRowsAffected;
  std::function<void(TClientConnection*, TComponent* query, const std::string& dataBaseStr,
                     const std::string& procName, TVornParamList& params, bool noResultSet)>
      OnStoredProcedure;
  std::function<void(TClientConnection*, TComponent* query, const std::string& database, const std::string& table,
                     const std::string& autoIncField, int32_t& value)>
      OnInsertAutoIncrementFetch;
  std::function<void(TClientConnection*, TComponent* query, const std::string& dataBaseStr, const std::string& table,
                     const std::string& field, const std::string& where, std::string& blob)>
      OnFetchBlobEvent;
  std::function<void(TClientConnection*, int metaRequest, const std::string& dataBaseStr, const std::string& arg1,
                     const std::string& arg2)>
      OnFetchMetaData;
  std::function<void(TClientConnection*, TComponent* session, const std::string& transactionName)> OnTransactionBegin;
  std::function<void(TClientConnection*, TComponent* session, bool success)> OnTransactionEnd;
  std::function<void(TComponent* session, std::vector<TComponent*>& dataModules)> OnAddDataModule;
  std::function<void(TUserRecord& client, const std::string& methodName, bool& allow)> OnBeforeServerMethod;
  std::function<void(TDataSet* dataSet, TVornParamList& params, bool& converted)> OnProviderConvertParams;
  std::function<void(TDataSet* dataSet, TVornParamList& params)> OnProviderSetParams;
  // The trigger hook run before each statement of a transaction.
  std::function<void(const std::string& sql, TUserRecord& client, TVornSQLParser& parser, TVornParamList& params,
                     TComponent* query)>
      OnTrigger;
  std::function<void(TUserRecord& client, const std::string& sql, const std::string& table, const std::string& field,
                     TVornParamList& params, TComponent* query)>
      OnTriggerDefaultValue;
};

}  // namespace qzt
