#include "server/server_socket.h"

#include <future>

#include "platform/byte_cursor.h"

#include "platform/text_encoding.h"
#include "server/session_list.h"

namespace qzt {

namespace {

// The server lock for reading, taken once per thread: handlers that send error lines run inside the read
// path, which already holds it.
thread_local int readDepth = 0;

class ServerReadGuard {
 public:
  explicit ServerReadGuard(std::shared_mutex& m) : m_(m) {
    if (readDepth++ == 0) m_.lock_shared();
  }
  ~ServerReadGuard() {
    if (--readDepth == 0) m_.unlock_shared();
  }

 private:
  std::shared_mutex& m_;
};

std::string Frame(const std::string& payload) {
  std::string framed;
  framed.reserve(payload.size() + 4);
  PutInt32(framed, static_cast<int32_t>(payload.size()));
  framed += payload;
  return framed;
}

}  // namespace

TVornServerSocket::TVornServerSocket() : users_(*this), threads_(10) {}

TVornServerSocket::~TVornServerSocket() {
  try {
    SetActive(false);
  } catch (...) {  // a destructor reports nothing
  }
  threads_.WaitIdle();
  {
    std::lock_guard<std::mutex> lock(switchBoardLock_);
    if (switchBoard_ && !switchBoard_->Closed()) {
      TVornParamList names;
      users_.ForEach([&](TUserRecord& r) { names.AddValue(Variant(r.UserName)); });
      SendCodedParamListTo(switchBoard_.get(), 4, names);
    }
  }
  work_.reset();
  if (ioThread_.joinable()) {
    io_.stop();
    ioThread_.join();
  }
  // Sockets must go before the event loop they belong to.
  users_.Clear();
  {
    std::lock_guard<std::mutex> lock(connectionsLock_);
    connections_.clear();
    connectionOrder_.clear();
  }
  switchBoard_.reset();
  acceptor_.reset();
  FreeSessionPool();
}

void TVornServerSocket::SetDESKey(std::string_view keyText) {
  auto key = std::make_shared<const DesKey>(keyText);
  {
    std::lock_guard<std::mutex> lock(desKeyLock_);
    desKey_ = std::move(key);
  }
  Encryption = etDESEncrypt;
}

std::shared_ptr<const DesKey> TVornServerSocket::DesKeyNow() const {
  std::lock_guard<std::mutex> lock(desKeyLock_);
  return desKey_;
}

void TVornServerSocket::AddPlugin(std::unique_ptr<TCustomVornServerSocketPlugin> plugin) {
  for (const auto& p : plugins_)
    if (p == plugin) return;
  plugin->ServerSocket = this;
  plugins_.push_back(std::move(plugin));
}

void TVornServerSocket::SetSessionPool(std::unique_ptr<TVornSessionList> pool) {
  std::shared_ptr<TVornSessionList> old;
  {
    std::lock_guard<std::mutex> lock(poolLock_);
    old = std::move(sessionPool_);
    sessionPool_ = std::move(pool);
  }
}

void TVornServerSocket::FreeSessionPool() { SetSessionPool(nullptr); }

std::shared_ptr<TVornSessionList> TVornServerSocket::Pool() const {
  std::lock_guard<std::mutex> lock(poolLock_);
  return sessionPool_;
}

std::shared_ptr<TVornSessionList> TVornServerSocket::EnsurePool() {
  std::lock_guard<std::mutex> lock(poolLock_);
  if (!sessionPool_) sessionPool_ = std::make_shared<TVornSessionList>(true, this);
  return sessionPool_;
}

void TVornServerSocket::CreateSessionPool(bool ownsSessions) {
  FreeSessionPool();
  if (ThreadingModel == tmSingleSession) return;
  if (OnClientDBLogin && ThreadingModel != tmPersistentSessions && ThreadingModel != tmSmartThreading)
    OnClientDBLogin = nullptr;
  if (ThreadingModel == tmPersistentSessions) {
    if (!ThreadedDBSupplySession) throw EDatabaseError(Utf8ToCp949("세션이 만들어지지 않았습니다!"));
    SetSessionPool(std::make_unique<TVornSessionList>(true, this));  // sessions come one per client, later
    return;
  }
  if (DataBaseSessions == 0) throw EDatabaseError(Utf8ToCp949("데이터베이스의 세션 수는 0보다 커야 합니다!"));
  if (!ThreadedDBSupplySession) throw EDatabaseError(Utf8ToCp949("세션이 만들어지지 않았습니다!"));
  if (!ThreadedDBSupplyQuery) throw EDatabaseError("No ThreadedDBSupplyQuery Event assigned!");
  auto pool = std::make_unique<TVornSessionList>(ownsSessions, this);
  for (int i = 0; i < std::max(DataBaseSessions, 1); ++i) {
    TComponent* session = nullptr;
    ThreadedDBSupplySession(nullptr, DefaultSessionName, session);
    TSessionEntry& entry = pool->Add(std::unique_ptr<TComponent>(session), DefaultSessionName);
    if (OnAddDataModule) {
      std::vector<TComponent*> modules;
      OnAddDataModule(session, modules);
      entry.DataModules = std::move(modules);
    }
    // Named after their kind and place in the pool (TFIBDataModule1 .. TFIBDataModule10).
    if (session) session->Name = session->ClassName() + std::to_string(i + 1);
  }
  SetSessionPool(std::move(pool));
}

int TVornServerSocket::SessionPoolSize() const {
  const auto pool = Pool();
  return pool ? pool->Count() : 0;
}

int TVornServerSocket::EffectiveMode(const TUserRecord* client) const {
  if (ThreadingModel == tmSmartThreading && client) return client->HasPersistentSession() ? 2 : 1;
  if (ThreadingModel == tmPersistentSessions || !client) return ThreadingModel;
  return SessionPoolSize() > 0 ? 1 : 0;
}

void TVornServerSocket::RunOnIoThread(const std::function<void()>& f) {
  if (OnIoThread() || !ioThread_.joinable()) {
    f();
    return;
  }
  std::promise<void> done;
  asio::post(io_, [&] {
    try {
      f();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  done.get_future().get();
}

// ---- listening ----

void TVornServerSocket::SetActive(bool active) {
  if (active == Active()) return;
  if (!active) {
    RunOnIoThread([&] {
      asio::error_code ec;
      if (acceptor_) acceptor_->close(ec);
      acceptor_.reset();
      for (const ConnectionPtr& c : Connections()) {
        users_.Remove(c);
        c->Close(false);
      }
    });
    return;
  }
  auto fail = [](const asio::error_code& ec, const char* api) {
    throw ESocketError("Windows socket error: " + ec.message() + " (" + std::to_string(ec.value()) + "), on API '" +
                       api + "'");
  };
  asio::ip::tcp::acceptor acceptor(io_);
  asio::error_code ec;
  acceptor.open(asio::ip::tcp::v4(), ec);
  if (ec) throw ESocketError("Can't create new socket");
  acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (ec) fail(ec, "setsockopt");
  asio::ip::address_v4 address = asio::ip::address_v4::any();
  if (!BindAddress.empty()) {
    asio::error_code parse;
    const auto a = asio::ip::make_address_v4(BindAddress, parse);
    if (!parse) address = a;  // not a valid dotted address: all interfaces
  }
  acceptor.bind({address, Port}, ec);
  if (ec) fail(ec, "bind");
  // A deeper queue than the classic 5: bursts of connects are not left to SYN retries.
  acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) fail(ec, "listen");
  boundPort_ = acceptor.local_endpoint(ec).port();
  acceptor_.emplace(std::move(acceptor));
  threads_.SetMaxIdle(ThreadCacheSize);
  StartIoThread();
  asio::post(io_, [this] { StartAccept(); });
}

void TVornServerSocket::StartIoThread() {
  if (ioThread_.joinable()) return;
  work_.emplace(asio::make_work_guard(io_));
  std::promise<std::thread::id> started;
  ioThread_ = std::thread([this, &started] {
    started.set_value(std::this_thread::get_id());
    io_.run();
  });
  ioThreadId_ = started.get_future().get();
}

void TVornServerSocket::StartAccept() {
  if (!acceptor_) return;
  acceptor_->async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor_) return;
    if (!ec) OnAccepted(std::move(socket));
    StartAccept();
  });
}

bool TVornServerSocket::ValidateClient(TClientConnection& connection) {
  bool valid = true;
  if (OnClientValidate) OnClientValidate(*this, connection, valid);
  return valid;
}

void TVornServerSocket::OnAccepted(asio::ip::tcp::socket socket) {
  auto conn = std::make_shared<TClientConnection>(std::move(socket), nextHandle_++);
  conn->MaxQueuedBytes = SendQueueLimit;
  conn->OnOverflow = [this](const std::string& why) { LogMessage(nullptr, why); };
  {
    std::lock_guard<std::mutex> lock(connectionsLock_);
    connections_[conn.get()] = conn;
    connectionOrder_.push_back(conn.get());
  }
  try {
    if (!ValidateClient(*conn)) {
      conn->Close(false);
      RemoveConnection(conn.get());
      if (OnClientDisconnect) OnClientDisconnect(*this, *conn);
      return;
    }
    conn->Data = nullptr;
    if (OnClientConnect) OnClientConnect(*this, *conn);
    users_.Add(conn, 0);
  } catch (const std::exception& e) {
    LogMessage(conn.get(), std::string("Accept failed: ") + e.what());
  }
  StartRead(conn);
}

// ---- read path ----

// Waits for readability without holding a buffer per connection, then drains what is waiting through the
// I/O thread's one read buffer, in 32 KiB steps.
void TVornServerSocket::StartRead(const ConnectionPtr& conn) {
  conn->Socket().async_wait(asio::ip::tcp::socket::wait_read, [this, conn](const asio::error_code& ec) {
    if (ec) {
      DisconnectSteps(conn);
      return;
    }
    std::string bytes;
    asio::error_code more;
    conn->Socket().non_blocking(true, more);
    while (!more && bytes.size() < (16u << 20)) {
      const size_t got = conn->Socket().read_some(asio::buffer(readBuffer_), more);
      bytes.append(readBuffer_.data(), got);
    }
    const bool closed = more && more != asio::error::would_block && more != asio::error::try_again;
    ReadPath(conn, std::move(bytes));
    if (closed) {
      DisconnectSteps(conn);
      return;
    }
    if (conn->Socket().is_open()) StartRead(conn);
  });
}

void TVornServerSocket::ReadPath(const ConnectionPtr& conn, std::string bytes) {
  TUserRecord* client = FindClient(conn.get());
  if (!client || bytes.empty()) return;
  ServerReadGuard lock(serverLock_);
  client->LastActivity = Now();
  client->ExtensionText.clear();
  client->ExtendedHeaderSeen = false;
  client->ExtFlag8 = false;
  client->PayloadCompressed = true;
  client->PayloadEncrypted = true;
  client->MessageStack->AppendReceived(bytes);
  std::string message;
  while (client->MessageStack->PopMessage(client, message)) {
    if (Encryption != etNoEncryption && !client->PayloadEncrypted) continue;  // must be encrypted: dropped
    if (client->PayloadEncrypted && !DecryptMessage(message, client)) break;
    if (client->PayloadCompressed && !DecompressMessage(message, client)) break;
    client->ReceiveBuffer = std::move(message);
    try {
      DispatchMessage(*client);
    } catch (const std::exception& e) {
      // The message ends here; the frames already received after it are still served (left waiting for
      // a next read, a good request behind a bad one would get no answer until the client sent again).
      const std::string text = e.what();
      if (FindClient(conn.get()) == client) SendErrorMessage(conn.get(), text);
      if (OnShowServerMessage) OnShowServerMessage(*this, Utf8ToCp949("일반에러") + ": " + text);
    }
    if (!IsConnectionValid(conn.get()) || FindClient(conn.get()) != client) return;
    client->ReceiveBuffer.clear();
  }
  if (FindClient(conn.get()) != client) return;  // a failed transform removed the record
  if (client->IsStateless() &&
      (ThreadingModel == tmSingleSession || (client->ExtendedHeaderSeen && !(client->ClientFlags & cfKeepOpen))))
    DisconnectClient(conn.get());
}

// ---- connections ----

std::vector<ConnectionPtr> TVornServerSocket::Connections() const {
  std::lock_guard<std::mutex> lock(connectionsLock_);
  std::vector<ConnectionPtr> out;
  out.reserve(connectionOrder_.size());
  for (const TClientConnection* c : connectionOrder_) out.push_back(connections_.at(c));
  return out;
}

ConnectionPtr TVornServerSocket::Shared(const TClientConnection* connection) const {
  std::lock_guard<std::mutex> lock(connectionsLock_);
  auto it = connections_.find(connection);
  return it == connections_.end() ? nullptr : it->second;
}

void TVornServerSocket::RemoveConnection(const TClientConnection* connection) {
  std::lock_guard<std::mutex> lock(connectionsLock_);
  connections_.erase(connection);
  connectionOrder_.erase(std::remove(connectionOrder_.begin(), connectionOrder_.end(), connection),
                         connectionOrder_.end());
}

bool TVornServerSocket::IsConnectionValid(const TClientConnection* connection) const {
  return connection && !connection->Closed() && connection->Alive();
}

void TVornServerSocket::DisconnectSteps(const ConnectionPtr& conn) {
  if (!Shared(conn.get())) return;  // handled already
  try {
    TUserRecord* client = FindClient(conn.get());
    if (const auto pool = Pool()) {
      // A session still used by a running worker thread comes back when that thread ends.
      if (pool->HeldByRunningThread(conn.get())) {
        if (client) client->ClientFlags |= cfClosedWhileCheckedOut;
      } else {
        pool->ReleaseConnection(conn.get(), client && (client->HasPersistentSession() || EffectiveMode(client) == 2));
      }
    }
    users_.Remove(conn);
  } catch (const std::exception& e) {
    LogMessage(nullptr, std::string("Disconnect: ") + e.what());
  }
  conn->Close(false);
  RemoveConnection(conn.get());
  if (OnClientDisconnect) OnClientDisconnect(*this, *conn);
}

void TVornServerSocket::DisconnectClient(TClientConnection* connection) {
  ConnectionPtr conn = Shared(connection);
  if (!conn) return;
  // Client records change on the I/O thread only; another thread hands the work over.
  auto work = [this, conn] {
    try {
      users_.Remove(conn);
      conn->Close(true);
    } catch (...) {  // closing a connection never fails the caller
    }
  };
  if (OnIoThread() || !ioThread_.joinable()) work();
  else asio::post(io_, work);
}

void TVornServerSocket::PurgeDeadConnections() {
  RunOnIoThread([this] {
    // On the I/O thread nothing else removes records; the write lock keeps readers on other threads out.
    std::unique_lock<std::shared_mutex> lock(serverLock_, std::defer_lock);
    if (readDepth == 0) lock.lock();
    const std::vector<ConnectionPtr> snapshot = Connections();
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
      if ((*it)->Alive()) continue;
      users_.Remove(*it);
      (*it)->Close(false);
    }
  });
}

bool TVornServerSocket::IsTrustedClient(const TUserRecord* client) const {
  if (!client || !client->Connection) return false;
  const std::string& address = client->Connection->RemoteAddress();
  for (const std::string& entry : TrustedAddresses) {
    if (entry == address) return true;
    const size_t star = entry.find('*');
    if (star != std::string::npos && address.compare(0, star, entry, 0, star) == 0 && address.size() >= star)
      return true;
  }
  return false;
}

// ---- send path ----

bool TVornServerSocket::PackMessage(const std::string& text, TUserRecord* client, std::string& framed) {
  if (!client) {
    framed = Frame(text);
    return true;
  }
  try {
    std::string data = text;
    if (!CompressMessage(data, client)) return false;
    EncryptMessage(data, client);
    framed = Frame(data);
    return true;
  } catch (const std::exception& e) {
    LogMessage(client->Connection.get(), e.what());
    DisconnectClient(client->Connection.get());
    return false;
  }
}

void TVornServerSocket::SendReply(TUserRecord* client) {
  if (!client || !IsConnectionValid(client->Connection.get())) return;
  SendText(client->Line.FinishLine(), client);
  if (!IsConnectionValid(client->Connection.get())) client->ReceiveBuffer.clear();
}

void TVornServerSocket::SendText(const std::string& text, TUserRecord* client) {
  if (SendToAllFlag.exchange(false)) {
    SendToAllConnections(text, client);
    return;
  }
  std::string framed;
  if (!PackMessage(text, client, framed)) return;
  if (!client) return;
  if (client->Buffering) {
    client->BufferedOutput += framed;
    return;
  }
  SendRawData(client->Connection.get(), std::move(framed));
}

void TVornServerSocket::SendToAllConnections(const std::string& text, TUserRecord* client) {
  std::string framed;
  if (!PackMessage(text, client, framed)) return;
  for (const ConnectionPtr& c : Connections()) c->Send(framed);
}

int64_t TVornServerSocket::SendRawData(TClientConnection* connection, std::string bytes) {
  if (!IsConnectionValid(connection)) return 0;
  const int64_t n = static_cast<int64_t>(bytes.size());
  return connection->Send(std::move(bytes)) ? n : 0;
}

void TVornServerSocket::BeginReplyBuffering(TUserRecord* client) {
  if (!client) return;
  client->Buffering = true;
  client->BufferedOutput.clear();
}

void TVornServerSocket::FlushReplies(TUserRecord* client) {
  if (!client) return;
  std::string out = std::move(client->BufferedOutput);
  client->BufferedOutput.clear();
  client->Buffering = false;
  if (!out.empty()) SendRawData(client->Connection.get(), std::move(out));
}

void TVornServerSocket::SendToAll(const std::string& text, bool perClient) {
  const std::string plain = perClient ? std::string() : Frame(text);
  std::vector<std::pair<ConnectionPtr, std::string>> out;
  users_.ForEach([&](TUserRecord& r) {
    std::string framed = plain;
    if (perClient && !PackMessage(text, &r, framed)) return;
    out.emplace_back(r.Connection, std::move(framed));
  });
  for (auto& [c, bytes] : out) SendRawData(c.get(), std::move(bytes));
}

// ---- log ----

void TVornServerSocket::LogMessage(const TClientConnection* connection, const std::string& text) {
  if (!OnShowServerMessage || !LogEnabled) return;
  if (connection && IsConnectionValid(connection))
    OnShowServerMessage(*this, text + " ->" + connection->RemoteAddress() + ":" + std::to_string(connection->RemotePort()));
  else
    OnShowServerMessage(*this, text);
}

void TVornServerSocket::LogCategory(uint32_t bits, const TClientConnection* connection, const std::string& text) {
  const uint32_t set = LogCategories;
  if (!(set & lcAll) && !(set & bits)) return;
  bool write = true;
  if (LogFilter) LogFilter(bits, write, text, const_cast<TClientConnection*>(connection));
  if (write) LogMessage(connection, text);
}

}  // namespace qzt
