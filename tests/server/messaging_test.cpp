// Coded messages, coded parameter lists, instant messages, user information and the switchboard.
#include <atomic>

#include "server_fixture.h"

namespace qzt {
namespace {

using test::ServerFixture;
using test::WaitFor;

TEST_F(ServerFixture, CodedParameterLists) {
  std::atomic<int> plain{0};
  server.OnCodedParamList = [&](TVornServerSocket&, TClientConnection&, int32_t id, TVornParamList& p) {
    ++plain;
    p.PutValue("Seen", Variant(id));
  };
  auto c = Connect();
  TVornParamList in;
  in.PutValue("A", Variant(int32_t{1}));
  c->SendCodedParamList(7, in, false);  // no answer wanted: the event only
  ASSERT_TRUE(WaitFor([&] { return plain == 1; }));
  TVornStringLine reply;
  EXPECT_FALSE(c->Receive(reply, 200));

  c->SendCodedParamList(8, in, true);  // answered with the list as the handler left it
  TVornParamList answer = c->ReceiveCodedParamList(8);
  EXPECT_EQ(answer.RequireParam("Seen").AsInteger(), 8);

  server.OnOutCodedParamList = [](TVornServerSocket&, TClientConnection&, int32_t, TVornParamList& in,
                                  TVornParamList& out) { out.PutValue("Echo", in.ValueOf("A")); };
  c->SendCodedParamList(9, in, true);
  answer = c->ReceiveCodedParamList(9);
  EXPECT_EQ(answer.Count(), 1);
  EXPECT_EQ(answer.RequireParam("Echo").AsInteger(), 1);
  EXPECT_EQ(plain, 2);  // the out-event took the request: the plain one did not run

  server.ThreadedCodedParamList = true;
  server.OnOutCodedParamList = nullptr;
  server.OnCodedParamList = [](TVornServerSocket&, TClientConnection&, int32_t, TVornParamList&) {
    throw Exception("handler failed");
  };
  c->SendCodedParamList(10, in, true);
  answer = c->ReceiveCodedParamList(10);
  EXPECT_EQ(answer.RequireParam("Error").AsString(), "handler failed");
}

TEST_F(ServerFixture, CodedTextAndStreams) {
  std::string text, stream;
  server.OnCodedMessage = [&](TVornServerSocket&, TClientConnection&, int32_t id, const std::string& m) {
    text = std::to_string(id) + ":" + m;
  };
  server.OnCodedStream = [&](TVornServerSocket&, TClientConnection&, int32_t id, const std::string& s) {
    stream = std::to_string(id) + ":" + s;
  };
  auto c = Connect();
  TVornStringLine l = ServerFixture::Line(UserCoded, 1);
  l.AddField(3);
  l.AddField("note");
  c->Send(l);
  TVornStringLine s = ServerFixture::Line(UserCodedStream, 2);
  s.AddField(4);
  s.AddField(std::string("\0\1", 2), 3);
  c->Send(s);
  EXPECT_TRUE(WaitFor([&] { return stream.size() == 4; }));
  EXPECT_EQ(text, "3:note");
  EXPECT_EQ(stream, std::string("4:\0\1", 4));
}

TEST_F(ServerFixture, InstantMessagesAndUserInformation) {
  auto anna = Connect();
  auto bob = Connect();
  anna->Login("anna", "", "POS");
  bob->Login("bob", "", "POS");
  ASSERT_TRUE(WaitFor([&] { return server.Users().FindByUserName("bob") != nullptr; }));
  server.Users().FindByUserName("bob")->ParamList.PutValue("~ImInfo", Variant([] {
    TVornParamList info;
    info.PutValue("Desk", Variant("front"));
    return info.SaveToString();
  }()));

  TVornParamList msg;
  msg.PutValue("UserName", Variant("BOB"));
  msg.PutValue("Msgid", Variant(int32_t{77}));
  msg.PutValue("Text", Variant("lunch?"));
  anna->SendCodedParamList(cmInstantMessage, msg, false);
  TVornParamList got = bob->ReceiveCodedParamList(cmDeliveredMessage);
  EXPECT_EQ(got.RequireParam("Text").AsString(), "lunch?");
  EXPECT_EQ(got.RequireParam("Msgid").AsInteger(), 77);
  EXPECT_EQ(got.LookupParam("UserName"), nullptr);

  msg.PutValue("UserName", Variant("nobody"));
  anna->SendCodedParamList(cmInstantMessage, msg, false);
  TVornStringLine reply;
  anna->Expect(reply, AsyncException);
  EXPECT_EQ(TVornParamList(reply.ReadString(), 0).Items(0).AsString(),
            "nobody was unable to be located to receive a message. ");
  EXPECT_EQ(reply.ReadInteger(), cmUndeliverable);

  TVornParamList ask;
  ask.PutValue("UserName", Variant("bob"));
  anna->SendCodedParamList(cmUserInfo, ask, false);
  EXPECT_EQ(anna->ReceiveCodedParamList(cmUserInfo).RequireParam("Desk").AsString(), "front");
  ask.PutValue("UserName", Variant("carl"));
  anna->SendCodedParamList(cmUserInfo, ask, false);
  anna->Expect(reply, AsyncException);
  EXPECT_EQ(TVornParamList(reply.ReadString(), 0).Items(0).AsString(), "User Information for carl not found");
}

TEST_F(ServerFixture, SwitchBoardIsToldAndRelays) {
  auto board = Connect();
  board->Login("board", "", "SB");
  TVornStringLine l = ServerFixture::Line(QuickUtilityInfo, 1);
  l.AddField(12);
  l.AddField("");
  board->Send(l);
  TVornParamList everyone = board->ReceiveCodedParamList(5);
  EXPECT_NE(everyone.LookupParam("board"), nullptr);

  auto anna = Connect();
  TVornParamList connect = board->ReceiveCodedParamList(1000 + TuConnect);
  anna->Login("anna", "", "POS");
  TVornParamList login = board->ReceiveCodedParamList(1000 + tuLogin);
  EXPECT_EQ(login.RequireParam("~SBUserName").AsString(), "anna");

  TVornParamList msg;
  msg.PutValue("Text", Variant("to the board"));
  anna->SendCodedParamList(cmSwitchBoardMessage, msg, false);
  TVornParamList atBoard = board->ReceiveCodedParamList(1);
  EXPECT_EQ(atBoard.RequireParam("Text").AsString(), "to the board");
  EXPECT_EQ(atBoard.RequireParam("~SBSocket").AsLargeInt(), login.RequireParam("~SBSocket").AsLargeInt());

  TVornParamList relay;
  relay.PutValue("~SBUserName", Variant("anna"));
  relay.PutValue("~SBMsgid", Variant(int32_t{42}));
  relay.PutValue("Text", Variant("back to anna"));
  board->SendCodedParamList(cmSwitchBoardRelay, relay, false);
  EXPECT_EQ(anna->ReceiveCodedParamList(42).RequireParam("Text").AsString(), "back to anna");
}

TEST_F(ServerFixture, UserListBroadcastOnLogin) {
  server.InstantMessaging = imBroadcastUserList;
  auto anna = Connect();
  const LoginResult first = anna->Login("anna", "", "POS");
  EXPECT_TRUE(first.Verified);
  auto bob = Connect();
  bob->Login("bob", "", "POS");
  TVornParamList list = anna->ReceiveCodedParamList(cmUserList);
  const std::string stream = list.RequireParam("~UserList").AsString();
  EXPECT_NE(stream.find("bob"), std::string::npos);
  EXPECT_NE(stream.find("TVornDBList"), std::string::npos);
}

}  // namespace
}  // namespace qzt
