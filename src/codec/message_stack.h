// TVornMessageStack: cuts the bytes that arrive on a connection into frames and queues them.
//
// Frames (integers little-endian):
//   plain      Int32 L, then L payload bytes
//   marker -1  Int32 -1, Int32 L, then L payload bytes
//   marker -2  Int32 -2, Int32 L, 8 flag bytes (offsets 8..15), an extension block of x bytes at offset 16
//              whose first 4 bytes are the Int32 x, then L payload bytes at offset 16 + x
// A buffer starting with the Int32s -1, -2 is one marker -2 frame. L must lie in 0 .. 100 MiB; any other
// length makes everything buffered one queued message, trimmed of surrounding blanks and control bytes.
// With an HTTP transport (modes 1..3, or the HTTP flag of a marker frame) a leading "HTTP/" response
// header up to and including "Content:\r\n\r\n" is part of the frame's prefix.
//
// Queued frames keep their framing; PopMessage removes it (the server's client record overrides it to
// also take the marker flags).
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace qzt {

inline constexpr int32_t MaxFrameLength = 104857600;  // 100 MiB

class TVornMessageStack {
 public:
  explicit TVornMessageStack(uint8_t creationMode = 0) : creationMode_(creationMode) {}
  virtual ~TVornMessageStack() = default;

  void AppendReceived(std::string_view bytes);
  int32_t Count() const { return static_cast<int32_t>(queue_.size()); }
  // The oldest queued frame with its framing removed; false when the queue is empty.
  bool PopMessage(std::string& out);
  // The oldest queued frame exactly as it was cut; false when the queue is empty.
  bool PopFrame(std::string& out);

  uint8_t TransportMode = 0;
  uint8_t CreationMode() const { return creationMode_; }
  // Bytes held for a frame that is not complete yet.
  size_t Buffered() const { return buffer_.size() - start_; }

 private:
  bool ExtractFrame();
  uint8_t creationMode_;
  std::string buffer_;
  size_t start_ = 0;  // consumed bytes at the front, dropped once per AppendReceived
  std::deque<std::string> queue_;
};

// Index of the first occurrence of `what` in `data` (case-sensitive), or -1.
int64_t FindBytes(std::string_view data, std::string_view what);
// True when `data` begins with "HTTP/", compared without regard to case.
bool StartsWithHttp(std::string_view data);

}  // namespace qzt
