#include "client/client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/byte_cursor.h"

namespace qzt {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

QztClient::QztClient(QztClientOptions options) : options_(std::move(options)) {
  if (options_.DesKey) key_.emplace(*options_.DesKey);
}

QztClient::~QztClient() { Close(); }

void QztClient::Connect(const std::string& host, uint16_t port, int timeoutMs) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
    throw EClientError("Cannot resolve host " + host);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    freeaddrinfo(found);
    throw EClientError(std::string("Cannot create a socket: ") + std::strerror(errno));
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  int rc = ::connect(fd, found->ai_addr, found->ai_addrlen);
  freeaddrinfo(found);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    rc = ::poll(&p, 1, timeoutMs);
    int err = 0;
    socklen_t len = sizeof err;
    if (rc == 1) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    if (rc != 1 || err != 0) {
      ::close(fd);
      throw EClientError("Cannot connect to " + host + ":" + std::to_string(port) + ": " +
                         (rc == 0 ? std::string("timed out") : std::strerror(err ? err : errno)));
    }
  } else if (rc != 0) {
    const int err = errno;
    ::close(fd);
    throw EClientError("Cannot connect to " + host + ":" + std::to_string(port) + ": " + std::strerror(err));
  }
  fd_ = fd;
  stack_ = TVornMessageStack();
}

void QztClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void QztClient::SendRaw(std::string_view bytes) {
  if (fd_ < 0) throw EClientError("Not connected");
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.TimeoutMs);
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, Remaining(deadline)) <= 0) throw EClientError("Timed out sending to the server");
      continue;
    }
    throw EClientError(std::string("Send failed: ") + std::strerror(errno));
  }
}

void QztClient::SendPayload(const std::string& finishedLine) {
  std::string data = finishedLine;
  if (options_.Compression == acVornZLib) data = ZCompress(data, 1);
  if (key_) data = DesEncryptPacket(*key_, data);
  std::string framed;
  PutInt32(framed, static_cast<int32_t>(data.size()));
  framed += data;
  SendRaw(framed);
}

int32_t QztClient::Send(TVornStringLine& line) {
  const int32_t id = line.RequestId();
  SendPayload(line.FinishLine());
  return id;
}

int32_t QztClient::SendFields(uint8_t token, const std::vector<LineField>& fields, int32_t id) {
  TVornStringLine line;
  line.SetToken(token);
  line.SetRequestId(id ? id : NextRequestId());
  for (const LineField& f : fields) {
    if (const auto* n = std::get_if<int32_t>(&f)) line.AddField(*n);
    else line.AddField(std::get<std::string>(f));
  }
  return Send(line);
}

bool QztClient::ReadMore(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  const int r = ::poll(&p, 1, timeoutMs);
  if (r == 0) return false;
  if (r < 0) throw EClientError(std::string("Wait failed: ") + std::strerror(errno));
  char buf[65536];
  const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
  if (n == 0) {
    Close();
    throw EClientError("Connection closed by the server");
  }
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
    const int err = errno;
    Close();
    throw EClientError(std::string("Receive failed: ") + std::strerror(err));
  }
  stack_.AppendReceived(std::string_view(buf, static_cast<size_t>(n)));
  return true;
}

bool QztClient::Receive(TVornStringLine& line, int timeoutMs) {
  if (fd_ < 0) throw EClientError("Not connected");
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? options_.TimeoutMs : timeoutMs);
  std::string payload;
  while (!stack_.PopMessage(payload)) {
    const int left = Remaining(deadline);
    if (left == 0 || !ReadMore(left)) {
      if (stack_.PopMessage(payload)) break;
      return false;
    }
  }
  if (key_) payload = DesDecryptPacket(*key_, payload);
  if (options_.Compression == acVornZLib) payload = ZDecompress(payload);
  line.ParseLine(std::move(payload));
  return true;
}

void QztClient::Expect(TVornStringLine& line, uint8_t token, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? options_.TimeoutMs : timeoutMs);
  for (;;) {
    if (!Receive(line, Remaining(deadline)))
      throw EClientError("Timed out waiting for a reply with token " + std::to_string(token));
    if (line.Token() == token) return;
  }
}

bool QztClient::WaitClosed(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  try {
    while (fd_ >= 0) {
      const int left = Remaining(deadline);
      if (left == 0) return false;
      ReadMore(left);
    }
  } catch (const EClientError&) {
  }
  return fd_ < 0;
}

LoginResult QztClient::Login(const std::string& user, const std::string& password, const std::string& app,
                             const std::string& version, int32_t mode, const TVornParamList* extra) {
  TVornStringLine line;
  line.SetToken(LoginReq);
  line.SetRequestId(NextRequestId());
  line.AddField(mode);
  line.AddField(user);
  line.AddField(password);
  line.AddField(app);
  line.AddField(extra ? version + '\x02' + extra->SaveToString() : version);
  LoginResult result;
  result.RequestId = Send(line);
  Expect(line, LoginReq);
  result.Verified = line.ReadInteger() == 1;
  result.ReplyList = line.ReadString();
  return result;
}

int32_t QztClient::SendCodedParamList(int32_t msgId, const TVornParamList& list, bool wantAnswer) {
  TVornStringLine line;
  line.SetToken(UserCodedParamList);
  line.SetRequestId(NextRequestId());
  line.AddField(msgId);
  line.AddField(list.SaveToString());
  line.AddField(wantAnswer ? 1 : 0);
  return Send(line);
}

TVornParamList QztClient::ReceiveCodedParamList(int32_t msgId, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? options_.TimeoutMs : timeoutMs);
  TVornStringLine line;
  for (;;) {
    Expect(line, UserCodedParamList, Remaining(deadline));
    if (line.ReadInteger() == msgId) return TVornParamList(line.ReadString(), 0);
  }
}

void QztClient::SendChat(const std::string& text) {
  TVornStringLine line;
  line.SetToken(ChatLine);
  line.SetRequestId(NextRequestId());
  line.AddField(text);
  Send(line);
}

}  // namespace qzt
