// QuickUtilityInfo sub-requests, including the files kept inside the program folder.
#include <filesystem>
#include <fstream>

#include "server_fixture.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;
using test::ServerFixture;
using test::WaitFor;

class UtilityTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    folder = fs::temp_directory_path() / ("qzt-utility-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    server.ProgramFolder = folder.string();
    client = Connect();
  }
  void TearDown() override { fs::remove_all(folder); }
  // Sends sub-code `sub` with `list`; returns the answer's list text, or nothing within `wait` ms.
  std::optional<std::string> Ask(int32_t sub, const TVornParamList& list, int wait = 3000) {
    TVornStringLine l = Line(QuickUtilityInfo, 50 + sub);
    l.AddField(sub);
    l.AddField(list.SaveToString());
    client->Send(l);
    TVornStringLine reply;
    if (!client->Receive(reply, wait)) return std::nullopt;
    EXPECT_EQ(reply.Token(), QuickUtilityInfo);
    EXPECT_EQ(reply.ReadInteger(), sub);
    return reply.ReadString();
  }
  fs::path folder;
  std::unique_ptr<QztClient> client;
};

TEST_F(UtilityTest, CountsSummaryAndTime) {
  auto other = Connect();
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() == 2; }));
  EXPECT_EQ(TVornParamList(*Ask(0, {}), 0).Items(0).AsInteger(), 2);
  server.ThreadingModel = tmPooledSessions;
  TVornParamList summary(*Ask(5, {}), 0);
  ASSERT_EQ(summary.Count(), 4);
  EXPECT_EQ(summary.Items(2).AsInteger(), tmPooledSessions);
  EXPECT_EQ(summary.Items(3).AsString(), "2 users connected using  Pooled Sessions");
  const TDateTime now = TVornParamList(*Ask(20, {}), 0).Items(0).AsDateTime();
  EXPECT_NEAR(now, Now(), 1.0 / 24 / 60);
}

TEST_F(UtilityTest, StoresAndReadsFilesInsideTheProgramFolder) {
  TVornParamList store;
  store.AddValue(Variant("sub\\dir/report.txt"));
  store.AddTyped("Data", ftBlob, Variant(std::string("contents\0\xFF", 10)));
  EXPECT_FALSE(Ask(9, store, 300));  // stored; no answer
  ASSERT_TRUE(WaitFor([&] { return fs::exists(folder / "sub/dir/report.txt"); }));
  TVornParamList read;
  read.AddValue(Variant("sub/dir/report.txt"));
  TVornParamList got(*Ask(16, read), 0);
  EXPECT_EQ(got.Items(0).AsString(), std::string("contents\0\xFF", 10));

  TVornParamList missing;
  missing.AddValue(Variant("nothing.txt"));
  EXPECT_EQ(TVornParamList(*Ask(16, missing), 0).Items(0).Name, "Error");
  EXPECT_EQ(TVornParamList(*Ask(16, {}), 0).RequireParam("Error").AsString(), "No file");
}

TEST_F(UtilityTest, RefusesNamesOutsideTheProgramFolder) {
  fs::create_directories(folder.parent_path() / "qzt-outside");
  fs::create_symlink(folder.parent_path() / "qzt-outside", folder / "link");
  for (const char* name : {"/etc/passwd", "../escape.txt", "a/../../escape.txt", "C:\\Windows\\x.txt",
                           "link/inside-the-link.txt", "..\\escape.txt"}) {
    TVornParamList store;
    store.AddValue(Variant(name));
    store.AddValue(Variant("x"));
    auto answer = Ask(9, store);
    ASSERT_TRUE(answer) << name;
    EXPECT_NE(TVornParamList(*answer, 0).LookupParam("Error"), nullptr) << name;
    TVornParamList read;
    read.AddValue(Variant(name));
    EXPECT_EQ(TVornParamList(*Ask(16, read), 0).Items(0).Name, "Error") << name;
  }
  EXPECT_FALSE(fs::exists(folder.parent_path() / "escape.txt"));
  EXPECT_FALSE(fs::exists(folder.parent_path() / "qzt-outside" / "inside-the-link.txt"));
  EXPECT_TRUE(Logged("leaves the program folder"));
  fs::remove_all(folder.parent_path() / "qzt-outside");
}

TEST_F(UtilityTest, PatcherAndPersistentSessions) {
  EXPECT_EQ(TVornParamList(*Ask(15, {}), 0).Items(0).AsString(), "NoPatchFileFound");
  std::ofstream(folder / "patcher.exe", std::ios::binary) << "MZ";
  EXPECT_EQ(TVornParamList(*Ask(15, {}), 0).RequireParam("Patcher").AsString(), "MZ");

  class Session : public TComponent {};
  bool made = false;
  server.OnAssignPersistentSession = [&](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                         TComponent*& session, bool& verified) {
    session = new Session;
    verified = made = true;
  };
  TVornParamList request;
  request.PutValue("Keep", Variant("me"));
  EXPECT_EQ(TVornParamList(*Ask(18, request), 0).RequireParam("Keep").AsString(), "me");
  EXPECT_TRUE(made);
  ASSERT_TRUE(WaitFor([&] { return server.Users().Count() == 1; }));
  EXPECT_TRUE(server.Users().Items(0)->HasPersistentSession());
  EXPECT_EQ(*Ask(17, request), "");
  EXPECT_FALSE(server.Users().Items(0)->HasPersistentSession());
  EXPECT_EQ(server.Users().Items(0)->ParamList.RequireParam("Keep").AsString(), "me");

  server.OnAssignPersistentSession = [](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                        TComponent*&, bool&) { throw Exception("no database"); };
  TVornStringLine l = Line(QuickUtilityInfo, 1);
  l.AddField(18);
  l.AddField("");
  client->Send(l);
  TVornStringLine reply;
  client->Expect(reply, AsyncException);
  EXPECT_EQ(TVornParamList(reply.ReadString(), 0).Items(0).AsString(), "Unable to create PersistentSession");
}

}  // namespace
}  // namespace qzt
