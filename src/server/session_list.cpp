#include "server/session_list.h"

#include <algorithm>

#include "platform/field.h"

namespace qzt {

TVornSessionList::~TVornSessionList() = default;

int TVornSessionList::Count() const {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->Persistent; }));
}

TSessionEntry& TVornSessionList::Add(std::unique_ptr<TComponent> session, const std::string& sessionName) {
  auto entry = std::make_unique<TSessionEntry>();
  entry->Component = session.get();
  if (ownsSessions_) entry->Session = std::move(session);
  else session.release();  // the supplier keeps ownership
  entry->SessionName = sessionName;
  std::lock_guard<std::mutex> lock(lock_);
  entries_.push_back(std::move(entry));
  return *entries_.back();
}

void TVornSessionList::BindSession(const TClientConnection* connection, TComponent* session) {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_)
    if (e->Component == session) {
      e->Owner = connection;
      e->InUse = true;
      return;
    }
  if (!session) throw EDatabaseError("Unable to Add a Socket and Session");
  auto entry = std::make_unique<TSessionEntry>();
  entry->Component = session;
  if (ownsSessions_) entry->Session.reset(session);
  entry->Owner = connection;
  entry->InUse = true;
  entry->Persistent = true;
  entries_.push_back(std::move(entry));
}

void TVornSessionList::ReleaseConnection(const TClientConnection* connection, bool persistent) {
  std::vector<std::unique_ptr<TSessionEntry>> freed;
  std::lock_guard<std::mutex> lock(lock_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if ((*it)->Owner != connection) {
      ++it;
      continue;
    }
    if (persistent) {
      freed.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      (*it)->InUse = false;
      (*it)->Owner = nullptr;
      (*it)->Thread = nullptr;
      ++it;
    }
  }
}

TComponent* TVornSessionList::SessionOf(const TClientConnection* connection) const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_)
    if (e->Owner == connection) return e->Component;
  return nullptr;
}

}  // namespace qzt
