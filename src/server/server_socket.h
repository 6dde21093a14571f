// TVornServerSocket: the listening socket, the client records, the read path and the send path, the
// dispatch of messages by token, login, messaging, the log and the transforms of every payload.
//
// One I/O thread runs the event loop: it accepts, reads, cuts frames, undoes transforms and dispatches;
// it is the "main thread" of every rule that speaks of one. The send path may be called from any thread:
// packing happens on the calling thread and the bytes are queued on the connection, which the I/O thread
// writes in chunks of at most 1,000,000 bytes.
#pragma once

#include <asio.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "codec/param_list.h"
#include "codec/tokens.h"
#include "codec/transforms.h"
#include "server/database_events.h"
#include "server/user_record.h"
#include "server/worker_thread.h"

namespace qzt {

QZT_EXCEPTION(ESocketError);

enum TVornThreadModel : uint8_t { tmSingleSession, tmPooledSessions, tmPersistentSessions, tmSmartThreading };

using TVornServerIMOptions = uint8_t;
inline constexpr TVornServerIMOptions imUniqueNames = 1, imBroadcastUserList = 2, imDeleteOnDisconnect = 4;

// Log categories.
inline constexpr uint32_t lcAll = 1, lcWorkerThreads = 2, lcServerMethods = 16, lcBroadcast = 32,
                          lcAutoIncrement = 64, lcDatabaseLogin = 128, lcUtilityThreads = 16384,
                          lcUtilityErrors = 262144, lcSelectSQL = 524288, lcExecSQL = 1048576;

// Message ids of coded parameter lists that belong to the system.
inline constexpr int32_t cmSwitchBoardMessage = -75004, cmSwitchBoardRelay = -75005, cmTransactionControl = -75006,
                         cmRowsAffected = -75007, cmInstantMessage = -75009, cmPluginOnly = -75010,
                         cmLoginReplyList = -75011, cmUserList = -75013, cmDeliveredMessage = -75014,
                         cmUndeliverable = -75015, cmUserInfo = -75017;

class TVornSessionList;
class TVornServerSocket;

// A message-level extension, offered every message before the dispatch.
class TCustomVornServerSocketPlugin {
 public:
  virtual ~TCustomVornServerSocketPlugin() = default;
  TVornServerSocket* ServerSocket = nullptr;
  // Client notices (state changes: state - 800000) and system coded lists; true when handled.
  virtual bool HandleCodedParamList(TUserRecord* client, int32_t msgId, TVornParamList* params) {
    (void)client, (void)msgId, (void)params;
    return false;
  }
  // Kind 27 with arg 0 asks for the user-list dataset; none means the server builds its own.
  virtual std::shared_ptr<void> SupplyObject(TUserRecord* client, int32_t kind, int32_t arg) {
    (void)client, (void)kind, (void)arg;
    return nullptr;
  }
  virtual bool HandleMessage(TUserRecord& client, TVornStringLine& line) = 0;
};

class TVornServerSocket : public TVornDatabaseEvents {
 public:
  TVornServerSocket();
  virtual ~TVornServerSocket();
  TVornServerSocket(const TVornServerSocket&) = delete;
  TVornServerSocket& operator=(const TVornServerSocket&) = delete;

  // ---- published settings ----
  uint16_t Port = 9000;
  std::string BindAddress;  // one interface; empty: all
  int ThreadCacheSize = 10;
  TVornThreadModel ThreadingModel = tmSingleSession;
  int DataBaseSessions = 0;
  bool DisposeofQueriesForThreads = false;
  // Read at every message, so they may change while clients are served.
  std::atomic<TVornCompression> Compression{acNoCompression};
  std::atomic<TVornEncryption> Encryption{etNoEncryption};
  bool SecureServer = false;
  bool DisconnectClientOnFailedLogin = false;
  bool DTAccess = true;
  std::string DTUserName, DTPassword;
  std::vector<std::string> TrustedAddresses;
  TVornServerIMOptions InstantMessaging = 0;
  bool ThreadedCodedParamList = false;
  std::string VornServerName, DataBaseName;
  std::string DefaultSessionName;  // of the session definitions (none are defined here)
  std::string ProgramFolder;       // files stored for clients and patcher.exe are found here
  TDataSet* DataSet = nullptr;      // the dataset of FieldDefs and SQLResultSet requests
  TComponent* StoredProcDataSet = nullptr;  // the stored-procedure query without threads (the last one used)
  TDataSet* MetaDataSet = nullptr;  // the answer of metadata requests
  std::vector<TComponent*> DataModules;  // the server's data-module list
  size_t SendQueueLimit = 64u << 20;  // unsent bytes a connection may hold before it is closed

  // ---- log ----
  std::atomic<bool> LogEnabled{true};
  std::atomic<uint32_t> LogCategories{lcAll};
  std::atomic<uint32_t> LogSuppression{0};
  std::function<void(uint32_t bits, bool& write, const std::string& text, TClientConnection* conn)> LogFilter;

  // ---- events ----
  std::function<void(TVornServerSocket&, TClientConnection&, bool& isValid)> OnClientValidate;
  std::function<void(TVornServerSocket&, TClientConnection&)> OnClientConnect, OnClientDisconnect;
  std::function<void(TVornServerSocket&, const std::string&)> OnShowServerMessage;
  std::function<void(TVornServerSocket&, TClientConnection&, std::string& errorMsg)> OnClientExceptionMessage;
  std::function<void(TVornServerSocket&, TClientConnection&, TUserRecordState)> OnUserListchange;
  std::function<void(TClientConnection& sender, const std::string& user, const std::string& password,
                     const std::string& app, bool& verified)>
      OnClientLogin;
  std::function<void(TClientConnection& sender, const std::string& user, const std::string& password,
                     const std::string& app, bool& verified, TComponent*& database)>
      OnClientDBLogin;
  std::function<void(TVornServerSocket&, TUserRecord& client, const std::string& user, const std::string& password,
                     const std::string& app, TVornParamList& clientParams, bool& verified, TComponent*& session)>
      OnClientAuthenticate;
  std::function<void(TVornServerSocket&, TUserRecord& client, const std::string& user, const std::string& password,
                     TComponent*& session, bool& verified)>
      OnAssignPersistentSession;
  std::function<void(TVornServerSocket&, TUserRecord& client, uint8_t token, bool& allow)> OnBeforeProcessToken;
  std::function<void(TVornServerSocket&, TUserRecord* client, std::string& s)> OnCompress, OnDecompress, OnEncrypt,
      OnDecrypt;
  std::function<void(TVornServerSocket&, TUserRecord* client, bool encryptIt, std::string& data)> OnUserEncryption;
  std::function<void(TClientConnection& sender, const std::string& s)> OnChatLine;
  std::function<void(TVornServerSocket&, TClientConnection&, int32_t msgId, const std::string& msg)> OnCodedMessage;
  std::function<void(TVornServerSocket&, TClientConnection&, int32_t msgId, const std::string& stream)> OnCodedStream;
  std::function<void(TVornServerSocket&, TClientConnection&, int32_t msgId, TVornParamList& params)> OnCodedParamList;
  std::function<void(TVornServerSocket&, TClientConnection&, int32_t msgId, TVornParamList& in, TVornParamList& out)>
      OnOutCodedParamList;
  std::function<void(TVornServerSocket&, TUserRecord& from, TUserRecord& to, int32_t msgId, TVornParamList&, bool& ok)>
      OnInstantMessage;

  // ---- state ----
  void SetActive(bool active);  // ESocketError when listening fails
  bool Active() const { return acceptor_.has_value(); }
  uint16_t BoundPort() const { return boundPort_; }  // the port actually listened on
  void SetDESKey(std::string_view keyText);
  TUsers& Users() { return users_; }
  std::vector<std::unique_ptr<TCustomVornServerSocketPlugin>>& Plugins() { return plugins_; }
  void AddPlugin(std::unique_ptr<TCustomVornServerSocketPlugin> plugin);
  asio::io_context& IoContext() { return io_; }
  // Starts the I/O thread (listening does it too); other listeners share the event loop.
  void StartIoThread();
  bool OnIoThread() const { return std::this_thread::get_id() == ioThreadId_; }
  // Runs `f` on the I/O thread and waits for it (runs it at once when already there).
  void RunOnIoThread(const std::function<void()>& f);
  TVornSessionList* SessionPool() const { return Pool().get(); }
  // The pool as it is now; holding the pointer keeps it alive while another thread replaces it.
  std::shared_ptr<TVornSessionList> Pool() const;
  // The pool, made (empty, owning its sessions) when there is none: persistent sessions need one.
  std::shared_ptr<TVornSessionList> EnsurePool();
  void SetSessionPool(std::unique_ptr<TVornSessionList> pool);
  // Builds the pool for the threading model (called by the database plug-in once it is connected);
  // raises the pool's errors. FreeSessionPool drops it with every session it owns.
  void CreateSessionPool(bool ownsSessions = true);
  void FreeSessionPool();
  int SessionPoolSize() const;
  // 0 none, 1 pooled, 2 persistent.
  int EffectiveMode(const TUserRecord* client) const;
  TThreadCache& Threads() { return threads_; }
  std::atomic<int> ActiveThreads{-1};

  // ---- send path (any thread) ----
  void SendReply(TUserRecord* client);
  void SendText(const std::string& text, TUserRecord* client);
  int64_t SendRawData(TClientConnection* connection, std::string bytes);
  bool PackMessage(const std::string& text, TUserRecord* client, std::string& framed);
  void BeginReplyBuffering(TUserRecord* client);
  void FlushReplies(TUserRecord* client);
  void SendToAll(const std::string& text, bool perClient);
  // One packing (with the client's transforms) written to every connection, with a record or not.
  void SendToAllConnections(const std::string& text, TUserRecord* client);
  std::atomic<bool> SendToAllFlag{false};

  // ---- connections ----
  void DisconnectClient(TClientConnection* connection);
  void PurgeDeadConnections();
  bool IsConnectionValid(const TClientConnection* connection) const;
  TUserRecord* FindClient(const TClientConnection* connection) const { return TUsers::FindClient(connection); }
  ConnectionPtr Shared(const TClientConnection* connection) const;
  bool IsTrustedClient(const TUserRecord* client) const;
  std::vector<ConnectionPtr> Connections() const;

  // ---- log ----
  void LogMessage(const TClientConnection* connection, const std::string& text);
  void LogCategory(uint32_t bits, const TClientConnection* connection, const std::string& text);

  // ---- error replies (Part of the dispatch) ----
  void SendErrorMessage(TClientConnection* connection, std::string text);
  [[noreturn]] void SendErrorAndRaise(TClientConnection* connection, const std::string& text);
  void SendInlineError(TUserRecord* client, const std::string& text);
  void SendAsyncException(TClientConnection* connection, int32_t code, const std::vector<std::string>& messages);

  // ---- transforms ----
  virtual bool CompressMessage(std::string& data, TUserRecord* client);
  virtual void EncryptMessage(std::string& data, TUserRecord* client);
  virtual bool DecryptMessage(std::string& data, TUserRecord* client);
  virtual bool DecompressMessage(std::string& data, TUserRecord* client);

  // ---- messaging ----
  void SendCodedParamList(TUserRecord* client, int32_t msgId, const TVornParamList& list, bool answer);
  void SendCodedParamListTo(TClientConnection* connection, int32_t msgId, const TVornParamList& list);
  void SendCodedParamListToOthers(TClientConnection* connection, int32_t msgId, const TVornParamList& list);
  void BroadcastText(const std::string& text);
  // The user-list dataset stream (purges dead connections first).
  std::string UserListStream(TUserRecord* client);

  // ---- login ----
  bool DesignTimeSelectAllowed(TUserRecord* client) const;

  // ---- worker threads ----
  // A utility thread for a valid connection with a record: the list's text is slot 0.
  void RunUtility(TClientConnection* connection, const TVornParamList& params, TUtilityCallback callback);
  std::function<void(TVornThread* thread, TClientConnection* client, TComponent* session)> OnCheckOutSession,
      OnCheckInSession;
  // A database worker thread for the client, not started yet (its copy of the record, the launch line).
  std::shared_ptr<TVornThread> NewWorkerThread(TUserRecord& client);
  // Starts a utility thread or one that has its session; queues the others for a session.
  void StartWorker(const std::shared_ptr<TVornThread>& thread, bool utility);
  // A queued thread that received a session: its query first, then it starts.
  void StartQueuedThread(const std::shared_ptr<TVornThread>& thread);
  // The session a worker thread uses, by threading model (fires OnCheckOutSession).
  TComponent* SessionFor(TUserRecord& client, const std::string& dataBaseStr, const std::shared_ptr<TVornThread>& thread);
  // Database work on a worker thread for any callback; "Server not running Database threaded" in
  // the single-session model. The list's text is slot 0. A session free at once gets its query for the
  // database string and options; a thread that waits for one gets it without them. Work on what the
  // session already holds (kept queries) asks for no query.
  std::shared_ptr<TVornThread> RunDatabaseWork(TClientConnection* connection, TThreadDbAction action,
                                               const TVornParamList& params, TThreadWork work,
                                               const std::string& dataBaseStr = "",
                                               TVornSelectSQLOptionSet options = 0, bool supplyQuery = true);
  void ReleaseThreadSession(TVornThread& thread);

  // Handlers of the data tokens, registered by the data services; a token without one takes the
  // default branch.
  using TTokenHandler = std::function<void(TUserRecord& client)>;
  void SetTokenHandler(uint8_t token, TTokenHandler handler);
  // Handlers of system coded lists (negative ids), registered by the subsystems that own them; the list
  // is answered after the handler ran, unless the handler returns true: then it answers itself (later,
  // from a worker thread).
  using TSystemCodedHandler = std::function<bool(TUserRecord& client, TVornParamList& list)>;
  void SetSystemCodedHandler(int32_t msgId, TSystemCodedHandler handler);

  // Called by the client list on every TuConnect, tuLogin and tuDisconnect.
  void DoUserListChange(TClientConnection& connection, TUserRecordState state);

 protected:
  virtual bool ValidateClient(TClientConnection& connection);
  virtual bool PreprocessToken(TUserRecord& client);
  virtual void DispatchMessage(TUserRecord& client);

 private:
  friend class TUsers;
  void StartAccept();
  void OnAccepted(asio::ip::tcp::socket socket);
  void StartRead(const ConnectionPtr& connection);
  void ReadPath(const ConnectionPtr& connection, std::string bytes);
  void DisconnectSteps(const ConnectionPtr& connection);
  void RunThreadBody(const std::shared_ptr<TVornThread>& thread);
  void RemoveConnection(const TClientConnection* connection);
  void DefaultBranch(TUserRecord& client);

  // handlers
  void HandleLogin(TUserRecord& client);
  void SendLoginReply(TUserRecord& client, bool verified, TVornParamList* replyList);
  void HandleStreamSend(TUserRecord& client);
  void HandleQuickUtilityInfo(TUserRecord& client);
  void HandleChat(TUserRecord& client);
  void HandleUserCoded(TUserRecord& client);
  void HandleUserCodedStream(TUserRecord& client);
  void HandleCodedParamList(TUserRecord& client);
  void AnswerCodedParamList(TClientConnection* connection, int32_t msgId, std::shared_ptr<TVornParamList> list);
  void HandleInstantMessage(TUserRecord& client, TVornParamList& list);
  void HandleUserInfo(TUserRecord& client, TVornParamList& list);
  void HandleSwitchBoard(TUserRecord& client, int32_t msgId, TVornParamList& list);
  void RegisterSwitchBoard(TUserRecord& client);
  void NotifySwitchBoard(TClientConnection& connection, TUserRecordState state);
  std::string SafeFilePath(const std::string& name, std::string& error) const;

  mutable std::shared_mutex serverLock_;
  TUsers users_;
  std::vector<std::unique_ptr<TCustomVornServerSocketPlugin>> plugins_;
  std::shared_ptr<const DesKey> DesKeyNow() const;
  mutable std::mutex desKeyLock_;
  std::shared_ptr<const DesKey> desKey_;  // under desKeyLock_
  mutable std::mutex poolLock_;
  std::shared_ptr<TVornSessionList> sessionPool_;  // under poolLock_
  TThreadCache threads_;

  asio::io_context io_;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  std::optional<asio::ip::tcp::acceptor> acceptor_;
  std::thread ioThread_;
  std::thread::id ioThreadId_;
  uint16_t boundPort_ = 0;
  std::atomic<int64_t> nextHandle_{1};
  std::array<char, 32768> readBuffer_;  // the I/O thread's
  mutable std::mutex connectionsLock_;
  std::unordered_map<const TClientConnection*, ConnectionPtr> connections_;  // accept order kept below
  std::vector<const TClientConnection*> connectionOrder_;
  std::array<TTokenHandler, TokenCount> tokenHandlers_;
  std::unordered_map<int32_t, TSystemCodedHandler> systemCodedHandlers_;
  std::mutex switchBoardLock_;
  ConnectionPtr switchBoard_;
};

}  // namespace qzt
