// TUserRecord: everything the server knows about one connection; TUsers: the client list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "codec/message_line.h"
#include "codec/message_stack.h"
#include "codec/param_list.h"
#include "codec/transforms.h"
#include "platform/component.h"
#include "platform/connection.h"
#include "platform/date_time.h"

namespace qzt {

class TVornServerSocket;
class TUsers;
class TUserRecord;

using ConnectionPtr = std::shared_ptr<TClientConnection>;

enum TUserRecordState : uint8_t {
  tuCreate, tuLogin, tuDestroy, tuThreadCreate, TuThreadDestroy, tuCopy, tuDisconnect, TuConnect,
};

// Client flags.
inline constexpr uint16_t cfJavaClient = 2, cfPdaKind1 = 4, cfPdaKind2 = 8, cfStateless = 16, cfPdaKind3 = 256,
                          cfKeepOpen = 1024, cfClosedWhileCheckedOut = 2048;

// The server's message stack: popping a frame takes its marker and extended-header flags into the record.
class TVornServerMessageStack : public TVornMessageStack {
 public:
  using TVornMessageStack::TVornMessageStack;
  // Markers: -1 makes the client stateless; -2 sets the extended-header fields and the per-frame
  // compressed and encrypted flags. Without a record the base behaviour applies.
  bool PopMessage(TUserRecord* client, std::string& out);
};

class TUserRecord {
 public:
  TUserRecord(TVornServerSocket* server, TUsers* owner, ConnectionPtr connection, bool notifyCreate = true);
  ~TUserRecord();
  TUserRecord(const TUserRecord&) = delete;
  TUserRecord& operator=(const TUserRecord&) = delete;

  // A copy for sends that may run beside the main thread: same identity and settings, its own line,
  // stack and parameter list (and its own DES key).
  std::unique_ptr<TUserRecord> Copy(TUserRecordState notice = tuCopy) const;

  bool Closing = false;
  bool Buffering = false;
  std::string BufferedOutput;
  std::string MachineAddress;
  std::string SessionName;
  int32_t SpecialClientId = 0;
  bool AlwaysAllowed = true;
  int32_t SpecialClientCode = 0;
  TVornServerSocket* Server;
  uint16_t ClientFlags = 0;
  TUsers* Owner;
  std::function<void(TUserRecord&, TUserRecordState)> OnStateChange;
  std::string UserName;
  std::string AppName;
  std::string VersionText;
  bool PayloadEncrypted = true;
  bool PayloadCompressed = true;
  int32_t ReplySizeLimit = 0;
  TDateTime ConnectTime = 0;
  TDateTime LastActivity = 0;
  ConnectionPtr Connection;
  std::unique_ptr<TVornServerMessageStack> MessageStack;
  TVornStringLine Line;
  TVornParamList ParamList;
  std::shared_ptr<void> AttachedObject;
  void* WorkerThread = nullptr;
  int32_t StatelessId = 0;
  uint8_t ClientKind = 0;
  std::optional<DesKey> OwnDesKey;  // the record's own key, when it has one
  bool UserEncryption = false;
  TComponent* PersistentSession = nullptr;
  std::string ReceiveBuffer;
  bool ExtFlag8 = false;
  std::string ExtensionText;
  bool ExtendedHeaderSeen = false;
  bool Removing = false;  // its removal has begun: the notices of it may not remove it again

  bool IsDesignTime() const { return AppName == "DesignTime"; }
  bool IsStateless() const { return ClientKind == 2 || (ClientFlags & cfStateless); }
  bool IsJavaClient() const;
  bool IsPdaClient() const { return ClientFlags & (cfPdaKind1 | cfPdaKind2 | cfPdaKind3); }
  bool IsSpecialClient() const { return IsPdaClient() || IsJavaClient() || ExtendedHeaderSeen; }
  bool HasPersistentSession() const { return PersistentSession != nullptr; }
  bool IsLive() const { return MessageStack && Connection; }

  void Notify(TUserRecordState state) {
    if (OnStateChange) OnStateChange(*this, state);
  }
};

class TUsers {
 public:
  explicit TUsers(TVornServerSocket& server) : server_(server) {}
  ~TUsers() { Clear(); }
  void Clear();  // frees every record without notices

  // Creates the connection's record when it has none and reports TuConnect.
  TUserRecord* Add(const ConnectionPtr& connection, uint8_t clientKind);
  void Login(const ConnectionPtr& connection, const std::string& userName, const std::string& appName);
  void Remove(const ConnectionPtr& connection);
  static TUserRecord* FindClient(const TClientConnection* connection);
  std::unique_ptr<TUserRecord> GetClient(const TClientConnection* connection);  // a copy
  int Count() const;
  TUserRecord* Items(int index) const;
  int IndexOfConnection(const TClientConnection* connection) const;
  TUserRecord* FindByUserName(std::string_view name) const;
  ConnectionPtr ConnectionOfUser(std::string_view name) const;
  static std::string ListText(const TUserRecord* record);
  // Runs `f` for every record under the list's read lock.
  void ForEach(const std::function<void(TUserRecord&)>& f) const;
  std::shared_mutex& Lock() const { return lock_; }

 private:
  TVornServerSocket& server_;
  std::vector<std::unique_ptr<TUserRecord>> items_;
  mutable std::shared_mutex lock_;
};

}  // namespace qzt
