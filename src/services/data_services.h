// The data services: the handlers of the data tokens (reads, changes, metadata), registered on a server
// socket whose database events a plug-in supplies.
#pragma once

#include "server/server_socket.h"

namespace qzt {

void RegisterQueryRequests(TVornServerSocket& server);
void RegisterExecRequests(TVornServerSocket& server);
void RegisterMetaDataRequests(TVornServerSocket& server);

inline void RegisterDataServices(TVornServerSocket& server) {
  RegisterQueryRequests(server);
  RegisterExecRequests(server);
  RegisterMetaDataRequests(server);
}

}  // namespace qzt
