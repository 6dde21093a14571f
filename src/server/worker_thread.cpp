#include "server/worker_thread.h"

#include <thread>

#include "server/server_socket.h"

namespace qzt {

TThreadCache::~TThreadCache() {
  std::unique_lock<std::mutex> lock(lock_);
  stopping_ = true;
  wake_.notify_all();
  done_.wait(lock, [&] { return threads_ == 0; });
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
  std::lock_guard<std::mutex> lock(lock_);
  tasks_.push_back(std::move(task));
  if (idle_ > static_cast<int>(tasks_.size()) - 1) {
    wake_.notify_one();
    return;
  }
  ++threads_;
  std::thread([this] { Loop(); }).detach();
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
  if (OwnsDataSet) delete DataSet;
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

}  // namespace qzt
