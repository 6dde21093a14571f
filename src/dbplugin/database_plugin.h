// TVornDatabasePlugin: the database event provider. It holds one handler per database event and copies
// them into a server socket when attached, into the events the server socket has left unassigned.
#pragma once

#include <string>

#include "dataset/vorn_dataset.h"
#include "server/server_socket.h"

namespace qzt {

class TVornDatabasePlugin : public TComponent, public TVornDatabaseEvents {
 public:
  ~TVornDatabasePlugin() override = default;

  std::string DBUserName, DBPassword;
  bool DatabaseUseAlias = false;
  std::string DatabaseConnectionString;  // empty: no database configured
  TVornDataSet* AliasDataSet = nullptr;  // Alias, Path
  TVornDataSet* UpdatesDataSet = nullptr;
  // The events of the server socket's own that a plug-in may also supply.
  decltype(TVornServerSocket::OnClientDBLogin) OnClientDBLogin;
  decltype(TVornServerSocket::OnClientAuthenticate) OnClientAuthenticate;
  decltype(TVornServerSocket::OnOutCodedParamList) OnOutCodedParamList;
  decltype(TVornServerSocket::OnCodedMessage) OnCodedMessage;
  decltype(TVornServerSocket::OnCodedParamList) OnCodedParamList;
  decltype(TVornServerSocket::OnDecrypt) OnDecrypt;
  decltype(TVornServerSocket::OnEncrypt) OnEncrypt;

  TVornServerSocket* ServerSocket() const { return server_; }
  // Stores the reference and copies the handlers (once; later handler changes are not copied).
  void SetServerSocket(TVornServerSocket* server);
  virtual void HookServerSocket();
  // The path of an alias from AliasDataSet (Alias, Path); empty when there is none.
  virtual std::string ResolveAlias(const std::string& alias);
  // To the client as an error (and the log with its connection) when asked and the connection is valid;
  // else to the log alone.
  void ReportError(TClientConnection* client, const std::string& msg, bool sendToClient);

 private:
  TVornServerSocket* server_ = nullptr;
};

}  // namespace qzt
