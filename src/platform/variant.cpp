#include "platform/variant.h"

#include <cmath>
#include <limits>

#include "platform/exceptions.h"
#include "platform/number_text.h"
#include "platform/platform_texts.h"
#include "platform/text_utils.h"

namespace qzt {

const char* VarTypeName(VarType t) {
  switch (t) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Int8: return "ShortInt";
    case VarType::UInt8: return "Byte";
    case VarType::Int16: return "Smallint";
    case VarType::UInt16: return "Word";
    case VarType::Int32: return "Integer";
    case VarType::UInt32: return "LongWord";
    case VarType::Int64: return "Int64";
    case VarType::Single: return "Single";
    case VarType::Double: return "Double";
    case VarType::Currency: return "Currency";
    case VarType::Date: return "Date";
    case VarType::Boolean: return "Boolean";
    case VarType::String: return "String";
    case VarType::ByteArray: return "Array Byte";
    case VarType::SQLTimeStamp: return "SQLTimeStampVariantType";
    case VarType::FMTBcd: return "FMTBcdVariantType";
    case VarType::Dispatch: return "Dispatch";
    case VarType::Error: return "Error";
  }
  return "Unknown";
}

void Variant::CastError(const char* to) const {
  throw EVariantTypeCastError(std::string("Could not convert variant of type (") + VarTypeName(type_) +
                              ") into type (" + to + ")");
}

bool Variant::IsInteger() const {
  switch (type_) {
    case VarType::Int8: case VarType::UInt8: case VarType::Int16: case VarType::UInt16:
    case VarType::Int32: case VarType::UInt32: case VarType::Int64: case VarType::Dispatch:
      return true;
    default:
      return false;
  }
}

bool Variant::IsFloat() const {
  return type_ == VarType::Single || type_ == VarType::Double || type_ == VarType::Date;
}

std::string Variant::ToString() const {
  if (IsInteger()) return std::to_string(std::get<int64_t>(v_));
  switch (type_) {
    case VarType::Empty:
    case VarType::Null: return "";
    case VarType::Single:
    case VarType::Double: return FloatToStr(std::get<double>(v_));
    case VarType::Currency: return CurrToStr(std::get<int64_t>(v_));
    case VarType::Date: return DateTimeToStr(std::get<double>(v_));
    case VarType::Boolean: return std::get<bool>(v_) ? TrueText : FalseText;
    case VarType::String:
    case VarType::ByteArray: return std::get<std::string>(v_);
    case VarType::SQLTimeStamp: return SQLTimeStampToStr(std::get<TSQLTimeStamp>(v_));
    case VarType::FMTBcd: return BcdToStr(std::get<TBcd>(v_));
    default: CastError("String");
  }
}

int64_t Variant::ToInt64() const {
  if (IsInteger()) return std::get<int64_t>(v_);
  try {
    switch (type_) {
      case VarType::Empty: return 0;
      case VarType::Single:
      case VarType::Double:
      case VarType::Date: return RoundToInt64(std::get<double>(v_));
      case VarType::Currency: return RoundToInt64(std::get<int64_t>(v_) / 10000.0);
      case VarType::Boolean: return std::get<bool>(v_) ? -1 : 0;
      case VarType::String: {
        const std::string& s = std::get<std::string>(v_);
        int64_t v;
        if (TryStrToInt64(s, v)) return v;
        return RoundToInt64(StrToFloat(s));
      }
      case VarType::FMTBcd: return RoundToInt64(BcdToDouble(std::get<TBcd>(v_)));
      case VarType::SQLTimeStamp: return RoundToInt64(SQLTimeStampToDateTime(std::get<TSQLTimeStamp>(v_)));
      default: break;
    }
  } catch (const EConvertError&) {
  }
  CastError("Int64");
}

int32_t Variant::ToInt32() const {
  int64_t v = ToInt64();
  if (v < INT32_MIN || v > INT32_MAX) CastError("Integer");
  return static_cast<int32_t>(v);
}

double Variant::ToDouble() const {
  if (IsInteger()) return static_cast<double>(std::get<int64_t>(v_));
  try {
    switch (type_) {
      case VarType::Empty: return 0;
      case VarType::Single:
      case VarType::Double:
      case VarType::Date: return std::get<double>(v_);
      case VarType::Currency: return CurrToDouble(std::get<int64_t>(v_));
      case VarType::Boolean: return std::get<bool>(v_) ? -1 : 0;
      case VarType::String: return StrToFloat(std::get<std::string>(v_));
      case VarType::FMTBcd: return BcdToDouble(std::get<TBcd>(v_));
      case VarType::SQLTimeStamp: return SQLTimeStampToDateTime(std::get<TSQLTimeStamp>(v_));
      default: break;
    }
  } catch (const EConvertError&) {
  }
  CastError("Double");
}

int64_t Variant::ToCurrency() const {
  if (type_ == VarType::Currency) return std::get<int64_t>(v_);
  if (IsInteger()) return std::get<int64_t>(v_) * 10000;
  try {
    if (type_ == VarType::String) return StrToCurr(std::get<std::string>(v_));
    return DoubleToCurr(ToDouble());
  } catch (const EConvertError&) {
  }
  CastError("Currency");
}

TDateTime Variant::ToDateTime() const {
  if (type_ == VarType::String) {
    TDateTime d;
    if (TryStrToDateTime(std::get<std::string>(v_), d)) return d;
    CastError("Date");
  }
  return ToDouble();
}

bool Variant::ToBool() const {
  switch (type_) {
    case VarType::Boolean: return std::get<bool>(v_);
    case VarType::String: {
      std::string_view s = Trim(std::get<std::string>(v_));
      if (SameText(s, TrueText)) return true;
      if (SameText(s, FalseText)) return false;
      double d;
      if (TryStrToFloat(s, d)) return d != 0;
      CastError("Boolean");
    }
    default: return ToDouble() != 0;
  }
}

TSQLTimeStamp Variant::ToSQLTimeStamp() const {
  if (type_ == VarType::SQLTimeStamp) return std::get<TSQLTimeStamp>(v_);
  return DateTimeToSQLTimeStamp(ToDateTime());
}

TBcd Variant::ToBcd() const {
  if (type_ == VarType::FMTBcd) return std::get<TBcd>(v_);
  if (type_ == VarType::String) {
    TBcd b;
    if (TryStrToBcd(std::get<std::string>(v_), b)) return b;
    CastError("FMTBcdVariantType");
  }
  if (type_ == VarType::Currency) return StrToBcd(CurrToStr(std::get<int64_t>(v_)));
  if (IsInteger()) return StrToBcd(std::to_string(std::get<int64_t>(v_)));
  return DoubleToBcd(ToDouble());
}

const std::string& Variant::Bytes() const {
  if (type_ != VarType::String && type_ != VarType::ByteArray) CastError("String");
  return std::get<std::string>(v_);
}

}  // namespace qzt
