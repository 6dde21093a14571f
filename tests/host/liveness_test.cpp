#include "host/liveness_listener.h"

#include <gtest/gtest.h>

#include <thread>

#include "client/client.h"
#include "server/server_socket.h"

namespace qzt {
namespace {

TEST(LivenessListener, AcceptsAndNeverAnswers) {
  TVornServerSocket server;
  server.Port = 0;
  server.BindAddress = "127.0.0.1";
  server.SetActive(true);
  TLivenessListener liveness(server.IoContext());
  liveness.Open(0, "127.0.0.1");
  QztClient c;
  c.Connect("127.0.0.1", liveness.BoundPort());
  TVornStringLine line;
  EXPECT_FALSE(c.Receive(line, 200));  // nothing is written
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(liveness.Held(), 1u);
  c.Close();  // a peer that leaves is let go
  for (int i = 0; i < 200 && liveness.Held() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(liveness.Held(), 0u);
  liveness.Close();
}

}  // namespace
}  // namespace qzt
