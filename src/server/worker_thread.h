// Worker threads: the thread cache they run on, and TVornThread, the unit of work with its own copy of
// the client record, its parameter slots, session and dataset.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codec/param_list.h"
#include "platform/component.h"
#include "platform/connection.h"
#include "platform/date_time.h"

namespace qzt {

class TVornServerSocket;
class TUserRecord;

// Threads that run tasks: an idle thread is reused, a new one starts when all are busy, and at most
// MaxIdle idle threads are kept. Every thread is joined, so none is still ending when the cache is gone:
// a thread that leaves on its own is joined by the next Run, the rest by the destructor, which waits
// for running tasks.
class TThreadCache {
 public:
  explicit TThreadCache(int maxIdle = 10) : maxIdle_(maxIdle) {}
  ~TThreadCache();
  void Run(std::function<void()> task);
  void SetMaxIdle(int n);
  int ThreadCount() const;
  int IdleCount() const;
  void WaitIdle();  // until no task runs or waits

 private:
  void Loop();
  void JoinLeft(std::unique_lock<std::mutex>& lock);
  mutable std::mutex lock_;
  std::condition_variable wake_, done_;
  std::deque<std::function<void()>> tasks_;
  std::map<std::thread::id, std::thread> handles_;
  std::vector<std::thread::id> left_;  // threads whose loop has ended, not joined yet
  int maxIdle_;
  int threads_ = 0;
  int idle_ = 0;
  int busy_ = 0;
  bool stopping_ = false;
};

// Lets the work asked of one persistent session run one piece at a time, in the order it was asked for:
// a ticket is taken when the work is handed out, and the work waits for its turn before it begins.
class TTurnstile {
 public:
  uint64_t Take() {
    std::lock_guard<std::mutex> lock(lock_);
    return next_++;
  }
  void Wait(uint64_t ticket) {
    std::unique_lock<std::mutex> lock(lock_);
    turn_.wait(lock, [&] { return serving_ == ticket; });
  }
  void Done() {
    std::lock_guard<std::mutex> lock(lock_);
    ++serving_;
    turn_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable turn_;
  uint64_t next_ = 0, serving_ = 0;
};

enum TThreadDbAction : uint8_t {
  ttSelect, ttExec, ttStoredProc, ttMetaData, ttBlobFetch, ttTransaction, ttTransactionStart, ttCustom,
  ttDataModule, ttServerMethod, ttNonDataBase, ttDataBase, ttStoredProcExec,
};

class TVornThread;
using TThreadWork = std::function<void(TVornServerSocket&, TVornThread&, TComponent* session, TComponent* dataset)>;
using TUtilityCallback =
    std::function<void(TVornThread&, TVornServerSocket&, TVornParamList& params, TClientConnection* connection)>;

class TVornThread {
 public:
  // Makes the thread's own copy of the client record (raising tuThreadCreate).
  TVornThread(TVornServerSocket& server, const TUserRecord& client);
  ~TVornThread();

  TVornServerSocket& Server;
  std::unique_ptr<TUserRecord> Client;
  TVornParamList Slots;  // the request's values, unnamed, in the handler's order
  TComponent* Session = nullptr;
  TComponent* DataSet = nullptr;
  bool OwnsDataSet = false;
  TThreadDbAction Action = ttNonDataBase;
  TThreadWork Work;
  TThreadWork OnEnd;
  TUtilityCallback Utility;
  bool IsUtility = false;
  TDateTime StartTime = 0, EndTime = 0;
  std::string ErrorText;
  int64_t Id;
  int32_t RequestId = 0;
  std::atomic<bool> Terminated{false};  // asked to stop: the work is skipped if it has not begun
  std::atomic<bool> Ended{false};       // the body has finished
  bool ReleasePersistent = false;       // its session was released with the persistent flag meanwhile
  bool CloseWhenDone = false;           // the client's connection closes when the thread ends
  bool SupplyQuery = true;              // a session handed to it later comes with a query
  // Work on a persistent session: its turn, and the query asked for once the turn has come.
  std::shared_ptr<TTurnstile> Turn;
  uint64_t Ticket = 0;
  bool SupplyOnStart = false;
  std::string SupplyDataBaseStr;
  uint32_t SupplyOptions = 0;

 private:
  static std::atomic<int64_t> nextId_;
};

}  // namespace qzt
