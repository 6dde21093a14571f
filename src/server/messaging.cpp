// Chat, coded messages, coded parameter lists, instant messages, user information, the switchboard and the
// instant-messaging user list.
#include "dataset/vorn_dataset.h"
#include "platform/number_text.h"
#include "platform/text_utils.h"
#include "server/server_socket.h"

namespace qzt {

namespace {

void CloseIfStateless(TVornServerSocket& server, TUserRecord& client) {
  if (client.IsStateless()) server.DisconnectClient(client.Connection.get());
}

std::string TakeItem(TVornParamList& list, const char* name) {
  TVornParamItem* item = list.LookupParam(name);
  if (!item) return {};
  std::string v = item->AsString();
  list.RemoveParam(name);
  return v;
}

}  // namespace

// ---- sending coded parameter lists ----

void TVornServerSocket::SendCodedParamList(TUserRecord* client, int32_t msgId, const TVornParamList& list, bool answer) {
  if (!client) return;
  client->Line.ResetCursor();
  client->Line.SetToken(UserCodedParamList);
  client->Line.AddField(msgId);
  client->Line.AddField(list.SaveToString());
  client->Line.AddField(answer ? 1 : 0);
  SendReply(client);
}

void TVornServerSocket::SendCodedParamListTo(TClientConnection* connection, int32_t msgId, const TVornParamList& list) {
  TUserRecord* client = FindClient(connection);
  if (!client) return;
  auto copy = client->Copy();
  SendCodedParamList(copy.get(), msgId, list, false);
}

void TVornServerSocket::SendCodedParamListToOthers(TClientConnection* connection, int32_t msgId,
                                                   const TVornParamList& list) {
  TVornStringLine line;
  line.SetToken(UserCodedParamList);
  line.AddField(msgId);
  line.AddField(list.SaveToString());
  line.AddField(0);
  const std::string text = line.FinishLine();
  std::vector<std::pair<ConnectionPtr, std::string>> out;
  users_.ForEach([&](TUserRecord& r) {
    if (r.Connection.get() == connection || r.IsStateless()) return;
    std::string framed;
    if (PackMessage(text, &r, framed)) out.emplace_back(r.Connection, std::move(framed));
  });
  for (auto& [c, bytes] : out) SendRawData(c.get(), std::move(bytes));
}

void TVornServerSocket::BroadcastText(const std::string& text) {
  TVornStringLine line;
  line.SetToken(BroadCast);
  line.AddField(text);
  SendToAll(line.FinishLine(), true);
}

// ---- chat and coded messages ----

void TVornServerSocket::HandleChat(TUserRecord& client) {
  const uint8_t token = client.Line.Token();
  const std::string text = client.Line.ReadString();
  if (OnChatLine) OnChatLine(*client.Connection, text);
  client.Line.ResetCursor();
  client.Line.SetToken(token);
  client.Line.AddField(text);
  // To every connection, the sender included. Sent directly rather than through the send-to-all flag, which
  // a reply from a worker thread could otherwise take in between.
  SendToAllConnections(client.Line.FinishLine(), &client);
}

void TVornServerSocket::HandleUserCoded(TUserRecord& client) {
  const int32_t id = client.Line.ReadInteger();
  const std::string text = client.Line.ReadString();
  if (OnCodedMessage) OnCodedMessage(*this, *client.Connection, id, text);
  CloseIfStateless(*this, client);
}

void TVornServerSocket::HandleUserCodedStream(TUserRecord& client) {
  const int32_t id = client.Line.ReadInteger();
  const std::string stream = client.Line.ReadStream();
  if (OnCodedStream) OnCodedStream(*this, *client.Connection, id, stream);
  CloseIfStateless(*this, client);
}

// Answers a coded parameter list from a utility thread, in the thread's copy of the client record.
void TVornServerSocket::AnswerCodedParamList(TClientConnection* connection, int32_t msgId,
                                             std::shared_ptr<TVornParamList> list) {
  RunUtility(connection, TVornParamList(), [msgId, list](TVornThread& thread, TVornServerSocket& server,
                                                          TVornParamList&, TClientConnection*) {
    try {
      server.SendCodedParamList(thread.Client.get(), msgId, *list, true);
    } catch (const std::exception& e) {
      TVornParamList error;
      error.PutValue("Error", Variant(std::string(e.what())));
      server.SendCodedParamList(thread.Client.get(), msgId, error, true);
    }
  });
}

void TVornServerSocket::HandleCodedParamList(TUserRecord& client) {
  const int32_t id = client.Line.ReadInteger();
  auto list = std::make_shared<TVornParamList>(client.Line.ReadString(), 0);
  const bool wantsAnswer = client.Line.ReadInteger() == 1;
  client.Line.ResetCursor();
  ConnectionPtr conn = client.Connection;

  if (id < 0) {
    switch (id) {
      case cmUserInfo: HandleUserInfo(client, *list); return;
      case cmInstantMessage: HandleInstantMessage(client, *list); return;
      case cmPluginOnly: case -75021: case -75022: case -75023: case -75024:
        for (const auto& plugin : plugins_)
          if (plugin->HandleCodedParamList(&client, id, list.get())) break;
        return;
      case cmSwitchBoardMessage:
      case cmSwitchBoardRelay: HandleSwitchBoard(client, id, *list); break;
      default:
        if (auto it = systemCodedHandlers_.find(id); it != systemCodedHandlers_.end() && it->second(client, *list))
          return;
        break;  // the directory requests: no publisher here, the list goes back as it is
    }
    AnswerCodedParamList(conn.get(), id, list);
    return;
  }

  auto handle = [this, id, wantsAnswer, list](TClientConnection* connection, TUserRecord* answerIn) {
    bool handled = false;
    if (wantsAnswer && OnOutCodedParamList) {
      TVornParamList out;
      OnOutCodedParamList(*this, *connection, id, *list, out);
      list->Clear();
      out.CopyTo(*list, true);
      handled = true;
    }
    if (!handled && OnCodedParamList) OnCodedParamList(*this, *connection, id, *list);
    if (wantsAnswer) {
      if (answerIn) SendCodedParamList(answerIn, id, *list, true);
      else AnswerCodedParamList(connection, id, list);
    } else if (TUserRecord* c = FindClient(connection); c && c->IsStateless()) {
      DisconnectClient(connection);
    }
  };
  if (!ThreadedCodedParamList) {
    handle(conn.get(), nullptr);
    return;
  }
  RunUtility(conn.get(), TVornParamList(), [handle, id](TVornThread& thread, TVornServerSocket& server,
                                                        TVornParamList&, TClientConnection* connection) {
    try {
      handle(connection, thread.Client.get());
    } catch (const std::exception& e) {
      TVornParamList error;
      error.PutValue("Error", Variant(std::string(e.what())));
      server.SendCodedParamList(thread.Client.get(), id, error, true);
    }
  });
}

void TVornServerSocket::SetSystemCodedHandler(int32_t msgId, TSystemCodedHandler handler) {
  systemCodedHandlers_[msgId] = std::move(handler);
}

// ---- instant messages and user information ----

void TVornServerSocket::HandleInstantMessage(TUserRecord& client, TVornParamList& list) {
  for (const auto& plugin : plugins_)
    if (plugin->HandleCodedParamList(&client, cmInstantMessage, &list)) return;
  const std::string recipient = TakeItem(list, "UserName");
  const int32_t msgId = static_cast<int32_t>(StrToInt64Def(TakeItem(list, "Msgid"), 0));
  if (recipient.empty()) {
    SendAsyncException(client.Connection.get(), 1000, {"No user Name for Instant Message!"});
    return;
  }
  TUserRecord* to = users_.FindByUserName(recipient);
  if (!to) {
    SendAsyncException(client.Connection.get(), cmUndeliverable,
                       {recipient + " was unable to be located to receive a message. "});
    return;
  }
  bool ok = true;
  if (OnInstantMessage) OnInstantMessage(*this, client, *to, msgId, list, ok);
  if (!ok) return;
  list.PutValue("Msgid", Variant(msgId));
  SendCodedParamListTo(to->Connection.get(), cmDeliveredMessage, list);
}

void TVornServerSocket::HandleUserInfo(TUserRecord& client, TVornParamList& list) {
  for (const auto& plugin : plugins_)
    if (plugin->HandleCodedParamList(&client, cmUserInfo, &list)) return;
  TVornParamItem* item = list.LookupParam("UserName");
  const std::string name = item ? item->AsString() : "No UserName";
  TUserRecord* user = users_.FindByUserName(name);
  if (!user) {
    SendAsyncException(client.Connection.get(), 1000, {"User Information for " + name + " not found"});
    return;
  }
  TVornParamItem* info = user->ParamList.LookupParam("~ImInfo");
  TVornParamList answer(info ? info->AsString() : std::string(), 0);
  SendCodedParamListTo(client.Connection.get(), cmUserInfo, answer);
}

// ---- user list ----

std::string TVornServerSocket::UserListStream(TUserRecord* client) {
  for (const auto& plugin : plugins_)
    if (auto object = plugin->SupplyObject(client, 27, 0)) return *std::static_pointer_cast<std::string>(object);
  PurgeDeadConnections();
  TVornDataSet ds;
  ds.AddFastField("UserName", ftString, 75);
  ds.AddFastField("AppName", ftString, 100);
  ds.AddFastField("Address", ftString, 15);
  ds.AddFastField("Port", ftInteger, 0);
  ds.AddFastField("ConnectTime", ftDateTime, 0);
  ds.AddFastField("ParamList", ftBlob, 0);
  ds.Open();
  users_.ForEach([&](TUserRecord& r) {
    TVornParamItem* info = r.ParamList.LookupParam("~ImInfo");
    ds.AppendRecord({Variant(r.UserName), Variant(r.AppName),
                     Variant(r.Connection ? r.Connection->RemoteAddress() : std::string()),
                     Variant(int32_t{r.Connection ? r.Connection->RemotePort() : 0}), Variant::Date(r.ConnectTime),
                     Variant(info ? info->AsString() : r.ParamList.SaveToString())});
  });
  return ds.SaveToString();
}

// ---- switchboard ----

namespace {

std::string SwitchBoardItems(const TUserRecord& r) {
  TVornParamList l;
  l.PutValue("~SBUserName", Variant(r.UserName));
  l.PutValue("~SBSocket", Variant(static_cast<int64_t>(r.Connection ? r.Connection->Handle() : 0)));
  l.PutValue("~SBParams", Variant(r.ParamList.SaveToString()));
  return l.SaveToString();
}

}  // namespace

void TVornServerSocket::RegisterSwitchBoard(TUserRecord& client) {
  TVornParamList all;
  users_.ForEach([&](TUserRecord& r) {
    TVornParamItem& item = all.Add();  // one item per client, named by its user name
    item.Name = r.UserName;
    item.SetAsString(SwitchBoardItems(r));
  });
  {
    std::lock_guard<std::mutex> lock(switchBoardLock_);
    switchBoard_ = client.Connection;
  }
  SendCodedParamListTo(client.Connection.get(), 5, all);
}

void TVornServerSocket::NotifySwitchBoard(TClientConnection& connection, TUserRecordState state) {
  ConnectionPtr board;
  {
    std::lock_guard<std::mutex> lock(switchBoardLock_);
    if (!switchBoard_) return;
    if (switchBoard_.get() == &connection) {
      switchBoard_.reset();  // the switchboard's own change unregisters it
      return;
    }
    board = switchBoard_;
  }
  TUserRecord* client = FindClient(&connection);
  if (!client) return;
  SendCodedParamListTo(board.get(), 1000 + state, TVornParamList(SwitchBoardItems(*client), 0));
}

void TVornServerSocket::HandleSwitchBoard(TUserRecord& client, int32_t msgId, TVornParamList& list) {
  ConnectionPtr board;
  {
    std::lock_guard<std::mutex> lock(switchBoardLock_);
    board = switchBoard_;
  }
  const std::string name = list.LookupParam("~SBUserName") ? list.LookupParam("~SBUserName")->AsString() : "";
  const int32_t targetId =
      list.LookupParam("~SBMsgid") ? static_cast<int32_t>(StrToInt64Def(list.LookupParam("~SBMsgid")->AsString())) : 0;
  if (msgId == cmSwitchBoardMessage) {
    if (board) {
      list.PutValue("~SBSocket", Variant(static_cast<int64_t>(client.Connection->Handle())));
      SendCodedParamListTo(board.get(), 1, list);
      return;
    }
    ConnectionPtr target = users_.ConnectionOfUser(name);
    if (!target) {
      SendErrorMessage(client.Connection.get(), "Switch Board Not Initialized on Server or " + name + " not found.");
      return;
    }
    TVornParamList copy;
    for (int i = 0; i < list.Count(); ++i)
      if (list.Items(i).Name.find('~') == std::string::npos) copy.Add().Assign(list.Items(i));
    SendCodedParamListTo(target.get(), targetId, copy);
    return;
  }
  // Relay: the connection named by ~SBSocket when it belongs to ~SBUserName, else that user's connection.
  ConnectionPtr target;
  const int64_t socket = list.LookupParam("~SBSocket") ? list.LookupParam("~SBSocket")->AsLargeInt() : 0;
  for (const ConnectionPtr& c : Connections()) {
    TUserRecord* r = FindClient(c.get());
    if (c->Handle() == socket && r && SameText(r->UserName, name)) target = c;
  }
  if (!target) target = users_.ConnectionOfUser(name);
  if (target) SendCodedParamListTo(target.get(), targetId, list);
}

// ---- who is told about state changes ----

void TVornServerSocket::DoUserListChange(TClientConnection& connection, TUserRecordState state) {
  if (OnUserListchange) OnUserListchange(*this, connection, state);
  TUserRecord* client = FindClient(&connection);
  for (const auto& plugin : plugins_) plugin->HandleCodedParamList(client, static_cast<int32_t>(state) - 800000, nullptr);
  if ((InstantMessaging & imBroadcastUserList) && (state == tuLogin || state == tuDisconnect)) {
    std::string stream = UserListStream(client);
    if (state == tuDisconnect && client) {
      // Taken before the client's row is removed: the row goes, or is marked as not connected.
      TVornDataSet ds;
      ds.LoadFromStreamWithFields(stream);
      if (ds.Locate("UserName", {Variant(client->UserName)})) {
        if (InstantMessaging & imDeleteOnDisconnect) {
          ds.Delete();
        } else if (TField* connected = ds.FindField("Connected")) {
          ds.Edit();
          connected->SetAsBoolean(false);
          ds.Post();
        }
      }
      stream = ds.SaveToString();
    }
    TVornParamList list;
    list.AddTyped("~UserList", ftBlob, Variant(stream));
    SendCodedParamListToOthers(&connection, cmUserList, list);
  }
  if (state == TuConnect || state == tuLogin || state == tuDisconnect) NotifySwitchBoard(connection, state);
}

}  // namespace qzt
