// Variant: a value of one of the platform's variant types, with the conversions the system uses.
// Null and Empty are distinct; strings and byte arrays hold raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/bcd.h"
#include "platform/date_time.h"

namespace qzt {

enum class VarType : uint8_t {
  Empty,
  Null,
  Int8,
  UInt8,
  Int16,
  UInt16,
  Int32,
  UInt32,
  Int64,
  Single,
  Double,
  Currency,  // Int64 scaled by 10000
  Date,      // TDateTime
  Boolean,
  String,
  ByteArray,  // one-dimensional, bounds 0 .. length-1
  SQLTimeStamp,
  FMTBcd,
  Dispatch,  // an in-process interface handle
  Error,
};

const char* VarTypeName(VarType t);

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(int32_t v) : type_(VarType::Int32), v_(int64_t{v}) {}
  Variant(int64_t v) : type_(VarType::Int64), v_(v) {}
  Variant(double v) : type_(VarType::Double), v_(v) {}
  Variant(bool v) : type_(VarType::Boolean), v_(v) {}
  Variant(std::string v) : type_(VarType::String), v_(std::move(v)) {}
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(const TSQLTimeStamp& v) : type_(VarType::SQLTimeStamp), v_(v) {}
  Variant(const TBcd& v) : type_(VarType::FMTBcd), v_(v) {}

  static Variant Null() { return Variant(VarType::Null, std::monostate{}); }
  static Variant Int8(int8_t v) { return Variant(VarType::Int8, int64_t{v}); }
  static Variant UInt8(uint8_t v) { return Variant(VarType::UInt8, int64_t{v}); }
  static Variant Int16(int16_t v) { return Variant(VarType::Int16, int64_t{v}); }
  static Variant UInt16(uint16_t v) { return Variant(VarType::UInt16, int64_t{v}); }
  static Variant UInt32(uint32_t v) { return Variant(VarType::UInt32, int64_t{v}); }
  static Variant Single(float v) { return Variant(VarType::Single, double{v}); }
  static Variant Currency(int64_t scaled) { return Variant(VarType::Currency, scaled); }
  static Variant Date(TDateTime v) { return Variant(VarType::Date, double{v}); }
  static Variant Bytes(std::string v) { return Variant(VarType::ByteArray, std::move(v)); }
  static Variant Dispatch(int64_t handle) { return Variant(VarType::Dispatch, handle); }
  static Variant Error() { return Variant(VarType::Error, std::monostate{}); }

  VarType Type() const { return type_; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNullOrEmpty() const { return IsNull() || IsEmpty(); }

  // Conversions; a value that does not convert raises EVariantTypeCastError.
  std::string ToString() const;  // Null and Empty give ""
  int64_t ToInt64() const;        // floating values rounded half to even; True is -1
  int32_t ToInt32() const;
  double ToDouble() const;
  int64_t ToCurrency() const;
  TDateTime ToDateTime() const;
  bool ToBool() const;
  TSQLTimeStamp ToSQLTimeStamp() const;
  TBcd ToBcd() const;
  // The raw bytes of a string or byte array.
  const std::string& Bytes() const;

  bool operator==(const Variant& o) const { return type_ == o.type_ && v_ == o.v_; }

 private:
  using Storage = std::variant<std::monostate, int64_t, double, bool, std::string, TSQLTimeStamp, TBcd>;
  Variant(VarType t, Storage v) : type_(t), v_(std::move(v)) {}
  [[noreturn]] void CastError(const char* to) const;
  bool IsInteger() const;
  bool IsFloat() const;

  VarType type_ = VarType::Empty;
  Storage v_;
};

}  // namespace qzt
