// How the data services run a request: its database work goes to a worker thread with a session in the
// threaded models, or runs here (on the I/O thread) with the query the plug-in supplies.
#pragma once

#include "server/server_socket.h"
#include "services/db_tools.h"

namespace qzt {

// The query for an action: the plug-in's (one of the thread's session on a worker thread), or without
// threads `fallback` when it supplies none.
inline TComponent* SupplyQuery(TVornServerSocket& s, TVornThread* thread, TClientConnection* conn,
                               TThreadDbAction action, const std::string& db, TComponent* fallback) {
  TComponent* query = thread ? nullptr : fallback;
  if (s.ThreadedDBSupplyQuery) s.ThreadedDBSupplyQuery(thread, conn, action, db, thread != nullptr, query, 0);
  return query ? query : (thread ? nullptr : fallback);
}

// Runs `r.Run(server, record, thread, query)`: on a worker thread (the thread's copy of the record, the
// query supplied for `db` and `options`), or here without threads (the client's record, the supplied
// query or `fallback`).
template <typename Request>
void RunRequest(TVornServerSocket& s, TUserRecord& client, const Request& r, TThreadDbAction action,
                const std::string& db, TVornSelectSQLOptionSet options, TComponent* fallback) {
  if (s.ThreadingModel != tmSingleSession) {
    s.RunDatabaseWork(
        client.Connection.get(), action, TVornParamList(),
        [r](TVornServerSocket& server, TVornThread& t, TComponent*, TComponent* query) {
          r.Run(server, *t.Client, &t, query);
        },
        db, options);
    return;
  }
  r.Run(s, client, nullptr, SupplyQuery(s, nullptr, client.Connection.get(), action, db, fallback));
}

// The rows of a select-like reply, from the dataset's current row: a run of `rows` (-1: all, and then
// no packets), the dataset closed unless it is kept, compressed as the options say. On a persistent
// session a request with packets keeps its dataset for later packets: the handle is its request id.
struct TRowsReply {
  std::string Text;
  bool Compressed = false;
  int32_t Handle = 0;
};
TRowsReply BuildRowsReply(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TVornDBTools& tools,
                          int32_t rows, TVornSelectSQLOptionSet options);
// A rows reply (SQLResultSet or TableResultSet): state or handle, row text, compressed flag.
void SendRows(TVornServerSocket& s, TUserRecord& to, uint8_t token, int32_t state, const std::string& rows,
              bool compressed);
// A reply of one text field.
void SendText(TVornServerSocket& s, TUserRecord& to, uint8_t token, const std::string& text);

// Registers a handler of a token.
inline void OnToken(TVornServerSocket& server, uint8_t token, void (*handler)(TVornServerSocket&, TUserRecord&)) {
  TVornServerSocket* s = &server;
  server.SetTokenHandler(token, [s, handler](TUserRecord& client) { handler(*s, client); });
}

}  // namespace qzt
