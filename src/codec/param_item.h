// TVornParamItem: one named, typed value of a parameter list.
//
// Whatever accessor sets it, the value is kept as one byte string, the internal value, in the encoding
// of the item's data type; the wire forms carry that string unchanged:
//   text, memo, blob and byte types   the bytes
//   integer types                     decimal text
//   ftBoolean                         "True" / "False"
//   ftFloat, ftDate, ftTime, ftDateTime  tag 5 + IEEE double (dates: days since 1899-12-30)
//   ftCurrency, ftBCD                 tag 8 + Int64 amount x 10000
//   ftTimeStamp                       tag 9 + 16-byte SQL time stamp
//   ftFMTBcd                          tag 7 + 34-byte BCD record
//   ftGuid                            the 38-character braced text
//   ftIDispatch                       decimal text of a handle
// A tagged value is read only when it has the tagged length and its tag, or the bare length without the
// tag; anything else reads as zero. A null item always has an empty internal value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bcd.h"
#include "platform/exceptions.h"
#include "platform/field.h"
#include "platform/field_types.h"
#include "platform/params.h"
#include "platform/variant.h"

namespace qzt {

enum TVornParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

inline TVornParamType ParamTypeFromOrdinal(int64_t v) {
  return v >= 0 && v <= ptResult ? static_cast<TVornParamType>(v) : ptUnknown;
}

QZT_EXCEPTION(EVornParamException);

class TVornParamList;

class TVornParamItem {
 public:
  explicit TVornParamItem(TVornParamList* owner = nullptr);

  std::string Name;
  TVornParamType ParamType = ptUnknown;
  TFieldType DataType = ftUnknown;

  bool IsNull() const { return isNull_; }
  void SetIsNull(bool v);
  int32_t Size() const { return size_; }
  void SetSize(int32_t v);  // only for the sized types, and only a non-negative new value
  const std::string& InternalValue() const { return value_; }
  // Stores name-less raw state as the readers do: no conversion, no checks.
  void SetInternal(std::string value, bool isNull);
  TVornParamList* Owner() const { return owner_; }

  std::string AsString();  // a DataType of 0 becomes ftString first
  void SetAsString(std::string_view v);
  std::string AsMemo() { return AsString(); }
  void SetAsMemo(std::string_view v);
  std::string AsBlob() { return AsString(); }
  void SetAsBlob(std::string_view v);
  int16_t AsSmallInt() const;
  void SetAsSmallInt(int16_t v);
  int32_t AsInteger() const;
  void SetAsInteger(int32_t v);
  uint16_t AsWord() const;
  void SetAsWord(uint16_t v);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t v);
  bool AsBoolean() const;
  void SetAsBoolean(bool v);
  double AsFloat() const;
  void SetAsFloat(double v);
  int64_t AsCurrency() const;  // amount x 10000
  void SetAsCurrency(int64_t v);
  int64_t AsBCD() const;
  void SetAsBCD(int64_t v);
  TDateTime AsDate() const { return AsDateTime(); }
  void SetAsDate(TDateTime v) { SetTagged(ftDate, v); }
  TDateTime AsTime() const { return AsDateTime(); }
  void SetAsTime(TDateTime v) { SetTagged(ftTime, v); }
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime v) { SetTagged(ftDateTime, v); }
  TSQLTimeStamp AsSQLTimeStamp() const;
  void SetAsSQLTimeStamp(const TSQLTimeStamp& v);
  TBcd AsFMTBCD() const;
  void SetAsFMTBCD(const TBcd& v);
  std::string AsGuid() { return AsString(); }
  void SetAsGuid(std::string_view v);
  std::string AsStream() const { return value_; }
  void SetAsStream(std::string_view bytes);

  Variant Value() const;
  void SetValue(const Variant& v);
  // Sets the value from text by the current data type; failures raise "Unable to call SetAsText for <name>".
  void SetAsText(std::string_view text);
  // The designers' name setter: refuses a name another item of the list already has.
  void SetDisplayName(std::string_view name);
  void Assign(const TVornParamItem& other);
  // From and to the platform's field and parameter objects.
  void AssignField(const TField& field);
  void AssignParam(const TParam& param);
  void AssignToField(TField& field) const { field.SetAsVariant(Value()); }
  void AssignToParam(TParam& param) const;

 private:
  friend class TVornParamList;
  template <typename T>
  void SetTagged(TFieldType type, const T& v);
  void SetText(TFieldType type, std::string text);
  int64_t DecimalValue() const;

  TVornParamList* owner_;
  std::string value_;
  bool isNull_ = true;
  int32_t size_ = 0;
};

}  // namespace qzt
