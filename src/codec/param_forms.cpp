// The string forms of a parameter list: writers and readers (layouts in param_list.h).
#include <cmath>
#include <cstring>
#include <vector>

#include "codec/param_list.h"
#include "platform/byte_cursor.h"
#include "platform/date_time.h"
#include "platform/number_text.h"

namespace qzt {
namespace {

constexpr char kSep = 0x06;

[[noreturn]] void Malformed(const char* what) {
  throw EVornParamException(std::string("Malformed parameter list: ") + what);
}

// ---- item texts shared by forms 0, 1, 2 and 6 ----

void AppendItemText(std::string& out, std::string_view name, int64_t type, int paramType, bool isNull,
                    size_t valueLength, std::string_view value) {
  out.append(name);
  out += kSep;
  out += std::to_string(type);
  out += kSep;
  out += std::to_string(paramType);
  out += kSep;
  out += isNull ? '1' : '0';
  out += kSep;
  out += std::to_string(valueLength);
  out += kSep;
  out.append(value);
}

void AppendRecord(std::string& out, const std::string& itemText) {
  PutInt32(out, static_cast<int32_t>(itemText.size()));
  out += itemText;
}

// The five separated fields of an item text and what follows the fifth separator.
struct ItemFields {
  std::string_view Field[5];
  std::string_view Rest;
};

ItemFields SplitItemText(std::string_view text) {
  ItemFields f;
  size_t pos = 0;
  for (int k = 0; k < 5; ++k) {
    size_t sep = text.find(kSep, pos);
    if (sep == std::string_view::npos) {
      f.Field[k] = text.substr(std::min(pos, text.size()));
      pos = text.size();
      continue;
    }
    f.Field[k] = text.substr(pos, sep - pos);
    pos = sep + 1;
  }
  f.Rest = text.substr(std::min(pos, text.size()));
  return f;
}

int64_t Number(std::string_view s) { return StrToInt64Def(s, 0); }

// The value of a standard item: the ValueLength bytes after the fifth separator.
std::string_view LengthValue(const ItemFields& f) {
  const int64_t length = Number(f.Field[4]);
  if (length < 0 || static_cast<uint64_t>(length) > f.Rest.size()) Malformed("value runs past the end of its item");
  return f.Rest.substr(0, static_cast<size_t>(length));
}

// Each record of the length-prefixed forms, checked against what is left.
template <typename F>
void ForEachRecord(std::string_view text, F&& f) {
  ByteCursor c(text);
  while (!c.AtEnd()) {
    if (!c.Has(4)) Malformed("record length cut short");
    const int32_t n = c.Int32();
    if (n < 0 || !c.Has(static_cast<size_t>(n))) Malformed("record runs past the end");
    f(c.Bytes(static_cast<size_t>(n)));
  }
}

// ---- PDA values ----

enum PdaCode : uint8_t {
  pdaNone = 0, pdaSmallint = 2, pdaInteger = 3, pdaBoolean = 4, pdaFloat = 6, pdaDate = 7, pdaTime = 8,
  pdaDateTime = 9, pdaString = 10, pdaBlob = 11,
};

TFieldType FieldTypeOfPda(int code) {
  switch (code) {
    case 1: case 2: return ftSmallint;
    case 3: return ftInteger;
    case 4: return ftBoolean;
    case 5: case 6: return ftFloat;
    case 7: return ftDate;
    case 8: return ftTime;
    case 9: return ftDateTime;
    case 10: return ftString;
    case 11: return ftBlob;
    default: return ftUnknown;
  }
}

// Milliseconds are rounded rather than truncated, so that 10:00:00 does not become 09:59:59.999.
void EncodePdaValue(const TVornParamItem& item, uint8_t& code, std::string& value) {
  value.clear();
  int64_t days = 0, msecs = 0;
  switch (item.DataType) {
    case ftSmallint: code = pdaSmallint; PutLE<int32_t>(value, item.AsInteger()); break;
    case ftInteger: code = pdaInteger; PutLE<int32_t>(value, item.AsInteger()); break;
    case ftBoolean: code = pdaBoolean; PutLE<int32_t>(value, item.AsBoolean() ? 1 : 0); break;
    case ftFloat: code = pdaFloat; PutLE<double>(value, item.AsFloat()); break;
    case ftDate:
      code = pdaDate;
      SplitDateTime(item.AsDateTime(), days, msecs);
      PutLE<int32_t>(value, static_cast<int32_t>(days));
      break;
    case ftTime:
      code = pdaTime;
      SplitDateTime(item.AsDateTime(), days, msecs);
      PutLE<int32_t>(value, static_cast<int32_t>(msecs));
      break;
    case ftDateTime:
      code = pdaDateTime;
      SplitDateTime(item.AsDateTime(), days, msecs);
      PutLE<int32_t>(value, static_cast<int32_t>(days));
      PutLE<int32_t>(value, static_cast<int32_t>(msecs));
      break;
    case ftString: {
      code = pdaString;
      const std::string& v = item.InternalValue();
      value.assign(v, 0, v.find('\0'));
      value += '\0';
      break;
    }
    case ftBlob: code = pdaBlob; value = item.InternalValue(); break;
    default: code = pdaNone; break;
  }
}

template <typename T>
T Prefix(std::string_view bytes) {  // the first sizeof(T) bytes, zero-filled when fewer
  T v{};
  std::memcpy(&v, bytes.data(), std::min(bytes.size(), sizeof(T)));
  return v;
}

void DecodePdaValue(TVornParamItem& item, int code, bool isNull, std::string_view bytes) {
  item.DataType = FieldTypeOfPda(code);
  if (isNull || bytes.empty()) {
    item.SetIsNull(true);
    return;
  }
  switch (item.DataType) {
    case ftString: item.SetAsString(bytes.substr(0, bytes.find('\0'))); break;
    case ftSmallint: case ftInteger: item.SetAsInteger(Prefix<int32_t>(bytes)); break;
    case ftBoolean: item.SetAsBoolean(bytes[0] != 0); break;
    case ftFloat: item.SetAsFloat(Prefix<double>(bytes)); break;
    case ftDate: item.SetAsDate(Prefix<int32_t>(bytes)); break;
    case ftTime: item.SetAsTime(Prefix<int32_t>(bytes) / static_cast<double>(MSecsPerDay)); break;
    case ftDateTime: {
      const int64_t both = Prefix<int64_t>(bytes);
      const int32_t days = static_cast<int32_t>(both & 0xFFFFFFFF);
      const int32_t msecs = static_cast<int32_t>(both >> 32);
      const double time = msecs / static_cast<double>(MSecsPerDay);
      item.SetAsDateTime(days < 0 ? days - time : days + time);
      break;
    }
    case ftBlob: item.SetAsBlob(bytes); break;
    default: item.SetAsText(bytes); break;
  }
}

// ---- Java text ----

int JdbcTypeOf(TFieldType t) {
  switch (t) {
    case ftSmallint: return 5;
    case ftInteger: case ftWord: case ftAutoInc: return 4;
    case ftBoolean: return -7;
    case ftFloat: case ftBCD: case ftFMTBcd: return 6;
    case ftCurrency: return 3;
    case ftDate: return 91;
    case ftTime: return 92;
    case ftDateTime: return 93;
    case ftBytes: case ftBlob: case ftOraBlob: return -2;
    case ftMemo: case ftOraClob: return -1;
    case ftLargeint: return -5;
    default: return 12;
  }
}

TFieldType FieldTypeOfJdbc(int64_t code) {
  switch (code) {
    case 5: return ftSmallint;
    case 4: return ftInteger;
    case -7: return ftBoolean;
    case 6: return ftFloat;
    case 3: return ftCurrency;
    case 91: return ftDate;
    case 92: return ftTime;
    case 93: return ftDateTime;
    case -2: case -3: case -4: return ftBlob;
    case -1: return ftMemo;
    case -5: return ftLargeint;
    default: return ftString;
  }
}

std::string JavaDisplayText(const TVornParamItem& item) {
  switch (item.DataType) {
    case ftFloat: case ftCurrency: case ftBCD:
      return FormatFloat("###############.###############", item.AsFloat());
    case ftDate: return FormatDateTime("yyyy-mm-dd", item.AsDateTime());
    case ftTime: return FormatDateTime("hh:nn:ss", item.AsDateTime());
    case ftDateTime: return FormatDateTime("yyyy-mm-dd hh:nn:ss", item.AsDateTime());
    default: return item.InternalValue();
  }
}

// A number at 1-based character positions [from, from+len) of a Java date text; 0 when not a number.
int JavaPart(std::string_view text, size_t from, size_t len) {
  if (text.size() < from - 1 + len) return 0;
  int v = 0;
  for (char c : text.substr(from - 1, len)) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool JavaDate(std::string_view text, TDateTime& d) {
  return TryEncodeDate(JavaPart(text, 1, 4), JavaPart(text, 6, 2), JavaPart(text, 9, 2), d);
}

bool JavaTime(std::string_view text, size_t at, TDateTime& t) {
  return TryEncodeTime(JavaPart(text, at, 2), JavaPart(text, at + 3, 2), JavaPart(text, at + 6, 2), 0, t);
}

// The value of a Java record is everything after the fifth separator. In a consistent record that is
// exactly the last ValueLength bytes; where the two differ (the server's own records give the internal
// length, 9 for a date, beside a display text of another length) the length would cut a display text or
// reach back into the header fields, so it is not used.
void ReadJavaItem(TVornParamItem& item, std::string_view text) {
  const ItemFields f = SplitItemText(text);
  item.Name = std::string(f.Field[0]);
  item.DataType = FieldTypeOfJdbc(Number(f.Field[1]));
  item.ParamType = ParamTypeFromOrdinal(Number(f.Field[2]));
  if (f.Field[3] == "1") {
    item.SetIsNull(true);
    return;
  }
  const std::string_view value = f.Rest;
  // An impossible date or time leaves the value 0.
  TDateTime d = 0, t = 0;
  switch (item.DataType) {
    case ftDate: item.SetAsDate(JavaDate(value, d) ? d : 0); break;
    case ftTime: item.SetAsTime(JavaTime(value, 1, t) ? t : 0); break;
    case ftDateTime: item.SetAsDateTime(JavaDate(value, d) && JavaTime(value, 12, t) ? d + t : 0); break;
    case ftBlob: item.SetAsBlob(value); break;
    default: item.SetAsText(value); break;
  }
}

void ReadStandardItem(TVornParamItem& item, std::string_view text) {
  const ItemFields f = SplitItemText(text);
  item.Name = std::string(f.Field[0]);
  item.DataType = FieldTypeFromOrdinal(Number(f.Field[1]));
  item.ParamType = ParamTypeFromOrdinal(Number(f.Field[2]));
  item.SetInternal(std::string(LengthValue(f)), Number(f.Field[3]) != 0);
}

void ReadPdaTextItem(TVornParamItem& item, std::string_view text) {
  const ItemFields f = SplitItemText(text);
  item.Name = std::string(f.Field[0]);
  item.ParamType = ParamTypeFromOrdinal(Number(f.Field[2]));
  DecodePdaValue(item, static_cast<int>(Number(f.Field[1])), Number(f.Field[3]) != 0, LengthValue(f));
}

void ReadPdaBinaryItem(TVornParamItem& item, std::string_view record) {
  ByteCursor c(record);
  const size_t end = record.find('\0');
  if (end == std::string_view::npos) Malformed("name without its terminator");
  item.Name = std::string(c.Bytes(end));
  c.Skip(1);
  if (!c.Has(7)) Malformed("record cut short");
  const uint8_t code = c.Byte();
  item.ParamType = ParamTypeFromOrdinal(c.Byte());
  const bool isNull = c.Byte() != 0;
  const int32_t size = c.Int32();
  if (size < 0 || !c.Has(static_cast<size_t>(size))) Malformed("value runs past the end of its record");
  DecodePdaValue(item, code, isNull, c.Bytes(static_cast<size_t>(size)));
}

}  // namespace

std::string TVornParamList::SaveStandard(ParamTypeSet only) const {
  size_t total = 0;
  for (const auto& item : items_)
    if (only & (1u << item->ParamType)) total += 4 + item->Name.size() + item->InternalValue().size() + 32;
  std::string out;
  out.reserve(total);
  std::string text;
  for (const auto& item : items_) {
    if (!(only & (1u << item->ParamType))) continue;
    text.clear();
    const std::string& v = item->InternalValue();
    AppendItemText(text, item->Name, item->DataType, item->ParamType, item->IsNull(), v.size(), v);
    AppendRecord(out, text);
  }
  return out;
}

std::string TVornParamList::SaveToTextLines() const {
  std::string out;
  for (const auto& item : items_) {
    const std::string& v = item->InternalValue();
    AppendItemText(out, item->Name, item->DataType, item->ParamType, item->IsNull(), v.size(), v);
    out += "\r\n";
  }
  return out;
}

std::string TVornParamList::SaveToJavaString() const {
  std::string out, text;
  for (const auto& item : items_) {
    text.clear();
    AppendItemText(text, item->Name, JdbcTypeOf(item->DataType), item->ParamType, item->IsNull(),
                   item->InternalValue().size(), JavaDisplayText(*item));
    AppendRecord(out, text);
  }
  return out;
}

std::string TVornParamList::SaveToPdaString() const {
  std::string out, value;
  for (const auto& item : items_) {
    uint8_t code;
    EncodePdaValue(*item, code, value);
    std::string_view name(item->Name);
    name = name.substr(0, name.find('\0'));
    PutInt32(out, static_cast<int32_t>(name.size() + value.size() + 8));
    out.append(name);
    out += '\0';
    out += static_cast<char>(code);
    out += static_cast<char>(item->ParamType);
    out += item->IsNull() ? '\1' : '\0';
    PutInt32(out, static_cast<int32_t>(value.size()));
    out += value;
  }
  return out;
}

std::string TVornParamList::SaveToPdaTextString() const {
  std::string out, text, value;
  for (const auto& item : items_) {
    uint8_t code;
    EncodePdaValue(*item, code, value);
    text.clear();
    AppendItemText(text, item->Name, code, item->ParamType, item->IsNull(), value.size(), value);
    AppendRecord(out, text);
  }
  return out;
}

void TVornParamList::LoadFromString(std::string_view text, int form) {
  // Read into a scratch list so that malformed input adds nothing.
  TVornParamList scratch;
  scratch.nextId_ = nextId_;
  switch (form) {
    case 0:
      ForEachRecord(text, [&](std::string_view r) { ReadStandardItem(scratch.Add(), r); });
      break;
    case 1: {
      size_t pos = 0;
      while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ReadStandardItem(scratch.Add(), line);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
      }
      break;
    }
    case 2:
      ForEachRecord(text, [&](std::string_view r) { ReadJavaItem(scratch.Add(), r); });
      break;
    case 6:
      ForEachRecord(text, [&](std::string_view r) { ReadPdaTextItem(scratch.Add(), r); });
      break;
    default:
      ForEachRecord(text, [&](std::string_view r) { ReadPdaBinaryItem(scratch.Add(), r); });
      break;
  }
  nextId_ = scratch.nextId_;
  for (auto& item : scratch.items_) {
    item->owner_ = this;
    items_.push_back(std::move(item));
  }
}

}  // namespace qzt
