#include "server/session_list.h"

#include <algorithm>
#include <thread>

#include "platform/field.h"
#include "server/server_socket.h"

namespace qzt {

TVornSessionList::~TVornSessionList() {
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& t : waiting_) t->Terminated = true;
  waiting_.clear();
}

int TVornSessionList::Count() const {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->Persistent; }));
}

int TVornSessionList::InUseCount() const {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return e->InUse; }));
}

int TVornSessionList::WaitingCount() const {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<int>(waiting_.size());
}

int TVornSessionList::HeldBy(const TClientConnection* connection) const {
  std::lock_guard<std::mutex> lock(lock_);
  auto it = counters_.find(connection);
  return it == counters_.end() ? 0 : it->second;
}

void TVornSessionList::Count(const TClientConnection* connection, int change) {
  auto it = counters_.find(connection);
  if (it == counters_.end()) {
    if (change > 0) counters_[connection] = change;  // a negative change for an absent one does nothing
    return;
  }
  it->second += change;
  if (it->second <= 0) counters_.erase(it);
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
  if (!session) throw EDatabaseError("Unable to Add a Socket and Session");
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_)
    if (e->Component == session) {
      e->Owner = connection;
      e->InUse = true;
      return;
    }
  auto entry = std::make_unique<TSessionEntry>();
  entry->Component = session;
  if (ownsSessions_) entry->Session.reset(session);
  entry->Owner = connection;
  entry->InUse = true;
  entry->Persistent = true;
  entries_.push_back(std::move(entry));
}

TComponent* TVornSessionList::SessionOf(const TClientConnection* connection) const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_)
    if (e->Owner == connection) return e->Component;
  return nullptr;
}

std::shared_ptr<TQueryList> TVornSessionList::QueriesOf(const TClientConnection* connection) {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_) {
    if (e->Owner != connection || !e->Persistent) continue;
    if (!e->Queries) e->Queries = std::make_shared<TQueryList>();
    return e->Queries;
  }
  return nullptr;
}

bool TVornSessionList::HeldByRunningThread(const TClientConnection* connection) const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_)
    if (e->Owner == connection) return e->Thread && !e->Thread->Ended;
  return false;
}

TComponent* TVornSessionList::CheckOut(const TUserRecord& client, const std::shared_ptr<TVornThread>& thread) {
  std::this_thread::yield();
  const TClientConnection* conn = client.Connection.get();
  {
    std::lock_guard<std::mutex> lock(lock_);
    for (auto& e : entries_) {
      if (e->InUse || e->Persistent || !e->Component) continue;
      e->InUse = true;
      e->Owner = conn;
      e->Thread = thread;
      Count(conn, 1);
      return e->Component;
    }
  }
  // None free: the pool grows (no maximum is set). The session is made outside the lock.
  if (!server_ || !server_->ThreadedDBSupplySession) return nullptr;
  TComponent* session = nullptr;
  server_->ThreadedDBSupplySession(nullptr, client.SessionName, session);
  std::vector<TComponent*> modules;
  if (session && server_->OnAddDataModule) server_->OnAddDataModule(session, modules);
  std::lock_guard<std::mutex> lock(lock_);
  auto entry = std::make_unique<TSessionEntry>();
  entry->Component = session;
  entry->Session.reset(session);
  entry->SessionName = client.SessionName;
  entry->DataModules = std::move(modules);
  if (session) {
    entry->InUse = true;
    entry->Owner = conn;
    entry->Thread = thread;
    Count(conn, 1);
  }
  entries_.push_back(std::move(entry));  // an entry without a component is recorded as well
  if (session) session->Name = session->ClassName() + std::to_string(entries_.size());
  return session;
}

void TVornSessionList::SetThread(TComponent* session, const std::shared_ptr<TVornThread>& thread) {
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& e : entries_)
    if (e->Component == session) e->Thread = thread;
}

void TVornSessionList::ClearThread(TComponent* session, const TVornThread* thread) {
  std::lock_guard<std::mutex> lock(lock_);
  for (auto& e : entries_)
    if (e->Component == session && e->Thread.get() == thread) e->Thread.reset();
}

std::shared_ptr<TTurnstile> TVornSessionList::TurnstileOf(const TClientConnection* connection) {
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& e : entries_) {
    if (e->Owner != connection || !e->Persistent) continue;
    if (!e->Turns) e->Turns = std::make_shared<TTurnstile>();
    return e->Turns;
  }
  return nullptr;
}

void TVornSessionList::QueueThread(const std::shared_ptr<TVornThread>& thread) {
  std::lock_guard<std::mutex> lock(lock_);
  waiting_.push_back(thread);
}

void TVornSessionList::CheckIn(TComponent* session, const TClientConnection* connection) {
  std::this_thread::yield();
  std::shared_ptr<TVornThread> next;
  {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e->Component == session; });
    if (it == entries_.end() || !(*it)->InUse) return;
    TSessionEntry& e = **it;
    if (server_ && server_->OnCheckInSession) {
      const bool foreign = connection && connection != e.Owner && server_->IsConnectionValid(connection);
      server_->OnCheckInSession(e.Thread.get(), foreign ? nullptr : const_cast<TClientConnection*>(e.Owner), session);
    }
    if (connection && connection != e.Owner && server_ && server_->IsConnectionValid(connection)) {
      e.InUse = false;
      e.Thread.reset();
      return;
    }
    Count(e.Owner, -1);
    if (e.Thread) e.Thread->Session = nullptr;
    e.InUse = false;
    e.Owner = nullptr;
    e.Thread.reset();
    while (!waiting_.empty() && waiting_.front()->Terminated) waiting_.pop_front();
    if (!waiting_.empty()) {
      next = waiting_.front();
      waiting_.pop_front();
      e.InUse = true;
      e.Owner = next->Client->Connection.get();
      e.Thread = next;
      Count(e.Owner, 1);
      next->Session = session;
    }
  }
  if (next && server_) server_->StartQueuedThread(next);
}

void TVornSessionList::ReleaseConnection(const TClientConnection* connection, bool persistent) {
  std::vector<std::unique_ptr<TSessionEntry>> freed;
  std::lock_guard<std::mutex> lock(lock_);
  if (!persistent) {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
      if ((*it)->Client->Connection.get() == connection) {
        (*it)->Terminated = true;
        it = waiting_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto it = entries_.begin(); it != entries_.end();) {
    TSessionEntry& e = **it;
    if (e.Owner != connection) {
      ++it;
      continue;
    }
    if (e.Thread && !e.Thread->Ended) {
      e.Thread->Terminated = true;  // its end gives the session back (or frees a persistent one)
      e.Thread->ReleasePersistent = persistent;
      ++it;
      continue;
    }
    if (persistent) {
      freed.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      e.InUse = false;
      e.Owner = nullptr;
      e.Thread.reset();
      ++it;
    }
  }
  counters_.erase(connection);
}

}  // namespace qzt
