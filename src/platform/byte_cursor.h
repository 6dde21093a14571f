// Little-endian reading of untrusted bytes and the matching writers.
// ByteCursor never reads past the end of its view: every getter checks first and raises EReadError.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/exceptions.h"

namespace qzt {

class ByteCursor {
 public:
  explicit ByteCursor(std::string_view data) : data_(data) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  bool Has(size_t n) const { return n <= Remaining(); }

  std::string_view Bytes(size_t n) {
    Need(n);
    std::string_view v = data_.substr(pos_, n);
    pos_ += n;
    return v;
  }
  std::string_view Rest() { return Bytes(Remaining()); }
  void Skip(size_t n) { Bytes(n); }

  uint8_t Byte() { return static_cast<uint8_t>(Bytes(1)[0]); }
  uint8_t PeekByte() const {
    Need(1);
    return static_cast<uint8_t>(data_[pos_]);
  }
  template <typename T>
  T Get() {
    T v;
    std::memcpy(&v, Bytes(sizeof(T)).data(), sizeof(T));
    return v;  // the host is little-endian, as the wire is
  }
  int16_t Int16() { return Get<int16_t>(); }
  uint16_t UInt16() { return Get<uint16_t>(); }
  int32_t Int32() { return Get<int32_t>(); }
  uint32_t UInt32() { return Get<uint32_t>(); }
  int64_t Int64() { return Get<int64_t>(); }
  double Double() { return Get<double>(); }

 private:
  void Need(size_t n) const {
    if (n > Remaining()) throw EReadError("Read past the end of the data");
  }
  std::string_view data_;
  size_t pos_ = 0;
};

template <typename T>
inline void PutLE(std::string& out, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  out.append(b, sizeof(T));
}
inline void PutInt32(std::string& out, int32_t v) { PutLE(out, v); }

// The Int32 at `offset`; the caller has checked that four bytes are there.
inline int32_t PeekInt32(std::string_view data, size_t offset) {
  int32_t v;
  std::memcpy(&v, data.data() + offset, 4);
  return v;
}

}  // namespace qzt
