// Server throughput and footprint, each beside a baseline from the same run:
// - coded parameter-list round trips through the server (OnOutCodedParamList echo) beside a raw
//   loopback ping-pong of frames of the same size;
// - memory of the process per idle connection, with 1,000 connections open.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <thread>

#include "client/client.h"
#include "platform/byte_cursor.h"
#include "server/server_socket.h"

namespace {

using namespace qzt;

TVornServerSocket& Server() {
  static TVornServerSocket* server = [] {
    auto* s = new TVornServerSocket;
    s->Port = 0;
    s->BindAddress = "127.0.0.1";
    s->OnOutCodedParamList = [](TVornServerSocket&, TClientConnection&, int32_t, TVornParamList& in,
                                TVornParamList& out) { in.CopyTo(out, true); };
    s->SetActive(true);
    return s;
  }();
  return *server;
}

TVornParamList& Payload(size_t bytes) {
  static std::map<size_t, std::unique_ptr<TVornParamList>> lists;
  auto& l = lists[bytes];
  if (!l) {
    l = std::make_unique<TVornParamList>();
    l->AddTyped("Data", ftBlob, Variant(std::string(bytes, 'p')));
  }
  return *l;
}

void BM_CodedParamListEcho(benchmark::State& state) {
  QztClient c;
  c.Connect("127.0.0.1", Server().BoundPort());
  const TVornParamList& list = Payload(state.range(0));
  for (auto _ : state) {
    c.SendCodedParamList(1, list, true);
    benchmark::DoNotOptimize(c.ReceiveCodedParamList(1).Count());
  }
  state.SetItemsProcessed(state.iterations());
}

// The baseline: a thread that reads frames and writes them back, with the client doing the same framing.
void BM_RawLoopbackPingPong(benchmark::State& state) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listener, 1);
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  auto readAll = [](int fd, char* p, size_t n) {
    while (n) {
      const ssize_t r = ::recv(fd, p, n, 0);
      if (r <= 0) return false;
      p += r;
      n -= static_cast<size_t>(r);
    }
    return true;
  };
  std::thread echo([&] {
    const int fd = ::accept(listener, nullptr, nullptr);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string buf;
    int32_t n;
    while (readAll(fd, reinterpret_cast<char*>(&n), 4)) {
      buf.resize(n);
      if (!readAll(fd, buf.data(), n)) break;
      ::send(fd, &n, 4, MSG_MORE);
      ::send(fd, buf.data(), n, 0);
    }
    ::close(fd);
  });
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // The same bytes a coded list of this size takes on the wire.
  std::string frame;
  {
    TVornStringLine line;
    line.SetToken(UserCodedParamList);
    line.AddField(1);
    line.AddField(Payload(state.range(0)).SaveToString());
    line.AddField(1);
    const std::string payload = line.FinishLine();
    PutInt32(frame, static_cast<int32_t>(payload.size()));
    frame += payload;
  }
  std::string back(frame.size(), '\0');
  for (auto _ : state) {
    ::send(fd, frame.data(), frame.size(), 0);
    readAll(fd, back.data(), back.size());
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
  echo.join();
  ::close(listener);
  state.SetItemsProcessed(state.iterations());
}

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

void BM_IdleConnections(benchmark::State& state) {
  TVornServerSocket& server = Server();
  for (auto _ : state) {
    state.PauseTiming();
    const size_t before = ResidentBytes();
    std::vector<std::unique_ptr<QztClient>> clients;
    for (int i = 0; i < state.range(0); ++i) {
      clients.push_back(std::make_unique<QztClient>());
      clients.back()->Connect("127.0.0.1", server.BoundPort());
    }
    while (server.Users().Count() < state.range(0)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const size_t after = ResidentBytes();
    state.counters["bytes_per_connection"] = static_cast<double>(after - before) / state.range(0);
    clients.clear();
    while (server.Users().Count() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    state.ResumeTiming();
  }
}

BENCHMARK(BM_CodedParamListEcho)->Arg(100)->Arg(10000)->UseRealTime();
BENCHMARK(BM_RawLoopbackPingPong)->Arg(100)->Arg(10000)->UseRealTime();
BENCHMARK(BM_IdleConnections)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
