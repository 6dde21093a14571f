// TVornSessionList: the pool of database sessions, the sessions bound to clients, and the worker threads
// waiting for a session.
//
// Pooled entries cycle free -> in use (check-out, or handed to a waiting thread) -> free (check-in); the
// pool grows past its initial size under load (no limits here) and never shrinks while the server runs.
// Persistent entries live from a client's login or first threaded request to its disconnect.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/connection.h"
#include "server/query_list.h"
#include "server/worker_thread.h"

namespace qzt {

class TVornThread;
class TVornServerSocket;
class TUserRecord;

struct TSessionEntry {
  std::unique_ptr<TComponent> Session;  // owned when the list owns its sessions
  TComponent* Component = nullptr;
  bool InUse = false;
  const TClientConnection* Owner = nullptr;
  std::string SessionName;
  std::shared_ptr<TVornThread> Thread;  // the worker thread using it
  bool Persistent = false;              // bound to one client, not part of the pool
  std::vector<TComponent*> DataModules;  // extra data modules the host added for the session
  std::shared_ptr<TQueryList> Queries;   // kept queries of a persistent session (freed before it)
  std::shared_ptr<TTurnstile> Turns;     // the order of the work on a persistent session
};

class TVornSessionList {
 public:
  explicit TVornSessionList(bool ownsSessions = true, TVornServerSocket* server = nullptr)
      : ownsSessions_(ownsSessions), server_(server) {}
  ~TVornSessionList();

  int Count() const;  // pooled sessions (persistent ones bound to clients do not count)
  int InUseCount() const;
  TSessionEntry& Add(std::unique_ptr<TComponent> session, const std::string& sessionName);
  // Registers a persistent session for a connection ("Unable to Add a Socket and Session" without one).
  void BindSession(const TClientConnection* connection, TComponent* session);
  // Gives back (or, with `persistent`, frees) everything the connection holds; entries a running worker
  // thread still uses are let go when that thread ends.
  void ReleaseConnection(const TClientConnection* connection, bool persistent);
  TComponent* SessionOf(const TClientConnection* connection) const;
  // The kept queries of the connection's persistent session, made on first use; none without one.
  std::shared_ptr<TQueryList> QueriesOf(const TClientConnection* connection);
  // True when the connection's first entry is used by a worker thread that has not ended.
  bool HeldByRunningThread(const TClientConnection* connection) const;

  // A free pooled session for the thread (created when none is free), or none.
  TComponent* CheckOut(const TUserRecord& client, const std::shared_ptr<TVornThread>& thread);
  // Gives a pooled session back and hands it to the first waiting thread, which is then started.
  void CheckIn(TComponent* session, const TClientConnection* connection);
  void QueueThread(const std::shared_ptr<TVornThread>& thread);
  // Marks the worker thread that uses a (persistent) session: the last one handed work on it.
  void SetThread(TComponent* session, const std::shared_ptr<TVornThread>& thread);
  // Clears the mark when it is still this thread's.
  void ClearThread(TComponent* session, const TVornThread* thread);
  // The turnstile of the connection's persistent session; none without one.
  std::shared_ptr<TTurnstile> TurnstileOf(const TClientConnection* connection);
  int WaitingCount() const;
  // Sessions held per connection.
  int HeldBy(const TClientConnection* connection) const;

 protected:
  void Count(const TClientConnection* connection, int change);
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<TSessionEntry>> entries_;
  std::deque<std::shared_ptr<TVornThread>> waiting_;
  std::map<const TClientConnection*, int> counters_;
  bool ownsSessions_;
  TVornServerSocket* server_;
};

}  // namespace qzt
