// Hostile input through real sockets: the server stays up, serves the others, and lets go of what the
// hostile clients held.
#include <random>

#include "platform/byte_cursor.h"
#include "server_fixture.h"

namespace qzt {
namespace {

using test::ServerFixture;
using test::WaitFor;

class HostileTest : public ServerFixture {
 protected:
  // A well-behaved client still gets its answers.
  void ExpectServing() {
    auto probe = Connect();
    EXPECT_TRUE(probe->Login("probe", "", "POS").Verified);
  }
};

TEST_F(HostileTest, RandomBytesAndBadLengths) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 20; ++round) {
    auto c = Connect();
    std::string junk(1 + rng() % 4096, '\0');
    for (char& ch : junk) ch = static_cast<char>(rng());
    try {
      c->SendRaw(junk);
    } catch (const EClientError&) {
    }
  }
  for (int32_t length : {-1, -5, MaxFrameLength + 1, INT32_MAX}) {
    auto c = Connect();
    std::string f;
    PutInt32(f, length);
    f += "payload";
    c->SendRaw(f);
    TVornStringLine reply;
    // Not a frame: everything becomes one message, whose token has no handler.
    c->Receive(reply, 1000);
  }
  ExpectServing();
}

TEST_F(HostileTest, PromisedBytesThatNeverCome) {
  auto slow = Connect();
  std::string f;
  PutInt32(f, 50 * 1024 * 1024);
  f += std::string(1000, 'x');
  slow->SendRaw(f);
  ExpectServing();
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() >= 1; }));
  slow.reset();
  EXPECT_TRUE(WaitFor([&] { return server.Users().Count() == 0; }));
}

TEST_F(HostileTest, ThousandsOfConnectsAndDisconnects) {
  Start();
  for (int i = 0; i < 2000; ++i) {
    QztClient c;
    c.Connect("127.0.0.1", port);
  }
  EXPECT_TRUE(WaitFor([&] { return server.Users().Count() == 0 && server.Connections().empty(); }, 10000));
  ExpectServing();
}

TEST_F(HostileTest, ClientThatNeverReadsIsCutOff) {
  server.SendQueueLimit = 4 << 20;
  auto greedy = Connect();
  TVornParamList big;
  big.AddTyped("Blob", ftBlob, Variant(std::string(1 << 20, 'g')));
  // Ask for many answers and read none of them.
  try {
    for (int i = 0; i < 64; ++i) greedy->SendCodedParamList(1, big, true);
  } catch (const EClientError&) {  // the server may close before all requests are out
  }
  EXPECT_TRUE(WaitFor([&] { return Logged("client disconnected"); }, 10000));
  ExpectServing();
}

}  // namespace
}  // namespace qzt
