// TVornStringLine: one message line — token, request id and up to five fields.
//
// Wire layout (integers little-endian):
//   offset 0   1 byte   token (0..70)
//   offset 1   4 bytes  request id (Int32)
//   offset 5   5 x 9    field descriptors: type (1 byte), start (Int32), end (Int32); start and end are
//                       1-based positions in the body, the field being body[start-1 .. end-2]; an unused
//                       descriptor is all zero and a start of 0 ends the field list
//   offset 50  n bytes  body: the fields' bytes concatenated in the order they were added
// Field types: 0 bytes as given, 1 and 2 an object's text form, 3 a stream, 6 an Int32 as decimal text.
//
// Java short form: a payload beginning with the Int32 -3 carries a 64-byte Java header and Java data
// after those 4 bytes instead; it parses as token 43 (VORNJava).
//
// The field cursor counts fields added while building and fields read while reading; it returns to 0 on
// FinishLine, on ParseLine, after the last field is read and on ResetCursor. Token and request id are
// sticky: a reply built in the object that parsed a request carries the request's id.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/tokens.h"
#include "platform/exceptions.h"

namespace qzt {

QZT_EXCEPTION(EStringLineException);

inline constexpr size_t LineHeaderSize = 50;
inline constexpr int MaxLineFields = 5;

struct PdaHeader {
  int32_t ListForm = 0;     // offset 0
  int32_t ClientKind = 0;   // offset 4
  int32_t RequestCode = 0;  // offset 8
  std::string Data;         // from offset 12
};

struct JavaHeader {
  int32_t RequestId = 0;    // offset 8
  int32_t MessageCode = 0;  // offset 28
  int32_t UserMessage = 0;  // offset 56
  std::string Data;         // from offset 64
};

class TVornStringLine {
 public:
  TVornStringLine() = default;

  uint8_t Token() const { return token_; }
  void SetToken(int token);  // "BAD TOKEN VALUE" outside 0..70
  int32_t RequestId() const { return requestId_; }
  void SetRequestId(int32_t id) { requestId_ = id; }

  // Field types 0..3: the bytes as given. Any other type raises (the descriptor is left written).
  void AddField(std::string_view value, uint8_t fieldType = 0);
  // Field type 6: the decimal text of the integer.
  void AddField(int32_t value);
  std::string FinishLine();

  // A payload shorter than its header is taken as if zero-filled to the header's size.
  void ParseLine(std::string text);
  std::string ReadString();
  int32_t ReadInteger();  // EConvertError when the field is not an integer
  std::string ReadStream() { return ReadString(); }
  void ResetCursor() { cursor_ = 0; }
  int32_t TextLength() const { return static_cast<int32_t>(text_.size()); }
  const std::string& Text() const { return text_; }
  int FieldCursor() const { return cursor_; }

  // Java short form: three Int32 at offsets 8, 28, 56 and the data from 64. A text shorter than the
  // 64-byte header yields zeros and empty data.
  JavaHeader ReadJavaHeader() const;
  // PDA header: three Int32 at offsets 0, 4, 8 and the data from 12; a shorter text yields zeros.
  PdaHeader ReadPdaHeader() const;

 private:
  struct Descriptor {
    uint8_t Type;
    int32_t Start;
    int32_t End;
  };
  Descriptor GetDescriptor(int k) const;  // k = 1..5
  void PutDescriptor(int k, const Descriptor& d);
  void BeginField(uint8_t fieldType);
  void EndField();

  std::string text_;
  std::array<char, LineHeaderSize> header_{};
  uint8_t token_ = 0;
  int32_t requestId_ = 0;
  int cursor_ = 0;
  uint8_t minToken_ = 0, maxToken_ = TokenCount - 1;
};

}  // namespace qzt
