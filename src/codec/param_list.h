// TVornParamList: an ordered collection of TVornParamItem, and its string forms.
//
// Forms (the number given when a list is created from a string):
//   0  standard: per item an Int32 length n and n bytes of item text
//        Name 06 DataType 06 ParamType 06 IsNull 06 ValueLength 06 Value
//      numbers are decimal text, Value is the internal value (param_item.h). The form of every message.
//   1  text lines: one item text per line (CR LF or LF), no length prefix
//   2  Java text: as form 0, with the JDBC type code for DataType and a display text for the value
//   3, 4, 5 (and any other number)  PDA binary: per item
//        Int32 n (= name length + value size + 8), name, 0 byte, PDA type, ParamType, IsNull,
//        Int32 value size s, s value bytes
//   6  PDA text: as form 0, with the PDA type code for DataType and the value in its PDA binary encoding
// Readers of every form check each length against what is left: a record or value that runs past the
// end of its string, or a name without its terminator, raises EVornParamException and nothing is added.
// Missing separators end a field at the end of its item text; numbers that are not numbers read as 0;
// data and parameter types outside their ranges read as ftUnknown / ptUnknown.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codec/param_item.h"

namespace qzt {

// A set of parameter types, bit n for ordinal n.
using ParamTypeSet = uint8_t;
constexpr ParamTypeSet ParamTypes(std::initializer_list<TVornParamType> types) {
  ParamTypeSet s = 0;
  for (auto t : types) s |= static_cast<ParamTypeSet>(1u << t);
  return s;
}
inline constexpr ParamTypeSet AllParamTypes = 0x1F;

// Names compare without regard to case, after trimming surrounding blanks.
bool SameParamName(std::string_view a, std::string_view b);

class TVornParamList {
 public:
  TVornParamList() = default;
  TVornParamList(std::string_view text, int form);  // an empty list filled by the reader of the form
  TVornParamList(const TVornParamList&) = delete;
  TVornParamList& operator=(const TVornParamList&) = delete;
  TVornParamList(TVornParamList&& other) noexcept { *this = std::move(other); }
  TVornParamList& operator=(TVornParamList&& other) noexcept;

  int Count() const { return static_cast<int>(items_.size()); }
  TVornParamItem& Items(int index);  // "Index <i> Out of bounds"
  const TVornParamItem& Items(int index) const;
  TVornParamItem& Add();
  TVornParamItem& NewParam(TFieldType dataType, std::string_view name, TVornParamType paramType);
  TVornParamItem* LookupParam(std::string_view name);
  TVornParamItem& RequireParam(std::string_view name);  // "Parameter Not Found: <name>"
  Variant ValueOf(std::string_view name);                // an empty string when absent
  void PutValue(std::string_view name, const Variant& v);
  TVornParamItem& AddValue(const Variant& v);            // named FastAdd<index>
  void AddValues(std::initializer_list<Variant> values);
  TVornParamItem& AddTyped(std::string_view name, TFieldType dataType, const Variant& v);
  bool RemoveParam(std::string_view name);
  void Clear() { items_.clear(); }
  void CopyTo(TVornParamList& target, bool clearFirst, ParamTypeSet only = AllParamTypes) const;
  std::unique_ptr<TVornParamList> Clone() const;

  std::string SaveToString(bool inputOnly = false) const;  // form 0
  std::string OutputsToString() const;                      // form 0, output, in-out and result items
  std::string SaveToTextLines() const;                      // form 1
  std::string SaveToJavaString() const;                     // form 2
  std::string SaveToPdaString() const;                      // PDA binary
  std::string SaveToPdaTextString() const;                  // form 6
  // Appends the items the text holds; on malformed text raises and appends nothing.
  void LoadFromString(std::string_view text, int form);

  // Two list flags that copies carry along.
  uint8_t Options[2] = {1, 0};

  int TakeNextId() { return ++nextId_; }

 private:
  std::string SaveStandard(ParamTypeSet only) const;
  std::vector<std::unique_ptr<TVornParamItem>> items_;
  int nextId_ = 0;
};

}  // namespace qzt
