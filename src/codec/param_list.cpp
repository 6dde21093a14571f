#include "codec/param_list.h"

#include "platform/text_utils.h"

namespace qzt {

TVornParamList::TVornParamList(std::string_view text, int form) { LoadFromString(text, form); }

TVornParamList& TVornParamList::operator=(TVornParamList&& other) noexcept {
  if (this == &other) return *this;
  items_ = std::move(other.items_);
  other.items_.clear();
  nextId_ = other.nextId_;
  Options[0] = other.Options[0];
  Options[1] = other.Options[1];
  for (auto& item : items_) item->owner_ = this;  // items know their list
  return *this;
}

TVornParamItem& TVornParamList::Items(int index) {
  return const_cast<TVornParamItem&>(static_cast<const TVornParamList*>(this)->Items(index));
}

const TVornParamItem& TVornParamList::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EVornParamException("Index " + std::to_string(index) + " Out of bounds");
  return *items_[index];
}

TVornParamItem& TVornParamList::Add() {
  items_.push_back(std::make_unique<TVornParamItem>(this));
  items_.back()->ParamType = ptInput;
  return *items_.back();
}

TVornParamItem& TVornParamList::NewParam(TFieldType dataType, std::string_view name, TVornParamType paramType) {
  TVornParamItem& item = Add();
  item.DataType = dataType;
  item.Name = std::string(name);
  item.ParamType = paramType;
  return item;
}

TVornParamItem* TVornParamList::LookupParam(std::string_view name) {
  for (auto& item : items_)
    if (SameParamName(item->Name, name)) return item.get();
  return nullptr;
}

TVornParamItem& TVornParamList::RequireParam(std::string_view name) {
  TVornParamItem* item = LookupParam(name);
  if (!item) throw EVornParamException("Parameter Not Found: " + std::string(name));
  return *item;
}

Variant TVornParamList::ValueOf(std::string_view name) {
  TVornParamItem* item = LookupParam(name);
  return item ? item->Value() : Variant(std::string());
}

void TVornParamList::PutValue(std::string_view name, const Variant& v) {
  if (TVornParamItem* item = LookupParam(name)) {
    item->SetValue(v);
    return;
  }
  TVornParamItem& item = Add();
  item.Name = std::string(name);
  item.SetValue(v);
}

TVornParamItem& TVornParamList::AddValue(const Variant& v) {
  TVornParamItem& item = Add();
  item.Name = "FastAdd" + std::to_string(Count() - 1);
  item.SetValue(v);
  return item;
}

void TVornParamList::AddValues(std::initializer_list<Variant> values) {
  for (const Variant& v : values) AddValue(v);
}

TVornParamItem& TVornParamList::AddTyped(std::string_view name, TFieldType dataType, const Variant& v) {
  TVornParamItem& item = Add();
  item.Name = std::string(name);
  item.SetValue(v);
  item.DataType = dataType;
  if (dataType == ftCurrency && !v.IsNullOrEmpty()) item.SetAsCurrency(v.ToCurrency());
  return item;
}

bool TVornParamList::RemoveParam(std::string_view name) {
  for (auto it = items_.begin(); it != items_.end(); ++it)
    if (SameParamName((*it)->Name, name)) {
      items_.erase(it);
      return true;
    }
  return false;
}

void TVornParamList::CopyTo(TVornParamList& target, bool clearFirst, ParamTypeSet only) const {
  if (&target == this) return;
  if (clearFirst) target.Clear();
  target.Options[0] = Options[0];
  target.Options[1] = Options[1];
  for (const auto& item : items_)
    if (only & (1u << item->ParamType)) target.Add().Assign(*item);
}

std::unique_ptr<TVornParamList> TVornParamList::Clone() const {
  auto copy = std::make_unique<TVornParamList>();
  CopyTo(*copy, false);
  return copy;
}

std::string TVornParamList::SaveToString(bool inputOnly) const {
  return SaveStandard(inputOnly ? ParamTypes({ptInput, ptInputOutput}) : AllParamTypes);
}

std::string TVornParamList::OutputsToString() const {
  return SaveStandard(ParamTypes({ptOutput, ptInputOutput, ptResult}));
}

}  // namespace qzt
