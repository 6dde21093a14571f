// Dispatch by token, the pre-dispatch checks, the error lines, StreamSend and QuickUtilityInfo.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "server/server_socket.h"
#include "server/session_list.h"

namespace qzt {

namespace fs = std::filesystem;

void TVornServerSocket::SetTokenHandler(uint8_t token, TTokenHandler handler) {
  if (token < TokenCount) tokenHandlers_[token] = std::move(handler);
}

bool TVornServerSocket::PreprocessToken(TUserRecord& client) {
  const uint8_t token = client.Line.Token();
  if (SecureServer && token == VornKeysExchange) return false;
  if (SecureServer && token != LoginReq && !IsTrustedClient(&client) && !client.ExtendedHeaderSeen &&
      client.UserName.empty()) {
    DisconnectClient(client.Connection.get());  // before login only a login is taken; no answer
    return true;
  }
  bool allow = true;
  if (OnBeforeProcessToken) OnBeforeProcessToken(*this, client, token, allow);
  if (!allow) {
    SendErrorMessage(client.Connection.get(), "Command Not Allowed");
    return true;
  }
  for (const auto& plugin : plugins_)
    if (plugin->HandleMessage(client, client.Line)) return true;
  return false;
}

void TVornServerSocket::DispatchMessage(TUserRecord& client) {
  client.Line.ParseLine(client.ReceiveBuffer);
  if (PreprocessToken(client)) return;
  const uint8_t token = client.Line.Token();
  switch (token) {
    case ChatLine:
    case ChatPopup: HandleChat(client); return;
    case TableResultSet: return;  // accepted, nothing answered
    case UserCoded: HandleUserCoded(client); return;
    case UserCodedStream: HandleUserCodedStream(client); return;
    case LoginReq: HandleLogin(client); return;
    case StreamSend: HandleStreamSend(client); return;
    case UserCodedParamList: HandleCodedParamList(client); return;
    case QuickUtilityInfo: HandleQuickUtilityInfo(client); return;
    default: break;
  }
  if (token < TokenCount && tokenHandlers_[token]) {
    tokenHandlers_[token](client);
    return;
  }
  DefaultBranch(client);
}

void TVornServerSocket::DefaultBranch(TUserRecord& client) {
  ConnectionPtr conn = client.Connection;
  SendAsyncException(conn.get(), 1000, {"Server Error"});
  DisconnectClient(conn.get());
}

// ---- error lines ----

void TVornServerSocket::SendErrorMessage(TClientConnection* connection, std::string text) {
  if (!IsConnectionValid(connection)) return;
  if (OnClientExceptionMessage) OnClientExceptionMessage(*this, *connection, text);
  if (text.empty()) text = " ";
  TUserRecord* client = FindClient(connection);
  if (client && client->IsPdaClient()) {
    client->ParamList.PutValue("~PdaError", Variant(text));
    return;
  }
  TVornStringLine line;
  line.SetToken(SQLError);
  line.AddField(text);
  SendText(line.FinishLine(), client);
}

void TVornServerSocket::SendErrorAndRaise(TClientConnection* connection, const std::string& text) {
  SendErrorMessage(connection, text);
  throw EDatabaseError(text);
}

void TVornServerSocket::SendInlineError(TUserRecord* client, const std::string& text) {
  if (!client) return;
  client->Line.ResetCursor();
  client->Line.SetToken(SQLError);
  client->Line.AddField(text);
  SendReply(client);
}

void TVornServerSocket::SendAsyncException(TClientConnection* connection, int32_t code,
                                           const std::vector<std::string>& messages) {
  if (!IsConnectionValid(connection)) return;
  TUserRecord* client = FindClient(connection);
  if (!client && OnIoThread()) client = users_.Add(Shared(connection), 0);
  if (!client) return;
  auto copy = client->Copy();
  TVornParamList list;
  for (const std::string& m : messages) list.AddValue(Variant(m));
  copy->Line.SetToken(AsyncException);
  copy->Line.AddField(list.SaveToString());
  copy->Line.AddField(code);
  SendReply(copy.get());
}

// ---- StreamSend ----

void TVornServerSocket::HandleStreamSend(TUserRecord& client) {
  for (int i = 0; i < 5; ++i) client.Line.ReadString();
  client.Line.ResetCursor();
  client.Line.SetToken(StreamSend);
  client.Line.AddField("No Server OnBlobReceiveEvent implemented!");
  SendReply(&client);
}

// ---- QuickUtilityInfo ----

// Files named by clients stay inside the program folder: a relative name (either separator) is taken
// below it; absolute names, names that climb out with "..", and links that lead outside are refused.
std::string TVornServerSocket::SafeFilePath(const std::string& name, std::string& error) const {
  std::string n = name;
  for (char& c : n)
    if (c == '\\') c = '/';
  const bool drive = n.size() >= 2 && n[1] == ':';
  if (n.empty() || n[0] == '/' || drive) {
    error = "File name must be relative to the program folder: " + name;
    return {};
  }
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(ProgramFolder.empty() ? fs::current_path() : fs::path(ProgramFolder), ec);
  const fs::path full = fs::weakly_canonical(root / fs::path(n), ec);
  const std::string r = root.string(), f = full.string();
  if (ec || f.size() <= r.size() || f.compare(0, r.size(), r) != 0 || f[r.size()] != '/') {
    error = "File name leaves the program folder: " + name;
    return {};
  }
  return f;
}

void TVornServerSocket::HandleQuickUtilityInfo(TUserRecord& client) {
  const int32_t sub = client.Line.ReadInteger();
  TVornParamList request(client.Line.ReadString(), 0);
  client.Line.ResetCursor();
  TVornParamList values;
  auto answer = [&](const std::string& text) {
    client.Line.ResetCursor();
    client.Line.SetToken(QuickUtilityInfo);
    client.Line.AddField(sub);
    client.Line.AddField(text);
    SendReply(&client);
  };
  auto refuse = [&](const std::string& why) {
    LogMessage(client.Connection.get(), why);
    TVornParamList error;
    error.PutValue("Error", Variant(why));
    answer(error.SaveToString());
  };
  switch (sub) {
    case 0:
      values.AddValue(Variant(int32_t{users_.Count()}));
      answer(values.SaveToString());
      break;
    case 5: {
      const int count = users_.Count(), pool = SessionPoolSize();
      std::string text = std::to_string(count) + " users connected using ";
      if (Pool()) text += std::to_string(pool);
      static const char* kModels[] = {" Single Session", " Pooled Sessions", " Persistent Sessions", ""};
      text += kModels[ThreadingModel];
      values.AddValues({Variant(int32_t{count}), Variant(int32_t{pool}), Variant(int32_t{ThreadingModel}), Variant(text)});
      answer(values.SaveToString());
      break;
    }
    case 6:
    case 10:  // no directory publisher in this server: an empty text
      values.AddValue(Variant(std::string()));
      answer(values.SaveToString());
      break;
    case 9: {
      if (request.Count() < 2) return refuse("Store file: no file name or contents");
      std::string error;
      const std::string path = SafeFilePath(request.Items(0).AsString(), error);
      if (path.empty()) return refuse(error);
      std::error_code ec;
      fs::create_directories(fs::path(path).parent_path(), ec);
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      const std::string contents = request.Items(1).AsString();
      out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
      if (!out) return refuse("Unable to store " + request.Items(0).AsString());
      LogMessage(client.Connection.get(), "Stored file " + path);
      break;
    }
    case 12: RegisterSwitchBoard(client); break;
    case 15: {
      const fs::path patcher = fs::path(ProgramFolder) / "patcher.exe";
      std::ifstream in(patcher, std::ios::binary);
      if (in) values.AddTyped("Patcher", ftBlob, Variant(std::string(std::istreambuf_iterator<char>(in), {})));
      else values.AddValue(Variant("NoPatchFileFound"));
      answer(values.SaveToString());
      break;
    }
    case 16: {
      if (request.Count() == 0) {
        request.PutValue("Error", Variant("No file"));
      } else {
        TVornParamItem& item = request.Items(0);
        std::string error;
        const std::string path = SafeFilePath(item.AsString(), error);
        std::ifstream in(path, std::ios::binary);
        if (path.empty()) {
          LogMessage(client.Connection.get(), error);
          item.Name = "Error";
        } else if (!in || fs::is_directory(path)) {
          item.Name = "Error";
        } else {
          item.SetAsBlob(std::string(std::istreambuf_iterator<char>(in), {}));
        }
      }
      answer(request.SaveToString());
      break;
    }
    case 17:
      if (const auto p = Pool(); p && client.PersistentSession) p->ReleaseConnection(client.Connection.get(), true);
      request.CopyTo(client.ParamList, false);
      client.PersistentSession = nullptr;
      answer("");
      break;
    case 18: {
      TComponent* session = nullptr;
      bool verified = false;
      try {
        if (OnAssignPersistentSession)
          OnAssignPersistentSession(*this, client, client.UserName, "", session, verified);
        if (!verified || !session) {
          delete session;
          break;
        }
        EnsurePool()->BindSession(client.Connection.get(), session);
        client.PersistentSession = session;
      } catch (const std::exception&) {
        delete session;
        SendAsyncException(client.Connection.get(), 1000, {"Unable to create PersistentSession"});
        break;
      }
      answer(request.SaveToString());
      break;
    }
    case 20:
      values.AddValue(Variant::Date(Now()));
      answer(values.SaveToString());
      break;
    default: break;  // nothing, including the sub-codes of subjects this server does not carry
  }
}

}  // namespace qzt
