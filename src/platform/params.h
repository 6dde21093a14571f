// TParam / TParams: the parameters of a query or stored procedure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/field_types.h"
#include "platform/variant.h"

namespace qzt {

// The same ordinals as the parameter lists' TVornParamType.
enum TParamType : uint8_t { ptUnknownParam, ptInputParam, ptOutputParam, ptInputOutputParam, ptResultParam };

struct TParam {
  std::string Name;
  TFieldType DataType = ftUnknown;
  TParamType ParamType = ptUnknownParam;
  Variant Value = Variant::Null();
  int32_t Size = 0;
  bool IsNull() const { return Value.IsNullOrEmpty(); }
  void Clear() { Value = Variant::Null(); }
};

class TParams {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TParam& Items(int index) { return *items_.at(index); }
  const TParam& Items(int index) const { return *items_.at(index); }
  TParam& CreateParam(TFieldType type, std::string_view name, TParamType paramType);
  TParam* FindParam(std::string_view name);
  TParam& ParamByName(std::string_view name);  // EDatabaseError "Parameter '<name>' not found"
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TParam>> items_;
};

}  // namespace qzt
