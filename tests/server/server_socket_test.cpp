// The read path, the send path, transforms and dispatch, through real sockets.
#include "codec/param_list.h"
#include "platform/byte_cursor.h"
#include "server_fixture.h"

namespace qzt {
namespace {

using test::ServerFixture;
using test::WaitFor;

std::string Framed(const std::string& payload) {
  std::string f;
  PutInt32(f, static_cast<int32_t>(payload.size()));
  return f + payload;
}

std::string LoginPayload(int32_t id, const std::string& user) {
  TVornStringLine l;
  l.SetToken(LoginReq);
  l.SetRequestId(id);
  l.AddField(2);
  l.AddField(user);
  l.AddField("pw");
  l.AddField("POS");
  l.AddField("");
  return l.FinishLine();
}

TEST_F(ServerFixture, FramesSplitAcrossReadsAndSeveralInOneRead) {
  auto c = Connect();
  const std::string first = Framed(LoginPayload(11, "anna"));
  c->SendRaw(first.substr(0, 7));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  c->SendRaw(first.substr(7) + Framed(LoginPayload(12, "anna")));
  TVornStringLine reply;
  c->Expect(reply, LoginReq);
  EXPECT_EQ(reply.RequestId(), 11);
  EXPECT_EQ(reply.ReadInteger(), 1);
  c->Expect(reply, LoginReq);
  EXPECT_EQ(reply.RequestId(), 12);
  EXPECT_TRUE(WaitFor([&] { return server.Users().FindByUserName("ANNA") != nullptr; }));
}

TEST_F(ServerFixture, TokensWithoutHandlerGetServerErrorAndAreDisconnected) {
  auto c = Connect();
  TVornStringLine l = Line(SQLSelect, 5);
  c->Send(l);
  TVornStringLine reply;
  c->Expect(reply, AsyncException);
  EXPECT_EQ(reply.RequestId(), 5);
  TVornParamList messages(reply.ReadString(), 0);
  ASSERT_EQ(messages.Count(), 1);
  EXPECT_EQ(messages.Items(0).AsString(), "Server Error");
  EXPECT_EQ(reply.ReadInteger(), 1000);
  EXPECT_TRUE(c->WaitClosed(3000));
  EXPECT_TRUE(WaitFor([&] { return server.Users().Count() == 0; }));
}

TEST_F(ServerFixture, BeforeProcessTokenCanRefuse) {
  server.OnBeforeProcessToken = [](TVornServerSocket&, TUserRecord&, uint8_t token, bool& allow) {
    allow = token != SQLSelect2;
  };
  auto c = Connect();
  TVornStringLine l = Line(SQLSelect2, 9);
  l.AddField("select 1 from rdb$database");
  c->Send(l);
  TVornStringLine reply;
  c->Expect(reply, SQLError);
  EXPECT_EQ(reply.RequestId(), 0);
  EXPECT_EQ(reply.ReadString(), "Command Not Allowed");
  TVornStringLine table = Line(TableResultSet, 10);  // accepted and not answered: the connection stays
  c->Send(table);
  EXPECT_FALSE(c->Receive(reply, 200));
  EXPECT_TRUE(c->Connected());
}

class ClaimingPlugin : public TCustomVornServerSocketPlugin {
 public:
  bool HandleMessage(TUserRecord& client, TVornStringLine& line) override {
    if (line.Token() != LoginReq) return false;
    line.ResetCursor();
    line.SetToken(ChatLine);
    line.AddField("claimed");
    ServerSocket->SendReply(&client);
    return true;
  }
};

TEST_F(ServerFixture, PluginsClaimTokensBeforeTheDispatch) {
  server.AddPlugin(std::make_unique<ClaimingPlugin>());
  auto c = Connect();
  c->SendPayload(LoginPayload(3, "bob"));
  TVornStringLine reply;
  c->Expect(reply, ChatLine);
  EXPECT_EQ(reply.ReadString(), "claimed");
  EXPECT_EQ(server.Users().FindByUserName("bob"), nullptr);  // the login did not run
}

TEST_F(ServerFixture, StreamSendWithoutReceiveHook) {
  auto c = Connect();
  TVornStringLine l = Line(StreamSend, 4);
  for (const char* f : {"a", "b", "c", "blob", "e"}) l.AddField(f);
  c->Send(l);
  TVornStringLine reply;
  c->Expect(reply, StreamSend);
  EXPECT_EQ(reply.ReadString(), "No Server OnBlobReceiveEvent implemented!");
}

TEST_F(ServerFixture, ChatReachesEveryConnection) {
  std::string heard;
  server.OnChatLine = [&](TClientConnection&, const std::string& s) { heard = s; };
  auto a = Connect();
  auto b = Connect();  // never logs in
  a->Login("anna", "", "POS");
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() == 2; }));
  a->SendChat("hello all");
  TVornStringLine reply;
  for (QztClient* c : {a.get(), b.get()}) {
    c->Expect(reply, ChatLine);
    EXPECT_EQ(reply.ReadString(), "hello all");
  }
  EXPECT_EQ(heard, "hello all");

  // With the send-to-all flag on, the next reply reaches every connection; the flag is off afterwards.
  server.SendToAllFlag = true;
  TVornStringLine ask = Line(QuickUtilityInfo, 3);
  ask.AddField(0);
  ask.AddField("");
  a->Send(ask);
  for (QztClient* c : {a.get(), b.get()}) c->Expect(reply, QuickUtilityInfo);
  EXPECT_FALSE(server.SendToAllFlag);
}

TEST_F(ServerFixture, TransformsBothWays) {
  struct Case {
    TVornCompression compression;
    bool des;
  } cases[] = {{acVornZLib, false}, {acNoCompression, true}, {acVornZLib, true}};
  for (const auto& k : cases) {
    server.Compression = k.compression;
    if (k.des) server.SetDESKey("sekrit");
    else server.Encryption = etNoEncryption;
    QztClientOptions o;
    o.Compression = k.compression;
    if (k.des) o.DesKey = "sekrit";
    auto c = Connect(o);
    const LoginResult r = c->Login("tina", "", "POS");
    EXPECT_TRUE(r.Verified) << k.compression << k.des;
    TVornParamList big;
    big.AddTyped("Blob", ftBlob, Variant(std::string(100000, 'z')));
    c->SendCodedParamList(8, big, true);
    EXPECT_EQ(c->ReceiveCodedParamList(8).Items(0).AsString().size(), 100000u);
  }
}

TEST_F(ServerFixture, MarkerFramesAndTheirFlags) {
  server.Compression = acVornZLib;
  auto c = Connect();
  // A marker -2 frame with the compressed and encrypted bits off is dispatched as it is.
  const std::string payload = LoginPayload(21, "mark");
  std::string frame;
  PutInt32(frame, -2);
  PutInt32(frame, static_cast<int32_t>(payload.size()));
  frame += std::string(8, '\0');
  PutInt32(frame, 8);
  frame += "ext!" + payload;
  c->SendRaw(frame);
  ASSERT_TRUE(WaitFor([&] { return server.Users().FindByUserName("mark") != nullptr; }));
  EXPECT_EQ(server.Users().FindByUserName("mark")->ExtensionText, "ext!");
  EXPECT_EQ(server.Users().FindByUserName("mark")->ClientKind, 0);

  // With encryption on, a frame marked as not encrypted is dropped without a reply.
  server.Compression = acNoCompression;
  server.SetDESKey("k");
  c = Connect();
  std::string plain;
  PutInt32(plain, -2);
  const std::string chat = [] {
    TVornStringLine l;
    l.SetToken(ChatLine);
    l.AddField("dropped");
    return l.FinishLine();
  }();
  PutInt32(plain, static_cast<int32_t>(chat.size()));
  plain += std::string(8, '\0');
  PutInt32(plain, 4);
  c->SendRaw(plain + chat);
  TVornStringLine reply;
  EXPECT_FALSE(c->Receive(reply, 300));
}

TEST_F(ServerFixture, UndecryptableFramesCloseTheConnection) {
  server.SetDESKey("right");
  QztClientOptions o;
  o.DesKey = "wrong";
  auto c = Connect(o);
  c->SendRaw(Framed(std::string(13, 'x')));  // not a multiple of 8 after the length
  EXPECT_TRUE(c->WaitClosed(3000));
  EXPECT_TRUE(WaitFor([&] { return Logged("Decryption Failure...client will be disconnected"); }));
}

TEST_F(ServerFixture, LargeRepliesArriveWhole) {
  auto c = Connect();
  TVornParamList big;
  std::string blob(2500000, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  big.AddTyped("Blob", ftBlob, Variant(blob));
  c->SendCodedParamList(9, big, true);
  TVornParamList back = c->ReceiveCodedParamList(9);
  EXPECT_EQ(back.Items(0).AsString(), blob);
}

TEST_F(ServerFixture, TrustedAddressesAndLogSuffix) {
  server.TrustedAddresses = {"10.1.*", "127.0.0.*"};
  auto c = Connect();
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() == 1; }));
  TUserRecord* r = server.Users().Items(0);
  EXPECT_TRUE(server.IsTrustedClient(r));
  server.TrustedAddresses = {"10.1.*", "127.0.0.10"};
  EXPECT_FALSE(server.IsTrustedClient(r));
  server.LogMessage(r->Connection.get(), "Meta Data Request");
  EXPECT_TRUE(Logged("Meta Data Request ->127.0.0.1:" + std::to_string(r->Connection->RemotePort())));
  server.LogCategories = 0;
  server.LogCategory(lcBroadcast, nullptr, "hidden line");
  EXPECT_FALSE(Logged("hidden line"));
}

}  // namespace
}  // namespace qzt
