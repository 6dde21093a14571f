// Login (token 17), the design-time access check for selects.
#include "platform/text_utils.h"
#include "server/server_socket.h"
#include "server/session_list.h"

namespace qzt {

namespace {
constexpr const char* kBuiltInDesignUser = "Qpel@SketchHour418";
}

void TVornServerSocket::SendLoginReply(TUserRecord& client, bool verified, TVornParamList* replyList) {
  TUserRecord* record = FindClient(client.Connection.get());
  if (!record) record = users_.Add(client.Connection, 0);
  if (verified && replyList) {
    if (InstantMessaging & imBroadcastUserList) replyList->AddTyped("~UserList", ftBlob, Variant(UserListStream(record)));
    for (const auto& plugin : plugins_) plugin->HandleCodedParamList(record, cmLoginReplyList, replyList);
  }
  record->Line.SetToken(LoginReq);
  record->Line.ResetCursor();
  record->Line.AddField(verified ? 1 : 0);
  record->Line.AddField(replyList ? replyList->SaveToString() : std::string());
  SendReply(record);
}

void TVornServerSocket::HandleLogin(TUserRecord& client) {
  const int32_t mode = client.Line.ReadInteger();
  std::string userName = client.Line.ReadString();
  std::string password = client.Line.ReadString();
  const std::string appName = client.Line.ReadString();
  const std::string version = client.Line.ReadString();
  client.AppName = appName;
  ConnectionPtr conn = client.Connection;

  if (InstantMessaging & imUniqueNames) {
    if (users_.FindByUserName(userName)) {
      if (DisconnectClientOnFailedLogin) {
        SendLoginReply(client, false, nullptr);
        DisconnectClient(conn.get());
      }
      return;
    }
  }
  bool verified = !SecureServer && mode == 2;
  if (client.IsDesignTime()) client.SessionName = DefaultSessionName;
  const bool trusted = IsTrustedClient(&client);
  if (!trusted && !DTAccess && client.IsDesignTime()) {
    const bool allowed = userName == DTUserName && password == DTPassword && (!DTUserName.empty() || !DTPassword.empty());
    if (!allowed) {
      SendLoginReply(client, false, nullptr);
      return;
    }
  }
  std::string versionText = version;
  const size_t stx = version.find('\x02');
  if (stx != std::string::npos) {
    versionText = version.substr(0, stx);
    TVornParamList extra(version.substr(stx + 1), 0);
    if (TVornParamItem* mac = extra.LookupParam("~MAC")) {
      client.MachineAddress = mac->AsString();
      extra.RemoveParam("~MAC");
    }
    extra.CopyTo(client.ParamList, false);
  }

  std::unique_ptr<TVornParamList> replyList;
  if (trusted) {
    verified = true;
  } else if (DTAccess && client.IsDesignTime()) {
    verified = true;
  } else if (OnClientAuthenticate) {
    verified = false;
    replyList = std::make_unique<TVornParamList>();
    client.VersionText = versionText;
    client.AppName = appName;
    client.UserName = userName;
    TComponent* session = nullptr;
    if (OnAssignPersistentSession) {
      try {
        OnAssignPersistentSession(*this, client, userName, password, session, verified);
      } catch (const std::exception& e) {
        delete session;
        session = nullptr;
        verified = false;
        LogMessage(conn.get(), e.what());
      }
    }
    OnClientAuthenticate(*this, client, userName, password, appName, *replyList, verified, session);
    if (!verified) {
      delete session;
    } else if (session) {
      EnsurePool()->BindSession(conn.get(), session);
      client.PersistentSession = session;
    }
    if (client.UserName != userName) client.UserName = userName;
  } else if (OnClientDBLogin && (ThreadingModel == tmPersistentSessions || ThreadingModel == tmSmartThreading)) {
    TComponent* database = nullptr;
    try {
      OnClientDBLogin(*conn, userName, password, appName, verified, database);
      LogCategory(lcDatabaseLogin, conn.get(), "Database Login " + userName);
    } catch (const std::exception& e) {
      delete database;
      database = nullptr;
      verified = false;
      LogMessage(conn.get(), e.what());
    }
    if (verified && database) {
      EnsurePool()->BindSession(conn.get(), database);
      client.PersistentSession = database;
    } else if (!verified) {
      delete database;
    }
  } else if (OnClientLogin) {
    OnClientLogin(*conn, userName, password, appName, verified);
  }
  client.VersionText = versionText;

  if (!verified && DisconnectClientOnFailedLogin) {
    SendLoginReply(client, false, replyList.get());
    DisconnectClient(conn.get());
    return;
  }
  if (verified && userName != kBuiltInDesignUser) {
    users_.Add(conn, 0);
    users_.Login(conn, userName, appName);
  } else {
    userName = "Design";
    password = "Time";
  }
  // The client auto-update check (for applications other than DesignTime with a version text) takes over
  // the answer when it finds an update; the update list arrives with the auto-update subsystem.
  if (!FindClient(conn.get())) return;
  SendLoginReply(*FindClient(conn.get()), verified, replyList.get());
}

bool TVornServerSocket::DesignTimeSelectAllowed(TUserRecord* client) const {
  if (!client) return false;
  if (DTAccess || (!OnClientLogin && !OnClientDBLogin)) return true;
  if (client->UserName.empty()) return false;
  TVornParamList& params = client->ParamList;
  TVornParamItem* password = params.LookupParam("DTPassword");
  const bool candidate = IsTrustedClient(client) || SameText(client->UserName, DTUserName) || !password;
  if (!candidate) return false;
  return !password || SameText(password->AsString(), DTPassword);
}

}  // namespace qzt
