#include "platform/field.h"

#include "platform/dataset.h"
#include "platform/number_text.h"
#include "platform/platform_texts.h"
#include "platform/text_utils.h"

namespace qzt {

bool IsBlobType(TFieldType t) {
  switch (t) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary: case ftDataSet: case ftOraBlob: case ftOraClob:
      return true;
    default:
      return false;
  }
}

bool IsStringType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

bool IsIntegerType(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint;
}

namespace {

int64_t InRange(int64_t v, int64_t lo, int64_t hi, std::string_view name) {
  if (v < lo || v > hi)
    throw EDatabaseError(std::to_string(v) + " is not a valid value for field '" + std::string(name) +
                         "'. The allowed range is " + std::to_string(lo) + " to " + std::to_string(hi));
  return v;
}

}  // namespace

Variant NormalizeFieldValue(TFieldType t, const Variant& v, std::string_view name) {
  if (v.IsNullOrEmpty()) return Variant::Null();
  if (IsStringType(t) || IsBlobType(t)) return Variant(v.ToString());
  switch (t) {
    case ftSmallint: return Variant::Int16(static_cast<int16_t>(InRange(v.ToInt64(), INT16_MIN, INT16_MAX, name)));
    case ftInteger:
    case ftAutoInc: return Variant(static_cast<int32_t>(InRange(v.ToInt64(), INT32_MIN, INT32_MAX, name)));
    case ftWord: return Variant::UInt16(static_cast<uint16_t>(InRange(v.ToInt64(), 0, UINT16_MAX, name)));
    case ftLargeint: return Variant(v.ToInt64());
    case ftBoolean: return Variant(v.ToBool());
    case ftFloat:
    case ftCurrency: return Variant(v.ToDouble());
    case ftBCD: return Variant::Currency(v.ToCurrency());
    case ftFMTBcd: return Variant(v.ToBcd());
    case ftDate:
    case ftTime:
    case ftDateTime: return Variant::Date(v.ToDateTime());
    case ftTimeStamp: return Variant(v.ToSQLTimeStamp());
    case ftBytes:
    case ftVarBytes: return Variant::Bytes(v.ToString());
    default: return v;
  }
}

TField::TField(TDataSet* dataSet, std::string name, TFieldType type, int32_t size, TFieldKind kind)
    : FieldName(std::move(name)), DataType(type), Size(size), FieldKind(kind), dataSet_(dataSet) {}

Variant TField::AsVariant() const {
  Variant v;
  if (!dataSet_->GetFieldValue(*this, v)) return Variant::Null();
  return v;
}

void TField::SetAsVariant(const Variant& v) {
  dataSet_->SetFieldValue(*this, NormalizeFieldValue(DataType, v, FieldName));
}

std::string TField::AsString() const {
  const Variant v = AsVariant();
  if (v.IsNull()) return "";
  switch (DataType) {
    case ftDate: return DateToStr(v.ToDouble());
    case ftTime: return TimeToStr(v.ToDouble());
    case ftCurrency: return FloatToStr(v.ToDouble());
    default: return v.ToString();
  }
}

void TField::SetAsString(std::string_view s) {
  if (IsStringType(DataType) || IsBlobType(DataType) || DataType == ftBytes || DataType == ftVarBytes) {
    SetAsVariant(Variant(std::string(s)));
    return;
  }
  if (Trim(s).empty()) {
    Clear();
    return;
  }
  switch (DataType) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
      SetAsVariant(Variant(StrToInt64(s)));
      break;
    case ftFloat: case ftCurrency: SetAsVariant(Variant(StrToFloat(s))); break;
    case ftBCD: SetAsVariant(Variant::Currency(StrToCurr(s))); break;
    case ftFMTBcd: SetAsVariant(Variant(StrToBcd(s))); break;
    case ftBoolean: {
      std::string_view t = Trim(s);
      if (SameText(t, TrueText) || SameText(t, "T")) SetAsBoolean(true);
      else if (SameText(t, FalseText) || SameText(t, "F")) SetAsBoolean(false);
      else throw EDatabaseError("'" + std::string(s) + "' is not a valid boolean value for field '" + FieldName + "'");
      break;
    }
    case ftDate: SetAsDateTime(StrToDate(s)); break;
    case ftTime: SetAsDateTime(StrToTime(s)); break;
    case ftDateTime: SetAsDateTime(StrToDateTime(s)); break;
    case ftTimeStamp: SetAsVariant(Variant(StrToSQLTimeStamp(s))); break;
    default: SetAsVariant(Variant(std::string(s))); break;
  }
}

int32_t TField::AsInteger() const {
  const Variant v = AsVariant();
  return v.IsNull() ? 0 : v.ToInt32();
}

int64_t TField::AsLargeInt() const {
  const Variant v = AsVariant();
  return v.IsNull() ? 0 : v.ToInt64();
}

double TField::AsFloat() const {
  const Variant v = AsVariant();
  return v.IsNull() ? 0 : v.ToDouble();
}

int64_t TField::AsCurrency() const {
  const Variant v = AsVariant();
  return v.IsNull() ? 0 : v.ToCurrency();
}

TDateTime TField::AsDateTime() const {
  const Variant v = AsVariant();
  return v.IsNull() ? 0 : v.ToDateTime();
}

bool TField::AsBoolean() const {
  const Variant v = AsVariant();
  return v.IsNull() ? false : v.ToBool();
}

TSQLTimeStamp TField::AsSQLTimeStamp() const {
  const Variant v = AsVariant();
  return v.IsNull() ? NullSQLTimeStamp : v.ToSQLTimeStamp();
}

TBcd TField::AsBCD() const {
  const Variant v = AsVariant();
  return v.IsNull() ? NullBcd : v.ToBcd();
}

}  // namespace qzt
