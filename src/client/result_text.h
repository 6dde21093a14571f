// Reading the two texts results arrive in: the field-definition text (name, type, size and flags of each
// field) and the row text (values encoded by field type). Both come from the server and are read with
// every length checked; malformed text raises EClientError.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/field_types.h"

namespace qzt {

struct ResultColumn {
  std::string Name;
  TFieldType Type = ftUnknown;
  int32_t Size = 0;
};

struct ResultValue {
  bool Null = false;    // a null value
  bool Absent = false;  // not sent (a memo, blob or byte field the request did not ask for)
  bool Binary = false;  // bytes of a blob, byte or nested-dataset field
  std::string Text;     // the value as text (dates as yyyy-mm-dd hh:nn:ss, numbers in the fixed locale)
};

using ResultRow = std::vector<ResultValue>;

std::vector<ResultColumn> ParseFieldDefs(std::string_view text);
// The rows of a row text ("NULL" and the row end: none) for these columns.
std::vector<ResultRow> ParseRows(std::string_view text, const std::vector<ResultColumn>& columns);

}  // namespace qzt
