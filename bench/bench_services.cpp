// The data services end to end: QZTServer runs in a process of its own on a Firebird server on loopback;
// clients in this process read through it. Beside each figure, the same query run directly through the
// Firebird API on the same database in the same run:
// - one-row selects with 1 and with 50 clients at once (the direct phase: 1 and 50 attachments);
// - a 100,000-row select (the direct phase fetches every row);
// - the server process's memory with 50 clients connected (counter server_rss_kb).
// The server runs as shipped (pooled sessions, where each select reconnects its session) and, for the
// cost of the server's own work, with one session on its I/O thread (/single).
#include <benchmark/benchmark.h>
#include <firebird/Interface.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "client/client.h"
#include "dbplugin/demo_database.h"
#include "dbplugin/fb_access.h"
#include "dbplugin/firebird_server.h"
#include "direct_queries.h"
#include "platform/environment.h"

namespace {

using namespace qzt;
namespace fs = std::filesystem;

constexpr const char* kOneRowNamed = "select item_id, code, name, price, stock, created from items where item_id = :ID";

// The demo database with a 100,000-row table, made through the embedded engine, then served by a
// Firebird server of its own; QZTServer is started on it with 10 pooled sessions.
struct Setup {
  fs::path dir;
  std::unique_ptr<LocalFirebirdServer> firebird;
  std::string database;  // "127.0.0.1/port:path"
  struct Process {
    pid_t pid = -1;
    uint16_t port = 0;
  } pooled, single;

  Setup() {
    dir = fs::temp_directory_path() / ("qzt-bench-services-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "bench.fdb").string();
    bench::CreateBenchDatabase(path);
    firebird = std::make_unique<LocalFirebirdServer>(dir / "firebird");
    database = firebird->Host() + ":" + path;
    pooled = StartServer(path, "pooled");
    single = StartServer(path, "single");
  }

  Process StartServer(const std::string& path, const char* threading) {
    const fs::path home = dir / threading;
    fs::create_directories(home);
    Process p;
    const uint16_t port = p.port = static_cast<uint16_t>(LocalFirebirdServer::FreePort());
    std::ofstream(home / "Environment.ini") << "[SYSTEM]\nDBDSPort=" << Scramble("0") << "," << Scramble(std::to_string(port))
                                            << "\nDBSession=10\nDBSvrIP=" << firebird->Host() << "\nDBPathDB=" << path
                                            << "\nDBSvrID=" << Scramble("SYSDBA") << "\nDBSvrPW=" << Scramble("masterkey")
                                            << "\n";
    const std::string env = "QZT_HOME=" + home.string();
    char* argv[] = {const_cast<char*>(QZT_SERVER), const_cast<char*>("--threading"), const_cast<char*>(threading),
                    nullptr};
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(const_cast<char*>(env.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, (home / "server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&p.pid, QZT_SERVER, &files, nullptr, argv, envp.data()) != 0)
      throw std::runtime_error("cannot start QZTServer");
    posix_spawn_file_actions_destroy(&files);
    for (int i = 0; i < 300; ++i) {  // until it answers a select
      try {
        QztClient c;
        c.Connect("127.0.0.1", port, 200);
        return p;
      } catch (const std::exception&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    throw std::runtime_error("QZTServer did not start");
  }

  ~Setup() {
    for (const Process& p : {pooled, single}) {
      if (p.pid <= 0) continue;
      ::kill(p.pid, SIGTERM);
      ::waitpid(p.pid, nullptr, 0);
    }
    firebird.reset();
    fs::remove_all(dir);
  }

  int64_t ServerRssKb() const {
    std::ifstream status("/proc/" + std::to_string(pooled.pid) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
    return 0;
  }
};

Setup& Bench() {
  static Setup* setup = new Setup;  // ended by the exit handler below
  static const bool registered = (std::atexit([] { delete setup; }), true);
  (void)registered;
  return *setup;
}

// ---- directly through the Firebird API ----

void BM_OneRow_Direct(benchmark::State& state) { bench::OneRowDirect(state, Bench().database); }
void BM_100kRows_Direct(benchmark::State& state) { bench::AllRowsDirect(state, Bench().database); }

// ---- through QZTServer ----

// A select through the server: its field definitions and rows; the row text's size.
size_t Select(QztClient& c, const std::string& sql, const TVornParamList* params) {
  c.SendFields(SQLSelect2, {sql, -1, 0, params ? "\x05" + params->SaveToString() : std::string()});
  TVornStringLine reply;
  c.Expect(reply, FieldDefs, 60000);
  c.Expect(reply, SQLResultSet, 60000);
  reply.ReadInteger();
  return reply.ReadString().size();
}

uint16_t Port(bool single) { return single ? Bench().single.port : Bench().pooled.port; }

void BM_OneRow_Server(benchmark::State& state, bool single) {
  QztClient c;
  c.Connect("127.0.0.1", Port(single));
  TVornParamList params;
  params.AddTyped("ID", ftInteger, Variant(int32_t{1}));
  int id = state.thread_index();
  for (auto _ : state) {
    params.Items(0).SetAsInteger(1 + id++ % 200);
    benchmark::DoNotOptimize(Select(c, kOneRowNamed, &params));
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0 && state.threads() > 1 && !single) state.counters["server_rss_kb"] = Bench().ServerRssKb();
}

void BM_100kRows_Server(benchmark::State& state, bool single) {
  QztClient c;
  c.Connect("127.0.0.1", Port(single));
  size_t bytes = 0;
  for (auto _ : state) bytes += Select(c, "select * from big", nullptr);
  state.SetItemsProcessed(state.iterations() * 100000);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_IdleServer(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Port(false));
  state.counters["server_rss_kb"] = Bench().ServerRssKb();
}

BENCHMARK(BM_IdleServer)->Iterations(1);
BENCHMARK(BM_OneRow_Direct)->UseRealTime();
BENCHMARK_CAPTURE(BM_OneRow_Server, pooled, false)->UseRealTime();
BENCHMARK_CAPTURE(BM_OneRow_Server, single, true)->UseRealTime();
BENCHMARK(BM_OneRow_Direct)->Threads(50)->UseRealTime();
BENCHMARK_CAPTURE(BM_OneRow_Server, pooled, false)->Threads(50)->UseRealTime();
BENCHMARK_CAPTURE(BM_OneRow_Server, single, true)->Threads(50)->UseRealTime();
BENCHMARK(BM_100kRows_Direct)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_100kRows_Server, pooled, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_100kRows_Server, single, true)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
