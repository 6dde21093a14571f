// TVornSessionList: the pool of database sessions and the sessions bound to clients.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/connection.h"

namespace qzt {

class TVornThread;

struct TSessionEntry {
  std::unique_ptr<TComponent> Session;  // owned when the list owns its sessions
  TComponent* Component = nullptr;
  bool InUse = false;
  const TClientConnection* Owner = nullptr;
  std::string SessionName;
  TVornThread* Thread = nullptr;
  bool Persistent = false;  // bound to one client, not part of the pool
  std::vector<TComponent*> DataModules;  // extra data modules the host added for the session
};

class TVornSessionList {
 public:
  explicit TVornSessionList(bool ownsSessions = true) : ownsSessions_(ownsSessions) {}
  ~TVornSessionList();

  int Count() const;  // pooled sessions (persistent ones bound to clients do not count)
  // Adds a session; an owned one is freed with the list.
  TSessionEntry& Add(std::unique_ptr<TComponent> session, const std::string& sessionName);
  // Registers a persistent session for a connection.
  void BindSession(const TClientConnection* connection, TComponent* session);
  // Gives back (or, with `persistent`, frees) everything the connection holds.
  void ReleaseConnection(const TClientConnection* connection, bool persistent);
  TComponent* SessionOf(const TClientConnection* connection) const;

 protected:
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<TSessionEntry>> entries_;
  bool ownsSessions_;
};

}  // namespace qzt
