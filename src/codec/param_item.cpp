#include "codec/param_item.h"

#include <cstring>

#include "codec/param_list.h"
#include "platform/number_text.h"
#include "platform/text_utils.h"

namespace qzt {
namespace {

constexpr uint8_t kTagDouble = 5, kTagBcd = 7, kTagCurrency = 8, kTagTimeStamp = 9;
constexpr const char* kNullGuid = "{00000000-0000-0000-0000-000000000000}";

template <typename T>
constexpr uint8_t TagOf();
template <>
constexpr uint8_t TagOf<double>() { return kTagDouble; }
template <>
constexpr uint8_t TagOf<int64_t>() { return kTagCurrency; }
template <>
constexpr uint8_t TagOf<TSQLTimeStamp>() { return kTagTimeStamp; }
template <>
constexpr uint8_t TagOf<TBcd>() { return kTagBcd; }

// The record in a tagged internal value, or a zero record when the value has neither form.
template <typename T>
T ReadTagged(const std::string& v) {
  T out{};
  if (v.size() == sizeof(T) + 1 && static_cast<uint8_t>(v[0]) == TagOf<T>())
    std::memcpy(&out, v.data() + 1, sizeof(T));
  else if (v.size() == sizeof(T) && (v.empty() || static_cast<uint8_t>(v[0]) != TagOf<T>()))
    std::memcpy(&out, v.data(), sizeof(T));
  return out;
}

bool IsSizedType(TFieldType t) {
  switch (t) {
    case ftString: case ftBytes: case ftVarBytes: case ftBlob: case ftMemo: case ftGraphic:
    case ftFixedChar: case ftWideString: case ftOraBlob: case ftOraClob: case ftGuid:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool SameParamName(std::string_view a, std::string_view b) { return SameText(Trim(a), Trim(b)); }

TVornParamItem::TVornParamItem(TVornParamList* owner) : owner_(owner) {
  if (owner_) Name = "Param" + std::to_string(owner_->TakeNextId());
}

void TVornParamItem::SetIsNull(bool v) {
  isNull_ = v;
  if (v) value_.clear();
}

void TVornParamItem::SetSize(int32_t v) {
  if (v >= 0 && v != size_ && IsSizedType(DataType)) size_ = v;
}

void TVornParamItem::SetInternal(std::string value, bool isNull) {
  isNull_ = isNull;
  value_ = isNull ? std::string() : std::move(value);
}

template <typename T>
void TVornParamItem::SetTagged(TFieldType type, const T& v) {
  DataType = type;
  value_.assign(1, static_cast<char>(TagOf<T>()));
  value_.append(reinterpret_cast<const char*>(&v), sizeof(T));
  isNull_ = false;
}

void TVornParamItem::SetText(TFieldType type, std::string text) {
  DataType = type;
  value_ = std::move(text);
  isNull_ = false;
}

int64_t TVornParamItem::DecimalValue() const { return StrToInt64Def(value_, 0); }

std::string TVornParamItem::AsString() {
  if (DataType == ftUnknown) DataType = ftString;
  if (isNull_) return DataType == ftGuid ? kNullGuid : "";
  switch (DataType) {
    case ftString: case ftFixedChar: case ftWideString: case ftMemo: case ftOraClob: case ftFmtMemo:
    case ftBlob: case ftOraBlob: case ftGraphic: case ftTypedBinary: case ftBytes: case ftVarBytes: case ftGuid:
      return value_;
    default:
      return Value().ToString();
  }
}

void TVornParamItem::SetAsString(std::string_view v) {
  SetText(ftString, std::string(v));
  if (v.empty()) SetIsNull(true);
}

void TVornParamItem::SetAsMemo(std::string_view v) {
  SetText(ftMemo, std::string(v));
  if (v.empty()) SetIsNull(true);
}

void TVornParamItem::SetAsBlob(std::string_view v) {
  SetText(ftBlob, std::string(v));
  if (v.empty()) SetIsNull(true);
}

int16_t TVornParamItem::AsSmallInt() const {
  if (isNull_) return 0;
  if (DataType == ftSmallint) return static_cast<int16_t>(DecimalValue());
  return static_cast<int16_t>(Value().ToInt64());
}

void TVornParamItem::SetAsSmallInt(int16_t v) { SetText(ftSmallint, std::to_string(v)); }

int32_t TVornParamItem::AsInteger() const {
  if (isNull_) return 0;
  if (DataType == ftInteger || DataType == ftAutoInc || DataType == ftLargeint)
    return static_cast<int32_t>(DecimalValue());
  return static_cast<int32_t>(Value().ToInt64());
}

void TVornParamItem::SetAsInteger(int32_t v) { SetText(ftInteger, std::to_string(v)); }

uint16_t TVornParamItem::AsWord() const {
  if (isNull_) return 0;
  if (DataType == ftWord) return static_cast<uint16_t>(DecimalValue());
  return static_cast<uint16_t>(Value().ToInt64());
}

void TVornParamItem::SetAsWord(uint16_t v) { SetText(ftWord, std::to_string(v)); }

int64_t TVornParamItem::AsLargeInt() const {
  if (isNull_) return 0;
  if (DataType == ftLargeint) return DecimalValue();
  return Value().ToInt64();
}

void TVornParamItem::SetAsLargeInt(int64_t v) { SetText(ftLargeint, std::to_string(v)); }

bool TVornParamItem::AsBoolean() const {
  if (isNull_) return false;
  if (DataType == ftBoolean) return SameText(value_, "True");
  return Value().ToBool();
}

void TVornParamItem::SetAsBoolean(bool v) { SetText(ftBoolean, v ? "True" : "False"); }

double TVornParamItem::AsFloat() const {
  if (isNull_) return 0;
  if (DataType == ftFloat) return ReadTagged<double>(value_);
  return Value().ToDouble();
}

void TVornParamItem::SetAsFloat(double v) { SetTagged(ftFloat, v); }

int64_t TVornParamItem::AsCurrency() const {
  if (isNull_) return 0;
  if (DataType == ftCurrency) return ReadTagged<int64_t>(value_);
  return Value().ToCurrency();
}

void TVornParamItem::SetAsCurrency(int64_t v) { SetTagged(ftCurrency, v); }

int64_t TVornParamItem::AsBCD() const {
  if (isNull_) return 0;
  if (DataType == ftBCD) return ReadTagged<int64_t>(value_);
  return Value().ToCurrency();
}

void TVornParamItem::SetAsBCD(int64_t v) { SetTagged(ftBCD, v); }

TDateTime TVornParamItem::AsDateTime() const {
  if (isNull_) return 0;
  switch (DataType) {
    case ftDate: case ftTime: case ftDateTime: return ReadTagged<double>(value_);
    case ftTimeStamp: return SQLTimeStampToDateTime(ReadTagged<TSQLTimeStamp>(value_));
    default: return Value().ToDateTime();
  }
}

TSQLTimeStamp TVornParamItem::AsSQLTimeStamp() const {
  if (isNull_) return NullSQLTimeStamp;
  if (DataType == ftTimeStamp) return ReadTagged<TSQLTimeStamp>(value_);
  return Value().ToSQLTimeStamp();
}

void TVornParamItem::SetAsSQLTimeStamp(const TSQLTimeStamp& v) { SetTagged(ftTimeStamp, v); }

TBcd TVornParamItem::AsFMTBCD() const {
  if (isNull_) return NullBcd;
  if (DataType == ftFMTBcd) return ReadTagged<TBcd>(value_);
  return Value().ToBcd();
}

void TVornParamItem::SetAsFMTBCD(const TBcd& v) { SetTagged(ftFMTBcd, v); }

void TVornParamItem::SetAsGuid(std::string_view v) {
  SetText(ftGuid, std::string(v));
  if (v.size() != 38) SetIsNull(true);
}

void TVornParamItem::SetAsStream(std::string_view bytes) {
  SetText(ftBlob, std::string(bytes));
  if (bytes.empty()) SetIsNull(true);
}

Variant TVornParamItem::Value() const {
  if (isNull_) return Variant::Null();
  switch (DataType) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: case ftMemo: case ftOraClob:
    case ftFmtMemo: case ftBlob: case ftOraBlob: case ftGraphic: case ftTypedBinary:
      return Variant(value_);
    case ftSmallint: return Variant::Int16(AsSmallInt());
    case ftInteger: case ftAutoInc: return Variant(AsInteger());
    case ftWord: return Variant::UInt16(AsWord());
    case ftIDispatch: return Variant(static_cast<int32_t>(DecimalValue()));
    case ftLargeint: return Variant(AsLargeInt());
    case ftBoolean: return Variant(AsBoolean());
    case ftFloat: return Variant(AsFloat());
    case ftCurrency: case ftBCD: return Variant::Currency(ReadTagged<int64_t>(value_));
    case ftDate: case ftTime: case ftDateTime: return Variant::Date(ReadTagged<double>(value_));
    case ftBytes: case ftVarBytes: return Variant::Bytes(value_);
    case ftTimeStamp: return Variant(ReadTagged<TSQLTimeStamp>(value_));
    case ftFMTBcd: return Variant(ReadTagged<TBcd>(value_));
    default: return Variant::Null();
  }
}

void TVornParamItem::SetValue(const Variant& v) {
  switch (v.Type()) {
    case VarType::Null: SetIsNull(true); break;
    case VarType::Int16: case VarType::Int8: case VarType::UInt8:
      if (DataType == ftInteger) SetAsInteger(v.ToInt32());
      else SetAsSmallInt(static_cast<int16_t>(v.ToInt64()));
      break;
    case VarType::Int32: SetAsInteger(v.ToInt32()); break;
    case VarType::Single: case VarType::Double: SetAsFloat(v.ToDouble()); break;
    case VarType::Currency: SetAsCurrency(v.ToCurrency()); break;
    case VarType::Date: SetAsDateTime(v.ToDouble()); break;
    case VarType::String: SetAsString(v.Bytes()); break;
    case VarType::Boolean: SetAsBoolean(v.ToBool()); break;
    case VarType::UInt16: SetAsWord(static_cast<uint16_t>(v.ToInt64())); break;
    case VarType::UInt32: case VarType::Int64: SetAsLargeInt(v.ToInt64()); break;
    case VarType::Dispatch: SetText(ftIDispatch, std::to_string(v.ToInt64())); break;
    case VarType::FMTBcd: SetAsFMTBCD(v.ToBcd()); break;
    case VarType::SQLTimeStamp: SetAsSQLTimeStamp(v.ToSQLTimeStamp()); break;
    case VarType::ByteArray:
      SetText(DataType == ftBytes || DataType == ftVarBytes ? DataType : ftBytes, v.Bytes());
      break;
    default:
      DataType = ftUnknown;
      SetIsNull(true);
      break;
  }
}

void TVornParamItem::SetAsText(std::string_view text) {
  if (DataType == ftUnknown) DataType = ftString;
  SetIsNull(true);
  if (text.empty()) return;
  const TFieldType before = DataType;
  try {
    switch (before) {
      case ftString: case ftBytes: case ftVarBytes: case ftFixedChar: case ftWideString: case ftGuid:
        SetAsString(text);
        break;
      case ftSmallint: SetAsSmallInt(static_cast<int16_t>(StrToInt(text))); break;
      case ftInteger: case ftAutoInc: SetAsInteger(StrToInt(text)); break;
      case ftWord: SetAsWord(static_cast<uint16_t>(StrToInt(text))); break;
      case ftBoolean: SetAsBoolean(UpperCase(Trim(text)) == "TRUE"); break;
      case ftFloat: SetAsFloat(StrToFloat(text)); break;
      case ftCurrency: SetAsCurrency(StrToCurr(text)); break;
      case ftBCD: SetAsBCD(StrToCurr(text)); break;
      case ftDate: SetAsDate(StrToDate(text)); break;
      case ftTime: SetAsTime(StrToTime(text)); break;
      case ftDateTime: SetAsDateTime(StrToDateTime(text)); break;
      case ftBlob: case ftOraBlob:
        SetAsBlob(text);
        DataType = before;
        break;
      case ftMemo: case ftOraClob:
        SetAsMemo(text);
        DataType = before;
        break;
      case ftLargeint: SetAsLargeInt(StrToInt64(text)); break;
      case ftTimeStamp: SetAsSQLTimeStamp(StrToSQLTimeStamp(text)); break;
      case ftFMTBcd: SetAsFMTBCD(StrToBcd(text)); break;
      default: SetValue(Variant(std::string(text))); break;
    }
  } catch (const Exception&) {
    DataType = before;
    SetIsNull(true);
    throw EVornParamException("Unable to call SetAsText for " + Name);
  }
}

void TVornParamItem::SetDisplayName(std::string_view name) {
  if (SameText(name, Name)) return;
  if (owner_) {
    for (int i = 0; i < owner_->Count(); ++i) {
      const TVornParamItem& other = owner_->Items(i);
      if (&other != this && SameText(other.Name, name)) throw EVornParamException("Error: Duplicate Param Name");
    }
  }
  Name = std::string(name);
}

void TVornParamItem::Assign(const TVornParamItem& other) {
  if (&other == this) return;
  Name = other.Name;
  value_ = other.value_;
  ParamType = other.ParamType;
  DataType = other.DataType;
  isNull_ = other.isNull_;
  size_ = other.size_;
}

void TVornParamItem::AssignField(const TField& field) {
  DataType = field.DataType;
  size_ = field.Size;
  if (Name.empty()) Name = field.FieldName;
  if (field.IsNull()) {
    SetIsNull(true);
    return;
  }
  switch (field.DataType) {
    case ftString: case ftFixedChar: case ftWideString:
      SetAsString(field.AsString());
      DataType = field.DataType;
      break;
    case ftBlob: case ftOraBlob: case ftGraphic: case ftTypedBinary: SetAsBlob(field.AsString()); break;
    case ftMemo: case ftOraClob: case ftFmtMemo: SetAsMemo(field.AsString()); break;
    case ftLargeint: SetAsLargeInt(field.AsLargeInt()); break;
    case ftGuid: SetAsGuid(field.AsString()); break;
    case ftTimeStamp: SetAsSQLTimeStamp(field.AsSQLTimeStamp()); break;
    case ftFMTBcd: SetAsFMTBCD(field.AsBCD()); break;
    case ftSmallint: SetAsSmallInt(static_cast<int16_t>(field.AsInteger())); break;
    case ftInteger: case ftAutoInc: SetAsInteger(field.AsInteger()); break;
    case ftWord: SetAsWord(static_cast<uint16_t>(field.AsInteger())); break;
    case ftBoolean: SetAsBoolean(field.AsBoolean()); break;
    case ftFloat: SetAsFloat(field.AsFloat()); break;
    case ftCurrency: SetAsCurrency(field.AsCurrency()); break;
    case ftBCD: SetAsBCD(field.AsCurrency()); break;
    case ftDate: SetAsDate(field.AsDateTime()); break;
    case ftTime: SetAsTime(field.AsDateTime()); break;
    case ftDateTime: SetAsDateTime(field.AsDateTime()); break;
    default: SetValue(field.AsVariant()); break;
  }
}

void TVornParamItem::AssignParam(const TParam& param) {
  Name = param.Name;
  ParamType = ParamTypeFromOrdinal(param.ParamType);
  if (param.IsNull()) SetIsNull(true);
  else SetValue(param.Value);
  DataType = param.DataType;
  size_ = param.Size;
}

void TVornParamItem::AssignToParam(TParam& param) const {
  param.Name = Name;
  param.DataType = DataType;
  param.ParamType = static_cast<TParamType>(ParamType);
  param.Value = isNull_ ? Variant::Null() : Value();
  param.Size = size_;
}

}  // namespace qzt
