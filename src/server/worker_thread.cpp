#include "server/worker_thread.h"

#include <thread>

#include "server/server_socket.h"
#include "server/session_list.h"

namespace qzt {

TThreadCache::~TThreadCache() {
  std::unique_lock<std::mutex> lock(lock_);
  stopping_ = true;
  wake_.notify_all();
  done_.wait(lock, [&] { return threads_ == 0; });
  JoinLeft(lock);
}

// Joins the threads whose loop has ended; they only have their exit left, so this is brief.
void TThreadCache::JoinLeft(std::unique_lock<std::mutex>& lock) {
  std::vector<std::thread> ending;
  for (const auto& id : left_) {
    auto it = handles_.find(id);
    if (it == handles_.end()) continue;
    ending.push_back(std::move(it->second));
    handles_.erase(it);
  }
  left_.clear();
  lock.unlock();
  for (auto& t : ending) t.join();
  lock.lock();
}

void TThreadCache::SetMaxIdle(int n) {
  std::lock_guard<std::mutex> lock(lock_);
  maxIdle_ = n;
  wake_.notify_all();
}

int TThreadCache::ThreadCount() const {
  std::lock_guard<std::mutex> lock(lock_);
  return threads_;
}

int TThreadCache::IdleCount() const {
  std::lock_guard<std::mutex> lock(lock_);
  return idle_;
}

void TThreadCache::WaitIdle() {
  std::unique_lock<std::mutex> lock(lock_);
  done_.wait(lock, [&] { return busy_ == 0 && tasks_.empty(); });
}

void TThreadCache::Run(std::function<void()> task) {
  std::unique_lock<std::mutex> lock(lock_);
  if (!left_.empty()) JoinLeft(lock);
  tasks_.push_back(std::move(task));
  if (idle_ > static_cast<int>(tasks_.size()) - 1) {
    wake_.notify_one();
    return;
  }
  ++threads_;
  std::thread t([this] { Loop(); });
  handles_.emplace(t.get_id(), std::move(t));
}

void TThreadCache::Loop() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    while (!tasks_.empty()) {
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      ++busy_;
      lock.unlock();
      try {
        task();
      } catch (...) {  // tasks report their own errors; nothing may end the cached thread
      }
      lock.lock();
      --busy_;
      if (busy_ == 0 && tasks_.empty()) done_.notify_all();
    }
    if (stopping_ || idle_ >= maxIdle_) break;
    ++idle_;
    wake_.wait(lock, [&] { return stopping_ || !tasks_.empty() || idle_ > maxIdle_; });
    --idle_;
    if (tasks_.empty()) break;
  }
  --threads_;
  left_.push_back(std::this_thread::get_id());
  done_.notify_all();
}

std::atomic<int64_t> TVornThread::nextId_{1};

TVornThread::TVornThread(TVornServerSocket& server, const TUserRecord& client)
    : Server(server), Client(client.Copy(tuThreadCreate)), Id(nextId_++) {
  Client->ParamList.Clear();
  client.ParamList.CopyTo(Client->ParamList, true);
  if (Client->SessionName.empty()) Client->SessionName = server.DefaultSessionName;
  RequestId = client.Line.RequestId();
}

TVornThread::~TVornThread() {
  if (Client) Client->Notify(TuThreadDestroy);
  if (OwnsDataSet) FreeComponent(DataSet);  // a component its owner keeps stays
}

void TVornServerSocket::RunUtility(TClientConnection* connection, const TVornParamList& params,
                                   TUtilityCallback callback) {
  TUserRecord* client = FindClient(connection);
  if (!client || !IsConnectionValid(connection)) return;
  auto thread = std::make_shared<TVornThread>(*this, *client);
  thread->IsUtility = true;
  thread->Action = ttNonDataBase;
  thread->Slots.AddValue(Variant(params.SaveToString()));
  thread->Utility = std::move(callback);
  ConnectionPtr conn = Shared(connection);
  threads_.Run([this, thread, conn] {
    if (!(LogSuppression & 2)) LogCategory(lcUtilityThreads, nullptr, "Utility Thread " + std::to_string(thread->Id));
    try {
      thread->StartTime = Now();
      TVornParamList list(thread->Slots.Items(0).AsString(), 0);
      thread->Utility(*thread, *this, list, conn.get());
      thread->EndTime = Now();
    } catch (const std::exception& e) {
      thread->ErrorText = e.what();
      LogCategory(lcUtilityErrors, conn.get(), thread->ErrorText);
    }
    thread->Terminated = true;
  });
}

// ---- database worker threads ----

std::shared_ptr<TVornThread> TVornServerSocket::NewWorkerThread(TUserRecord& client) {
  auto thread = std::make_shared<TVornThread>(*this, client);
  if (client.IsStateless()) client.ClientFlags |= cfKeepOpen;
  thread->OwnsDataSet = DisposeofQueriesForThreads;
  if (!(LogSuppression & 2))
    LogCategory(lcWorkerThreads, client.Connection.get(),
                "Thread " + std::to_string(thread->Id) + " launched for dataset id " + std::to_string(thread->RequestId));
  thread->OnEnd = [](TVornServerSocket& server, TVornThread& t, TComponent*, TComponent*) {
    --server.ActiveThreads;
    if (!(server.LogSuppression & 2))
      server.LogCategory(lcWorkerThreads, nullptr,
                         "Thread " + std::to_string(t.Id) + " ended for dataset id " + std::to_string(t.RequestId));
  };
  ++ActiveThreads;
  if ((ThreadingModel == tmPooledSessions || ThreadingModel == tmSmartThreading) &&
      (client.ClientKind == 2 || (client.IsStateless() && (client.ClientFlags & cfKeepOpen))))
    thread->CloseWhenDone = true;
  return thread;
}

TComponent* TVornServerSocket::SessionFor(TUserRecord& client, const std::string& dataBaseStr,
                                          const std::shared_ptr<TVornThread>& thread) {
  TComponent* session = nullptr;
  const auto pool = Pool();
  switch (ThreadingModel) {
    case tmPooledSessions:
      if (pool) session = pool->CheckOut(client, thread);
      break;
    case tmPersistentSessions:
      if (pool) session = pool->SessionOf(client.Connection.get());
      if (!session && ThreadedDBSupplySession) {
        try {
          ThreadedDBSupplySession(client.Connection.get(), dataBaseStr, session);
          if (session) {
            EnsurePool()->BindSession(client.Connection.get(), session);
          }
        } catch (const std::exception& e) {  // no entry is added and none is returned; the reason is logged
          session = nullptr;
          LogMessage(client.Connection.get(), e.what());
        }
      }
      break;
    case tmSmartThreading:
      session = client.PersistentSession;
      if (!session && pool) session = pool->CheckOut(client, thread);
      break;
    case tmSingleSession:
      session = DataModules.empty() ? nullptr : DataModules.front();
      break;
  }
  if (thread) {
    thread->Session = session;
    if (const auto p = Pool(); session && p && EffectiveMode(&client) == 2) p->SetThread(session, thread);
    if (OnCheckOutSession) OnCheckOutSession(thread.get(), client.Connection.get(), session);
  }
  return session;
}

void TVornServerSocket::StartWorker(const std::shared_ptr<TVornThread>& thread, bool utility) {
  if (utility || thread->Session) {
    threads_.Run([this, thread] { RunThreadBody(thread); });
    return;
  }
  if (const auto pool = Pool()) pool->QueueThread(thread);
  else RunThreadBody(thread);  // no pool to wait for: the work reports its own missing session
}

void TVornServerSocket::StartQueuedThread(const std::shared_ptr<TVornThread>& thread) {
  TComponent* query = nullptr;
  try {
    if (ThreadedDBSupplyQuery && thread->SupplyQuery)
      ThreadedDBSupplyQuery(thread.get(), thread->Client->Connection.get(), thread->Action, "", true, query, 0);
  } catch (const std::exception& e) {
    LogMessage(thread->Client->Connection.get(), e.what());
  }
  thread->DataSet = query;
  threads_.Run([this, thread] { RunThreadBody(thread); });
}

std::shared_ptr<TVornThread> TVornServerSocket::RunDatabaseWork(TClientConnection* connection, TThreadDbAction action,
                                                                const TVornParamList& params, TThreadWork work,
                                                                const std::string& dataBaseStr,
                                                                TVornSelectSQLOptionSet options, bool supplyQuery) {
  if (ThreadingModel == tmSingleSession) throw EDatabaseError("Server not running Database threaded");
  TUserRecord* client = FindClient(connection);
  if (!client) return nullptr;
  auto thread = NewWorkerThread(*client);
  thread->Action = action;
  thread->Slots.AddValue(Variant(params.SaveToString()));
  thread->Work = std::move(work);
  TComponent* session = SessionFor(*client, dataBaseStr, thread);
  thread->SupplyQuery = supplyQuery;
  const auto pool = Pool();
  if (session && pool && EffectiveMode(client) == 2) thread->Turn = pool->TurnstileOf(connection);
  if (thread->Turn) {
    // Earlier work may still run on the session: the query is asked for when this work's turn comes.
    thread->SupplyOnStart = supplyQuery;
    thread->SupplyDataBaseStr = dataBaseStr;
    thread->SupplyOptions = options;
    thread->Ticket = thread->Turn->Take();
  } else if (session && supplyQuery && ThreadedDBSupplyQuery) {
    TComponent* query = nullptr;
    ThreadedDBSupplyQuery(thread.get(), connection, action, dataBaseStr, true, query, options);
    thread->DataSet = query;
  }
  StartWorker(thread, false);
  return thread;
}

void TVornServerSocket::ReleaseThreadSession(TVornThread& thread) {
  const auto pool = Pool();
  if (!thread.Session || !pool) return;
  TComponent* session = thread.Session;
  thread.Session = nullptr;
  pool->CheckIn(session, thread.Client->Connection.get());
}

void TVornServerSocket::RunThreadBody(const std::shared_ptr<TVornThread>& thread) {
  TClientConnection* conn = thread->Client->Connection.get();
  if (thread->Turn) thread->Turn->Wait(thread->Ticket);
  if (thread->SupplyOnStart && ThreadedDBSupplyQuery && IsConnectionValid(conn) && !thread->Terminated) {
    try {
      TComponent* query = nullptr;
      ThreadedDBSupplyQuery(thread.get(), conn, thread->Action, thread->SupplyDataBaseStr, true, query,
                            thread->SupplyOptions);
      thread->DataSet = query;
    } catch (const std::exception& e) {
      LogMessage(conn, e.what());
    }
  }
  if (IsConnectionValid(conn) && !thread->Terminated) {
    thread->StartTime = Now();
    try {
      if (thread->Work) thread->Work(*this, *thread, thread->Session, thread->DataSet);
    } catch (const std::exception& e) {
      thread->ErrorText = e.what();
      SendErrorMessage(conn, thread->ErrorText);
    }
    thread->EndTime = Now();
  }
  try {
    if (thread->OnEnd) thread->OnEnd(*this, *thread, thread->Session, thread->DataSet);
  } catch (const std::exception& e) {
    thread->ErrorText = e.what();
  }
  thread->Ended = true;
  if (EffectiveMode(thread->Client.get()) == 1) {
    ReleaseThreadSession(*thread);
  } else if (const auto pool = Pool(); pool && thread->Session) {
    pool->ClearThread(thread->Session, thread.get());
    if (thread->ReleasePersistent) pool->ReleaseConnection(conn, true);  // its client left meanwhile
  }
  if (thread->Turn) thread->Turn->Done();
  if (thread->CloseWhenDone) DisconnectClient(conn);
}

}  // namespace qzt
