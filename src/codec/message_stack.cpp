#include "codec/message_stack.h"

#include <cctype>

#include "platform/byte_cursor.h"
#include "platform/text_utils.h"

namespace qzt {

int64_t FindBytes(std::string_view data, std::string_view what) {
  size_t i = data.find(what);
  return i == std::string_view::npos ? -1 : static_cast<int64_t>(i);
}

bool StartsWithHttp(std::string_view data) {
  static constexpr char kHttp[] = "http/";
  if (data.size() < 5) return false;
  for (size_t i = 0; i < 5; ++i)
    if (std::tolower(static_cast<unsigned char>(data[i])) != kHttp[i]) return false;
  return true;
}

void TVornMessageStack::AppendReceived(std::string_view bytes) {
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  // The buffer grows geometrically: a large frame arriving in many reads is copied a bounded number of
  // times, not once per read.
  buffer_.append(bytes);
  while (ExtractFrame()) {
  }
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
}

bool TVornMessageStack::ExtractFrame() {
  std::string_view buf(buffer_);
  buf.remove_prefix(start_);
  if (buf.size() > 4 && PeekInt32(buf, 0) == -1 && buf.size() >= 8 && PeekInt32(buf, 4) == -2) {
    start_ += 4;
    buf.remove_prefix(4);
  }
  if (buf.size() <= 4) return false;
  const int32_t m = PeekInt32(buf, 0);
  int64_t p = 0, e = 0;
  bool http = false;
  if (m == -1) {
    http = true;
    p = 4;
  } else if (m == -2) {
    if (buf.size() < 20) return false;
    http = (static_cast<uint8_t>(buf[8]) & 1) != 0;
    const int32_t x = PeekInt32(buf, 16);
    // A negative or absurd block size cannot be a frame.
    if (x < 0 || x > MaxFrameLength) {
      e = -1;
    } else {
      // Wait for the whole block. (Waiting for x + 20 bytes would hang a frame whose payload is
      // shorter than 4 bytes: it ends at 16 + x + L.)
      if (x > 0 && static_cast<int64_t>(buf.size()) < int64_t{x} + 16) return false;
      e = x + 8;
      p = 4;
    }
  }
  if (e >= 0) {
    if ((TransportMode >= 1 && TransportMode <= 3) || http) {
      if (StartsWithHttp(buf)) {
        int64_t i = FindBytes(buf, "Content:\r\n\r\n");
        if (i >= 0) p += i + 12;
      }
    }
    if (static_cast<int64_t>(buf.size()) < p + 4 + e) return false;
  }
  const int32_t length = e >= 0 ? PeekInt32(buf, p) : -1;
  if (length < 0 || length > MaxFrameLength) {
    // Not a frame: everything buffered becomes one message.
    queue_.emplace_back(Trim(buf));
    start_ = buffer_.size();
    return false;
  }
  const int64_t n = p + 4 + e + length;
  if (static_cast<int64_t>(buf.size()) < n) return false;
  if (start_ == 0 && static_cast<size_t>(n) == buffer_.size()) {
    queue_.push_back(std::move(buffer_));  // the buffer is exactly one frame: hand it over, no copy
    buffer_.clear();
    return false;
  }
  queue_.emplace_back(buf.substr(0, n));
  start_ += n;
  return true;
}

bool TVornMessageStack::PopFrame(std::string& out) {
  if (queue_.empty()) return false;
  out = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

bool TVornMessageStack::PopMessage(std::string& out) {
  if (!PopFrame(out)) return false;
  size_t cut = 0;
  if (TransportMode >= 1 && TransportMode <= 3 && StartsWithHttp(out)) {
    size_t end = std::string_view(out).substr(0, 16384).find("\r\n\r\n");
    if (end != std::string::npos) cut = end + 4;
    if (TransportMode == 1) cut += 5;
  }
  cut += 4;
  out.erase(0, std::min(cut, out.size()));
  return true;
}

}  // namespace qzt
