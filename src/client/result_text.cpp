#include "client/result_text.h"

#include <cstring>

#include "client/client.h"
#include "platform/bcd.h"
#include "platform/byte_cursor.h"
#include "platform/date_time.h"
#include "platform/number_text.h"

namespace qzt {

namespace {

constexpr char kSep = '\x02', kNull = '\x03', kRowEnd = '\x04', kDouble = '\x05', kLength = '\x06', kFmtBcd = '\x07',
               kBcd = '\x08';

// The text from the cursor up to `end` (not included; the end byte is consumed).
std::string UpTo(ByteCursor& c, std::string_view all, char end) {
  const size_t start = c.Position();
  const size_t at = all.find(end, start);
  if (at == std::string_view::npos) throw EClientError("Result text ends inside a value");
  c.Skip(at - start + 1);
  return std::string(all.substr(start, at - start));
}

std::string DateText(TFieldType type, double v) {
  switch (type) {
    case ftDate: return FormatDateTime("yyyy-mm-dd", v);
    case ftTime: return FormatDateTime("hh:nn:ss", v);
    default: return FormatDateTime("yyyy-mm-dd hh:nn:ss", v);
  }
}

ResultValue ReadValue(ByteCursor& c, std::string_view all, const ResultColumn& column) {
  ResultValue v;
  if (c.AtEnd()) throw EClientError("Result text ends inside a row");
  const char first = static_cast<char>(c.PeekByte());
  if (first == kNull) {
    c.Skip(1);
    v.Null = true;
  } else if (first == kDouble) {
    c.Skip(1);
    const double d = c.Double();
    v.Text = column.Type == ftFloat || column.Type == ftCurrency ? FloatToStr(d) : DateText(column.Type, d);
  } else if (first == kBcd) {
    c.Skip(1);
    v.Text = CurrToStr(c.Int64());
  } else if (first == kFmtBcd) {
    c.Skip(1);
    TBcd bcd;
    const std::string_view bytes = c.Bytes(sizeof bcd);
    std::memcpy(&bcd, bytes.data(), sizeof bcd);
    v.Text = BcdToStr(bcd);  // any 34 bytes read as some number
  } else if (first == kLength) {
    c.Skip(1);
    const int32_t length = c.Int32();
    if (length == -1) {
      v.Absent = true;
    } else if (length < 0) {
      throw EClientError("Result text holds a negative length");
    } else {
      v.Text = std::string(c.Bytes(static_cast<size_t>(length)));
      v.Binary = column.Type != ftMemo && column.Type != ftOraClob && column.Type != ftFmtMemo;
    }
  } else if (column.Type == ftBoolean) {
    v.Text = UpTo(c, all, kSep) == "1" ? "True" : "False";
    return v;
  } else {
    v.Text = UpTo(c, all, kSep);
    return v;
  }
  if (c.AtEnd() || c.Byte() != kSep) throw EClientError("Result text misses a value separator");
  return v;
}

}  // namespace

std::vector<ResultColumn> ParseFieldDefs(std::string_view text) try {
  std::vector<ResultColumn> columns;
  ByteCursor c(text);
  while (!c.AtEnd()) {
    ResultColumn col;
    col.Name = UpTo(c, text, kSep);
    col.Type = FieldTypeFromOrdinal(StrToInt64Def(UpTo(c, text, kSep), 0));
    col.Size = static_cast<int32_t>(StrToInt64Def(UpTo(c, text, kSep), 0));
    UpTo(c, text, kSep);  // calculated
    UpTo(c, text, kSep);  // read-only
    if (c.AtEnd() || c.Byte() != kRowEnd) throw EClientError("Field definitions miss a field end");
    columns.push_back(std::move(col));
  }
  return columns;
} catch (const EReadError&) {
  throw EClientError("Field definitions end inside a field");
}

std::vector<ResultRow> ParseRows(std::string_view text, const std::vector<ResultColumn>& columns) try {
  std::vector<ResultRow> rows;
  if (text == std::string_view("NULL\x04", 5)) return rows;
  if (columns.empty() && !text.empty()) throw EClientError("Rows arrived without field definitions");
  ByteCursor c(text);
  while (!c.AtEnd()) {
    ResultRow row;
    row.reserve(columns.size());
    for (const ResultColumn& col : columns) row.push_back(ReadValue(c, text, col));
    if (c.AtEnd() || c.Byte() != kRowEnd) throw EClientError("Result text misses a row end");
    rows.push_back(std::move(row));
  }
  return rows;
} catch (const EReadError&) {
  throw EClientError("Result text ends inside a value");
}

}  // namespace qzt
