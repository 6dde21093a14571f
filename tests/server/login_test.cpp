// Login verdicts, the secure-server rule and the design-time rules.
#include "server_fixture.h"

namespace qzt {
namespace {

using test::ServerFixture;
using test::WaitFor;

TEST_F(ServerFixture, LoginWithoutEventsFollowsTheMode) {
  auto c = Connect();
  EXPECT_TRUE(c->Login("anna", "x", "POS", "", 2).Verified);
  EXPECT_FALSE(c->Login("anna", "x", "POS", "", 1).Verified);  // connection stays: no disconnect setting
  const LoginResult r = c->Login("anna", "x", "POS", "", 2);
  EXPECT_TRUE(r.Verified);
  TUserRecord* rec = server.Users().FindByUserName("anna");
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->AppName, "POS");
}

TEST_F(ServerFixture, SecureServerTakesOnlyALoginFirst) {
  server.SecureServer = true;
  auto c = Connect();
  EXPECT_FALSE(c->Login("anna", "x", "POS", "", 2).Verified);  // mode 2 verifies nothing on a secure server
  auto d = Connect();
  d->SendChat("too early");
  EXPECT_TRUE(d->WaitClosed(3000));
  TVornStringLine reply;
  EXPECT_FALSE(d->Connected());

  server.OnClientLogin = [](TClientConnection&, const std::string& user, const std::string&, const std::string&,
                            bool& verified) { verified = user == "anna"; };
  EXPECT_TRUE(c->Login("anna", "x", "POS").Verified);
  c->SendChat("after login");
  c->Expect(reply, ChatLine);
}

TEST_F(ServerFixture, LoginEventsInOrderOfPrecedence) {
  std::vector<std::string> fired;
  server.OnClientLogin = [&](TClientConnection&, const std::string&, const std::string&, const std::string&,
                             bool& verified) {
    fired.push_back("login");
    verified = false;
  };
  server.OnClientDBLogin = [&](TClientConnection&, const std::string&, const std::string&, const std::string&,
                               bool& verified, TComponent*&) {
    fired.push_back("db");
    verified = true;
  };
  auto c = Connect();
  server.ThreadingModel = tmPooledSessions;  // the database login runs only in the persistent models
  EXPECT_FALSE(c->Login("u", "p", "POS").Verified);
  EXPECT_EQ(fired, (std::vector<std::string>{"login"}));

  server.ThreadingModel = tmPersistentSessions;
  fired.clear();
  EXPECT_TRUE(c->Login("u", "p", "POS").Verified);
  EXPECT_EQ(fired, (std::vector<std::string>{"db"}));

  server.OnClientAuthenticate = [&](TVornServerSocket&, TUserRecord&, const std::string& user, const std::string&,
                                    const std::string&, TVornParamList& reply, bool& verified, TComponent*&) {
    fired.push_back("authenticate");
    reply.PutValue("Greeting", Variant("hi " + user));
    verified = true;
  };
  fired.clear();
  const LoginResult r = c->Login("u", "p", "POS");
  EXPECT_TRUE(r.Verified);
  EXPECT_EQ(fired, (std::vector<std::string>{"authenticate"}));
  EXPECT_EQ(TVornParamList(r.ReplyList, 0).RequireParam("Greeting").AsString(), "hi u");
}

TEST_F(ServerFixture, TrustedClientsSkipTheEvents) {
  bool fired = false;
  server.TrustedAddresses = {"127.0.0.1"};
  server.OnClientLogin = [&](TClientConnection&, const std::string&, const std::string&, const std::string&,
                             bool& verified) {
    fired = true;
    verified = false;
  };
  auto c = Connect();
  EXPECT_TRUE(c->Login("anyone", "wrong", "POS").Verified);
  EXPECT_FALSE(fired);
}

TEST_F(ServerFixture, DesignTimeClients) {
  server.DTAccess = false;
  auto c = Connect();
  EXPECT_FALSE(c->Login("", "", "DesignTime").Verified);  // empty DT credentials never pass
  server.DTUserName = "dev";
  server.DTPassword = "secret";
  EXPECT_FALSE(c->Login("dev", "nope", "DesignTime").Verified);
  EXPECT_TRUE(c->Login("dev", "secret", "DesignTime").Verified);  // passes the gate, then mode 2
  server.DTAccess = true;
  server.OnClientLogin = [](TClientConnection&, const std::string&, const std::string&, const std::string&,
                            bool& verified) { verified = false; };
  EXPECT_TRUE(c->Login("x", "y", "DesignTime").Verified);  // DTAccess verifies design-time clients
  // The built-in design-time user is answered but not registered.
  auto d = Connect();
  EXPECT_TRUE(d->Login("Qpel@SketchHour418", "", "DesignTime").Verified);
  EXPECT_EQ(server.Users().FindByUserName("Qpel@SketchHour418"), nullptr);
}

TEST_F(ServerFixture, DesignTimeSelectCheck) {
  auto c = Connect();
  c->Login("anna", "", "POS");
  ASSERT_TRUE(WaitFor([&] { return server.Users().FindByUserName("anna") != nullptr; }));
  TUserRecord* r = server.Users().FindByUserName("anna");
  EXPECT_TRUE(server.DesignTimeSelectAllowed(r));  // DTAccess
  server.DTAccess = false;
  server.OnClientLogin = [](TClientConnection&, const std::string&, const std::string&, const std::string&,
                            bool&) {};
  server.DTUserName = "dev";
  server.DTPassword = "Secret";
  EXPECT_TRUE(server.DesignTimeSelectAllowed(r));  // no DTPassword item: candidate allowed
  r->ParamList.PutValue("DTPassWord", Variant("wrong"));
  EXPECT_FALSE(server.DesignTimeSelectAllowed(r));
  r->UserName = "DEV";
  EXPECT_FALSE(server.DesignTimeSelectAllowed(r));
  r->ParamList.PutValue("DTPassWord", Variant("secret"));
  EXPECT_TRUE(server.DesignTimeSelectAllowed(r));
  r->UserName.clear();
  EXPECT_FALSE(server.DesignTimeSelectAllowed(r));
}

TEST_F(ServerFixture, UniqueNamesAndFailedLogins) {
  server.InstantMessaging = imUniqueNames;
  auto a = Connect();
  EXPECT_TRUE(a->Login("anna", "", "POS").Verified);
  auto b = Connect();
  TVornStringLine l = ServerFixture::Line(LoginReq, 1);
  for (auto f : {std::string("2"), std::string("ANNA"), std::string(""), std::string("POS"), std::string("")})
    f == "2" ? l.AddField(2) : l.AddField(f);
  b->Send(l);
  TVornStringLine reply;
  EXPECT_FALSE(b->Receive(reply, 300));  // without the disconnect setting nothing at all is sent
  EXPECT_TRUE(b->Connected());

  server.DisconnectClientOnFailedLogin = true;
  auto d = Connect();
  const LoginResult r = d->Login("Anna", "", "POS");
  EXPECT_FALSE(r.Verified);
  EXPECT_TRUE(d->WaitClosed(3000));

  server.InstantMessaging = 0;
  server.OnClientLogin = [](TClientConnection&, const std::string&, const std::string& pw, const std::string&,
                            bool& verified) { verified = pw == "ok"; };
  auto e = Connect();
  EXPECT_FALSE(e->Login("eve", "bad", "POS").Verified);
  EXPECT_TRUE(e->WaitClosed(3000));
}

TEST_F(ServerFixture, VersionFieldCarriesParameters) {
  auto c = Connect();
  TVornParamList extra;
  extra.PutValue("~MAC", Variant("00-11-22"));
  extra.PutValue("Shop", Variant("Seoul"));
  const LoginResult r = c->Login("anna", "", "POS", "2.1.0", 2, &extra);
  EXPECT_EQ(r.RequestId, 1);
  ASSERT_TRUE(WaitFor([&] { return server.Users().FindByUserName("anna") != nullptr; }));
  TUserRecord* rec = server.Users().FindByUserName("anna");
  EXPECT_EQ(rec->VersionText, "2.1.0");
  EXPECT_EQ(rec->MachineAddress, "00-11-22");
  EXPECT_EQ(rec->ParamList.Count(), 1);
  EXPECT_EQ(rec->ParamList.Items(0).Name, "Shop");
}

}  // namespace
}  // namespace qzt
