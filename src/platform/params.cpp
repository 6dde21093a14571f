#include "platform/params.h"

#include "platform/field.h"
#include "platform/text_utils.h"

namespace qzt {

TParam& TParams::CreateParam(TFieldType type, std::string_view name, TParamType paramType) {
  items_.push_back(std::make_unique<TParam>());
  TParam& p = *items_.back();
  p.Name = std::string(name);
  p.DataType = type;
  p.ParamType = paramType;
  return p;
}

TParam* TParams::FindParam(std::string_view name) {
  for (auto& p : items_)
    if (SameText(p->Name, name)) return p.get();
  return nullptr;
}

TParam& TParams::ParamByName(std::string_view name) {
  TParam* p = FindParam(name);
  if (!p) throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
  return *p;
}

}  // namespace qzt
