#include "dbplugin/database_plugin.h"

namespace qzt {

void TVornDatabasePlugin::SetServerSocket(TVornServerSocket* server) {
  server_ = server;
  HookServerSocket();
}

namespace {

template <typename E>
void CopyIfUnassigned(E& target, const E& handler) {
  if (!target) target = handler;  // a handler the host assigned directly always wins
}

}  // namespace

void TVornDatabasePlugin::HookServerSocket() {
  if (!server_) return;
  TVornServerSocket& s = *server_;
  CopyIfUnassigned(s.OnInsertAutoIncrementFetch, OnInsertAutoIncrementFetch);
  CopyIfUnassigned(s.OnAddDataModule, OnAddDataModule);
  CopyIfUnassigned(s.OnProviderConvertParams, OnProviderConvertParams);
  CopyIfUnassigned(s.OnProviderSetParams, OnProviderSetParams);
  CopyIfUnassigned(s.OnBeforeServerMethod, OnBeforeServerMethod);
  CopyIfUnassigned(s.OnStoredProcedure, OnStoredProcedure);
  CopyIfUnassigned(s.OnSubmitSQL, OnSubmitSQL);
  CopyIfUnassigned(s.OnFetchMetaData, OnFetchMetaData);
  CopyIfUnassigned(s.OnExecRowsAffected, OnExecRowsAffected);
  CopyIfUnassigned(s.OnExecSQLParamList, OnExecSQLParamList);
  CopyIfUnassigned(s.OnFetchBlobEvent, OnFetchBlobEvent);
  CopyIfUnassigned(s.OnTransactionBegin, OnTransactionBegin);
  CopyIfUnassigned(s.OnTransactionEnd, OnTransactionEnd);
  CopyIfUnassigned(s.ThreadedDBSupplyQuery, ThreadedDBSupplyQuery);
  CopyIfUnassigned(s.ThreadedDBSupplySession, ThreadedDBSupplySession);
  CopyIfUnassigned(s.OnClientDBLogin, OnClientDBLogin);
  CopyIfUnassigned(s.OnClientAuthenticate, OnClientAuthenticate);
  CopyIfUnassigned(s.OnServerQueryGetParams, OnServerQueryGetParams);
  CopyIfUnassigned(s.OnServerQuerySetParams, OnServerQuerySetParams);
  CopyIfUnassigned(s.OnSubmitSQLParams, OnSubmitSQLParams);
  CopyIfUnassigned(s.OnOutCodedParamList, OnOutCodedParamList);
  CopyIfUnassigned(s.OnCodedMessage, OnCodedMessage);
  CopyIfUnassigned(s.OnCodedParamList, OnCodedParamList);
  CopyIfUnassigned(s.OnDecrypt, OnDecrypt);
  CopyIfUnassigned(s.OnEncrypt, OnEncrypt);
}

std::string TVornDatabasePlugin::ResolveAlias(const std::string& alias) {
  if (!AliasDataSet || !AliasDataSet->Active()) return {};
  const Variant path = AliasDataSet->Lookup("Alias", {Variant(alias)}, "Path");
  return path.IsNull() ? std::string() : path.ToString();
}

void TVornDatabasePlugin::ReportError(TClientConnection* client, const std::string& msg, bool sendToClient) {
  if (!server_) return;
  if (sendToClient && client && server_->IsConnectionValid(client)) {
    server_->SendErrorMessage(client, msg);
    server_->LogMessage(client, msg);
  } else {
    server_->LogMessage(nullptr, msg);
  }
}

}  // namespace qzt
