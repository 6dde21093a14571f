// QztClient: a client of the server's protocol. Connects, frames and unframes messages, applies the same
// transforms as the server is configured with, builds and reads message lines, logs in, sends and
// receives coded parameter lists and chat. Every wait has a timeout; errors raise EClientError with a
// readable message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "codec/message_line.h"
#include "codec/message_stack.h"
#include "codec/param_list.h"
#include "codec/tokens.h"
#include "codec/transforms.h"
#include "platform/exceptions.h"

namespace qzt {

QZT_EXCEPTION(EClientError);

struct QztClientOptions {
  TVornCompression Compression = acNoCompression;  // acNoCompression or acVornZLib
  std::optional<std::string> DesKey;               // set: DES packets both ways
  int TimeoutMs = 10000;                           // default wait for a reply
};

struct LoginResult {
  bool Verified = false;
  std::string ReplyList;  // parameter-list text, "" when none
  int32_t RequestId = 0;
};

class QztClient {
 public:
  explicit QztClient(QztClientOptions options = {});
  ~QztClient();
  QztClient(const QztClient&) = delete;
  QztClient& operator=(const QztClient&) = delete;

  void Connect(const std::string& host, uint16_t port, int timeoutMs = 5000);
  void Close();
  bool Connected() const { return fd_ >= 0; }
  const QztClientOptions& Options() const { return options_; }

  // Finishes the line, transforms the payload and sends it as one frame; returns the request id used.
  int32_t Send(TVornStringLine& line);
  // A line of these fields (texts as type 0, numbers as type 6) sent with request id `id`, or the next
  // one when it is 0; returns the request id used.
  using LineField = std::variant<std::string, int32_t>;
  int32_t SendFields(uint8_t token, const std::vector<LineField>& fields, int32_t id = 0);
  void SendPayload(const std::string& finishedLine);  // transforms and frames
  void SendRaw(std::string_view bytes);               // exactly these bytes
  // The next message, untransformed and parsed into `line`. False when `timeoutMs` passes first
  // (-1: the default timeout); EClientError when the server closes the connection.
  bool Receive(TVornStringLine& line, int timeoutMs = -1);
  // Waits for a message with this token (others are skipped); EClientError on timeout.
  void Expect(TVornStringLine& line, uint8_t token, int timeoutMs = -1);
  // True when the server closes the connection within the time.
  bool WaitClosed(int timeoutMs);

  LoginResult Login(const std::string& user, const std::string& password, const std::string& app,
                    const std::string& version = "", int32_t mode = 2, const TVornParamList* extra = nullptr);
  int32_t SendCodedParamList(int32_t msgId, const TVornParamList& list, bool wantAnswer);
  // The next coded parameter list with this id; EClientError on timeout.
  TVornParamList ReceiveCodedParamList(int32_t msgId, int timeoutMs = -1);
  void SendChat(const std::string& text);
  int32_t NextRequestId() { return ++requestId_; }

 private:
  bool ReadMore(int timeoutMs);
  int fd_ = -1;
  QztClientOptions options_;
  std::optional<DesKey> key_;
  TVornMessageStack stack_;
  int32_t requestId_ = 0;
};

}  // namespace qzt
