// A server on an ephemeral loopback port and clients of it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/client.h"
#include "server/server_socket.h"

namespace qzt::test {

// Waits until `done` holds, at most `ms`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Port = 0;
    server.BindAddress = "127.0.0.1";
    server.OnShowServerMessage = [this](TVornServerSocket&, const std::string& line) {
      std::lock_guard<std::mutex> lock(logLock);
      log.push_back(line);
    };
  }
  void Start() {
    server.SetActive(true);
    port = server.BoundPort();
  }
  std::unique_ptr<QztClient> Connect(QztClientOptions options = {}) {
    if (!server.Active()) Start();
    auto c = std::make_unique<QztClient>(options);
    c->Connect("127.0.0.1", port);
    return c;
  }
  bool Logged(const std::string& text) {
    std::lock_guard<std::mutex> lock(logLock);
    for (const auto& l : log)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  // A line with fields as given: integers as type 6, strings as type 0.
  static TVornStringLine Line(uint8_t token, int32_t requestId) {
    TVornStringLine l;
    l.SetToken(token);
    l.SetRequestId(requestId);
    return l;
  }

  // The log outlives the server: the server's threads write to it until the server is gone.
  std::mutex logLock;
  std::vector<std::string> log;
  TVornServerSocket server;
  uint16_t port = 0;
};

}  // namespace qzt::test
