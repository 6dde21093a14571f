#include "server/user_record.h"

#include <algorithm>
#include <chrono>

#include "platform/byte_cursor.h"
#include "platform/text_utils.h"
#include "server/server_socket.h"
#include "server/session_list.h"

namespace qzt {

bool TVornServerMessageStack::PopMessage(TUserRecord* client, std::string& out) {
  if (!client) return TVornMessageStack::PopMessage(out);
  if (!PopFrame(out)) return false;
  const int32_t m = out.size() >= 4 ? PeekInt32(out, 0) : 0;
  size_t cut = 0;
  if (m == -1) client->ClientKind = 2;
  if (m == -2 && out.size() >= 20) {
    client->ExtendedHeaderSeen = true;
    client->ExtFlag8 = out[8] & 1;
    if (out[9] & 1) client->ClientKind = 2;
    client->PayloadCompressed = out[10] & 1;
    client->PayloadEncrypted = out[11] & 1;
    const int32_t x = PeekInt32(out, 16);
    // The extension text lies inside the block that starts at offset 16 and holds x bytes.
    client->ExtensionText = x > 4 ? out.substr(20, std::min<size_t>(x - 4, out.size() - 20)) : std::string();
    cut = 8 + static_cast<size_t>(std::max(x, 0));  // offsets 8 .. x + 15
  }
  if (m == -1 || m == -2) cut += 4;
  cut += 4;
  out.erase(0, std::min(cut, out.size()));
  return true;
}

TUserRecord::TUserRecord(TVornServerSocket* server, TUsers* owner, ConnectionPtr connection, bool notifyCreate)
    : Server(server),
      Owner(owner),
      ConnectTime(Now()),
      Connection(std::move(connection)),
      MessageStack(std::make_unique<TVornServerMessageStack>(1)) {
  if (notifyCreate) Notify(tuCreate);
}

TUserRecord::~TUserRecord() { Notify(tuDestroy); }

bool TUserRecord::IsJavaClient() const {
  return (ClientFlags & cfJavaClient) || const_cast<TVornParamList&>(ParamList).LookupParam("JavaClient");
}

std::unique_ptr<TUserRecord> TUserRecord::Copy(TUserRecordState notice) const {
  auto c = std::make_unique<TUserRecord>(Server, Owner, Connection, false);
  c->UserName = UserName;
  c->AppName = AppName;
  c->VersionText = VersionText;
  c->ConnectTime = ConnectTime;
  c->LastActivity = LastActivity;
  c->Line.SetRequestId(Line.RequestId());
  c->ClientKind = ClientKind;
  c->StatelessId = StatelessId;
  c->ClientFlags = ClientFlags;
  c->WorkerThread = WorkerThread;
  c->PersistentSession = PersistentSession;
  c->ReplySizeLimit = ReplySizeLimit;
  c->AlwaysAllowed = AlwaysAllowed;
  c->SpecialClientId = SpecialClientId;
  c->SpecialClientCode = SpecialClientCode;
  c->SessionName = SessionName;
  c->MachineAddress = MachineAddress;
  c->OwnDesKey = OwnDesKey;  // the key schedule is duplicated, not shared
  c->UserEncryption = UserEncryption;
  c->ExtendedHeaderSeen = ExtendedHeaderSeen;
  c->OnStateChange = OnStateChange;
  c->Notify(notice);
  return c;
}

// ---- the client list ----

void TUsers::Clear() {
  std::unique_lock<std::shared_mutex> lock(lock_);
  for (auto& r : items_)
    if (r->Connection) r->Connection->Data = nullptr;
  items_.clear();
}

TUserRecord* TUsers::FindClient(const TClientConnection* connection) {
  return connection ? static_cast<TUserRecord*>(connection->Data.load()) : nullptr;
}

TUserRecord* TUsers::Add(const ConnectionPtr& connection, uint8_t clientKind) {
  TUserRecord* record = nullptr;
  {
    std::unique_lock<std::shared_mutex> lock(lock_);
    if (FindClient(connection.get())) return FindClient(connection.get());
    items_.push_back(std::make_unique<TUserRecord>(&server_, this, connection));
    record = items_.back().get();
    connection->Data = record;
    record->ClientKind = clientKind;
    record->MessageStack->TransportMode = clientKind;
  }
  server_.DoUserListChange(*connection, TuConnect);
  return record;
}

void TUsers::Login(const ConnectionPtr& connection, const std::string& userName, const std::string& appName) {
  TUserRecord* record = FindClient(connection.get());
  if (!record) return;
  {
    std::unique_lock<std::shared_mutex> lock(lock_);
    record->UserName = userName;
    record->AppName = appName;
    record->ConnectTime = Now();
  }
  record->Notify(tuLogin);
  server_.DoUserListChange(*connection, tuLogin);
}

void TUsers::Remove(const ConnectionPtr& connection) {
  TUserRecord* record = FindClient(connection.get());
  if (!record) {
    connection->Data = nullptr;
    return;
  }
  if (record->Removing) return;
  record->Removing = true;
  server_.DoUserListChange(*connection, tuDisconnect);
  if (record->PersistentSession && server_.SessionPool() && !server_.SessionPool()->HeldByRunningThread(connection.get()))
    server_.SessionPool()->ReleaseConnection(connection.get(), true);
  std::unique_ptr<TUserRecord> gone;
  {
    std::unique_lock<std::shared_mutex> lock(lock_);
    auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& r) { return r.get() == record; });
    if (it != items_.end()) {
      gone = std::move(*it);
      items_.erase(it);
      items_.shrink_to_fit();
    }
    connection->Data = nullptr;
  }
}

std::unique_ptr<TUserRecord> TUsers::GetClient(const TClientConnection* connection) {
  TUserRecord* r = FindClient(connection);
  return r ? r->Copy() : nullptr;
}

int TUsers::Count() const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  return static_cast<int>(items_.size());
}

TUserRecord* TUsers::Items(int index) const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  return index >= 0 && static_cast<size_t>(index) < items_.size() ? items_[index].get() : nullptr;
}

int TUsers::IndexOfConnection(const TClientConnection* connection) const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->Connection.get() == connection) return static_cast<int>(i);
  return -1;
}

TUserRecord* TUsers::FindByUserName(std::string_view name) const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  for (const auto& r : items_)
    if (SameText(r->UserName, name)) return r.get();
  return nullptr;
}

ConnectionPtr TUsers::ConnectionOfUser(std::string_view name) const {
  if (name.empty()) return nullptr;
  std::shared_lock<std::shared_mutex> lock(lock_);
  for (const auto& r : items_)
    if (SameText(r->UserName, name)) return r->Connection;
  return nullptr;
}

std::string TUsers::ListText(const TUserRecord* record) {
  if (!record || !record->Connection) return "Bad socket";
  return record->Connection->RemoteAddress() + ":" + std::to_string(record->Connection->RemotePort()) + " " +
         record->UserName + " " + record->AppName;
}

void TUsers::ForEach(const std::function<void(TUserRecord&)>& f) const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  for (const auto& r : items_) f(*r);
}

}  // namespace qzt
