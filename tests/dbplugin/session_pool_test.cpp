// The session pool and database worker threads with real sessions and real client connections.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "client/client.h"
#include "dbplugin/demo_folder.h"
#include "dbplugin/fibplus_plugin.h"
#include "platform/text_encoding.h"
#include "server/session_list.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

// Holds worker threads inside their work until released.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  std::atomic<int> inside{0};
  void Pass() {
    ++inside;
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return open; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(m);
    open = true;
    cv.notify_all();
  }
};

class SessionPool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = MakeDemoFolder("qzt-pool");
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }
  void SetUp() override {
    server.Port = 0;
    server.BindAddress = "127.0.0.1";
    server.ThreadingModel = tmPooledSessions;
    server.DataBaseSessions = 10;
    server.OnShowServerMessage = [this](TVornServerSocket&, const std::string& l) {
      std::lock_guard<std::mutex> lock(logLock);
      log.push_back(l);
    };
    server.SetActive(true);
    if (FirebirdPlugin()) FirebirdPlugin()->DatabaseConnectionString.clear();
    ASSERT_TRUE(AttachFirebirdPlugin(server, dir.string()));
  }
  void TearDown() override {
    gate.Open();
    server.Threads().WaitIdle();
    DetachFirebirdPlugin(server);
  }
  std::unique_ptr<QztClient> Client() {
    auto c = std::make_unique<QztClient>();
    c->Connect("127.0.0.1", server.BoundPort());
    return c;
  }
  // Database work for the client's connection, run from the I/O thread as a handler would.
  std::shared_ptr<TVornThread> Work(TClientConnection* conn, TThreadWork work) {
    std::shared_ptr<TVornThread> t;
    server.RunOnIoThread([&] { t = server.RunDatabaseWork(conn, ttSelect, TVornParamList(), std::move(work)); });
    return t;
  }
  TClientConnection* NthConnection(int n) {
    EXPECT_TRUE(WaitFor([&] { return server.Users().Count() > n; }));
    return server.Users().Items(n)->Connection.get();
  }
  bool Logged(const std::string& text) {
    std::lock_guard<std::mutex> lock(logLock);
    for (const auto& l : log)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  static fs::path dir;
  std::mutex logLock;
  std::vector<std::string> log;
  Gate gate;
  TVornServerSocket server;
};
fs::path SessionPool::dir;

TEST_F(SessionPool, ElevenRequestsOnTenSessionsGrowThePool) {
  std::vector<std::unique_ptr<QztClient>> clients;
  for (int i = 0; i < 11; ++i) clients.push_back(Client());
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() == 11; }));
  std::atomic<int> answered{0};
  for (int i = 0; i < 11; ++i)
    Work(NthConnection(i), [&](TVornServerSocket&, TVornThread& t, TComponent* session, TComponent* query) {
      ASSERT_NE(session, nullptr);
      auto& ds = dynamic_cast<TpFIBDataSet&>(*query);
      ds.SetSelectSQL("select count(*) from items");
      ds.Open();
      if (ds.Fields(0).AsInteger() == 210) ++answered;
      (void)t;
      gate.Pass();
    });
  EXPECT_TRUE(WaitFor([&] { return gate.inside == 11; }));
  EXPECT_EQ(server.SessionPoolSize(), 11);  // an 11th session, which stays in the pool
  EXPECT_EQ(server.SessionPool()->InUseCount(), 11);
  gate.Open();
  EXPECT_TRUE(WaitFor([&] { return server.SessionPool()->InUseCount() == 0; }));
  EXPECT_EQ(answered, 11);
  EXPECT_EQ(server.SessionPoolSize(), 11);
  EXPECT_TRUE(Logged("launched for dataset id"));
  EXPECT_TRUE(Logged("ended for dataset id"));
}

TEST_F(SessionPool, SessionReturnsWhenTheThreadOfALeavingClientEnds) {
  auto c = Client();
  TClientConnection* conn = NthConnection(0);
  Work(conn, [&](TVornServerSocket&, TVornThread&, TComponent*, TComponent*) { gate.Pass(); });
  ASSERT_TRUE(WaitFor([&] { return gate.inside == 1; }));
  c.reset();  // the client leaves while its request runs
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() == 0; }));
  EXPECT_EQ(server.SessionPool()->InUseCount(), 1);  // not before the thread ends
  gate.Open();
  EXPECT_TRUE(WaitFor([&] { return server.SessionPool()->InUseCount() == 0; }));
}

TEST_F(SessionPool, WorkErrorsReachTheClientAndSuppressionHidesThreadLines) {
  server.LogSuppression = 2;
  auto c = Client();
  Work(NthConnection(0), [](TVornServerSocket&, TVornThread&, TComponent*, TComponent*) {
    throw EDatabaseError("work failed");
  });
  TVornStringLine reply;
  c->Expect(reply, SQLError);
  EXPECT_EQ(reply.ReadString(), "work failed");
  EXPECT_TRUE(WaitFor([&] { return server.SessionPool()->InUseCount() == 0; }));
  EXPECT_FALSE(Logged("launched for dataset id"));
}

TEST_F(SessionPool, SmartThreadingUsesAPersistentSession) {
  DetachFirebirdPlugin(server);
  server.ThreadingModel = tmSmartThreading;
  FirebirdPlugin()->DatabaseConnectionString.clear();
  ASSERT_TRUE(AttachFirebirdPlugin(server, dir.string()));
  server.OnAssignPersistentSession = [this](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                            TComponent*& session, bool& verified) {
    server.ThreadedDBSupplySession(nullptr, "", session);
    verified = session != nullptr;
  };
  auto owner = Client();
  auto other = Client();
  TVornStringLine ask;
  ask.SetToken(QuickUtilityInfo);
  ask.AddField(18);
  ask.AddField("");
  owner->Send(ask);
  TVornStringLine reply;
  owner->Expect(reply, QuickUtilityInfo);
  TUserRecord* ownerRecord = server.Users().Items(0);
  ASSERT_TRUE(ownerRecord->HasPersistentSession());
  auto t1 = Work(ownerRecord->Connection.get(), [&](TVornServerSocket&, TVornThread&, TComponent*, TComponent*) {});
  auto t2 = Work(NthConnection(1), [&](TVornServerSocket&, TVornThread&, TComponent*, TComponent*) {});
  server.Threads().WaitIdle();
  EXPECT_TRUE(t1->Ended && t2->Ended);
  EXPECT_EQ(server.SessionPool()->InUseCount(), 1);  // only the persistent one stays bound
  owner.reset();
  EXPECT_TRUE(WaitFor([&] { return server.SessionPool()->InUseCount() == 0; }));
}

TEST(SessionPoolCreation, Errors) {
  TVornServerSocket s;
  s.ThreadingModel = tmPooledSessions;
  auto message = [&] {
    try {
      s.CreateSessionPool();
    } catch (const Exception& e) {
      return Cp949ToUtf8(e.Message);
    }
    return std::string("created");
  };
  EXPECT_EQ(message(), "데이터베이스의 세션 수는 0보다 커야 합니다!");
  s.DataBaseSessions = 2;
  EXPECT_EQ(message(), "세션이 만들어지지 않았습니다!");
  s.ThreadedDBSupplySession = [](TClientConnection*, const std::string&, TComponent*& c) { c = new TComponent; };
  EXPECT_EQ(message(), "No ThreadedDBSupplyQuery Event assigned!");
  s.ThreadedDBSupplyQuery = [](TVornThread*, TClientConnection*, TThreadDbAction, const std::string&, bool,
                               TComponent*&, TVornSelectSQLOptionSet) {};
  EXPECT_EQ(message(), "created");
  EXPECT_EQ(s.SessionPoolSize(), 2);
  EXPECT_EQ(s.SessionPool()->InUseCount(), 0);
  s.ThreadingModel = tmSingleSession;
  EXPECT_EQ(message(), "created");
  EXPECT_EQ(s.SessionPool(), nullptr);
  EXPECT_EQ(s.EffectiveMode(nullptr), 0);
  EXPECT_THROW(s.RunDatabaseWork(nullptr, ttSelect, TVornParamList(), {}), EDatabaseError);
}

}  // namespace
}  // namespace qzt
