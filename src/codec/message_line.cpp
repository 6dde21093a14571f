#include "codec/message_line.h"

#include <cstring>

#include "platform/byte_cursor.h"
#include "platform/number_text.h"
#include "platform/text_encoding.h"

namespace qzt {
namespace {

const std::string& TooManyFieldsText() {
  static const std::string s = Utf8ToCp949("문자열 에러: 최대 필드를 초과하였습니다.");
  return s;
}

const std::string& BadFieldTypeText() {
  static const std::string s = Utf8ToCp949("문자열 에러: 잘못된 테이다타입.");
  return s;
}

constexpr size_t DescriptorOffset(int k) { return 5 + (k - 1) * 9; }

}  // namespace

void TVornStringLine::SetToken(int token) {
  if (token < minToken_ || token > maxToken_) throw EStringLineException("BAD TOKEN VALUE");
  token_ = static_cast<uint8_t>(token);
}

TVornStringLine::Descriptor TVornStringLine::GetDescriptor(int k) const {
  const char* p = header_.data() + DescriptorOffset(k);
  Descriptor d;
  d.Type = static_cast<uint8_t>(p[0]);
  std::memcpy(&d.Start, p + 1, 4);
  std::memcpy(&d.End, p + 5, 4);
  return d;
}

void TVornStringLine::PutDescriptor(int k, const Descriptor& d) {
  char* p = header_.data() + DescriptorOffset(k);
  p[0] = static_cast<char>(d.Type);
  std::memcpy(p + 1, &d.Start, 4);
  std::memcpy(p + 5, &d.End, 4);
}

void TVornStringLine::BeginField(uint8_t fieldType) {
  if (cursor_ == 0) {  // a new line: empty body, descriptors zeroed (the request id lives apart)
    text_.clear();
    header_.fill(0);
  }
  if (cursor_ >= MaxLineFields) throw EStringLineException(TooManyFieldsText());
  ++cursor_;
  PutDescriptor(cursor_, {fieldType, static_cast<int32_t>(text_.size() + 1), 0});
}

void TVornStringLine::EndField() {
  Descriptor d = GetDescriptor(cursor_);
  d.End = static_cast<int32_t>(text_.size() + 1);
  PutDescriptor(cursor_, d);
}

void TVornStringLine::AddField(std::string_view value, uint8_t fieldType) {
  BeginField(fieldType);
  if (fieldType > 3) throw EStringLineException(BadFieldTypeText());
  text_.append(value);
  EndField();
}

void TVornStringLine::AddField(int32_t value) {
  BeginField(6);
  text_ += std::to_string(value);
  EndField();
}

std::string TVornStringLine::FinishLine() {
  header_[0] = static_cast<char>(token_);
  std::memcpy(header_.data() + 1, &requestId_, 4);
  std::string out;
  out.reserve(LineHeaderSize + text_.size());
  out.append(header_.data(), LineHeaderSize);
  out += text_;
  text_.clear();
  cursor_ = 0;
  return out;
}

void TVornStringLine::ParseLine(std::string text) {
  header_.fill(0);
  std::memcpy(header_.data(), text.data(), std::min(text.size(), LineHeaderSize));
  const bool java = (text.size() >= 4 && PeekInt32(text, 0) == -3) || static_cast<uint8_t>(header_[0]) == VORNJava;
  token_ = java ? static_cast<uint8_t>(VORNJava) : static_cast<uint8_t>(header_[0]);
  std::memcpy(&requestId_, header_.data() + 1, 4);
  cursor_ = 0;
  text.erase(0, std::min(text.size(), java ? size_t{4} : LineHeaderSize));
  text_ = std::move(text);
}

std::string TVornStringLine::ReadString() {
  ++cursor_;
  if (cursor_ > MaxLineFields) cursor_ = 1;
  const Descriptor d = GetDescriptor(cursor_);
  if (cursor_ == MaxLineFields || GetDescriptor(cursor_ + 1).Start == 0) cursor_ = 0;
  // Descriptors come from outside: a field that does not lie inside the body reads as empty.
  if (d.Start < 1 || d.End < d.Start || static_cast<size_t>(d.End - 1) > text_.size()) return {};
  return text_.substr(d.Start - 1, d.End - d.Start);
}

int32_t TVornStringLine::ReadInteger() { return StrToInt(ReadString()); }

JavaHeader TVornStringLine::ReadJavaHeader() const {
  JavaHeader h;
  if (text_.size() < 64) return h;  // an incomplete Java header reads as zeros
  h.RequestId = PeekInt32(text_, 8);
  h.MessageCode = PeekInt32(text_, 28);
  h.UserMessage = PeekInt32(text_, 56);
  h.Data = text_.substr(64);
  return h;
}

PdaHeader TVornStringLine::ReadPdaHeader() const {
  PdaHeader h;
  if (text_.size() < 12) return h;
  h.ListForm = PeekInt32(text_, 0);
  h.ClientKind = PeekInt32(text_, 4);
  h.RequestCode = PeekInt32(text_, 8);
  h.Data = text_.substr(12);
  return h;
}

}  // namespace qzt
