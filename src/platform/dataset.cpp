#include "platform/dataset.h"

#include <algorithm>
#include <cmath>

#include "platform/text_utils.h"

namespace qzt {

std::vector<std::string> SplitFieldNames(std::string_view names) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= names.size()) {
    size_t semi = names.find(';', pos);
    if (semi == std::string_view::npos) semi = names.size();
    std::string_view part = Trim(names.substr(pos, semi - pos));
    if (!part.empty()) out.emplace_back(part);
    pos = semi + 1;
  }
  return out;
}

TDataSet::TDataSet(std::string name) { Name = std::move(name); }

TDataSet::~TDataSet() {
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* l : links) l->DataSetDestroyed();
}

void TDataSet::DatabaseError(const std::string& message) const {
  throw EDatabaseError(Name.empty() ? message : Name + ": " + message);
}

TField* TDataSet::FindField(std::string_view name) const {
  for (const auto& f : fields_)
    if (SameText(f->FieldName, name)) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* f = FindField(name);
  if (!f) DatabaseError("Field '" + std::string(name) + "' not found");
  return *f;
}

TField& TDataSet::AddField(std::string name, TFieldType type, int32_t size, TFieldKind kind) {
  if (Active()) DatabaseError("Cannot perform this operation on an open dataset");
  fields_.push_back(std::make_unique<TField>(this, std::move(name), type, size, kind));
  fields_.back()->Index = FieldCount() - 1;
  persistentFields_ = true;
  return *fields_.back();
}

void TDataSet::ClearFields() {
  if (Active()) DatabaseError("Cannot perform this operation on an open dataset");
  fields_.clear();
  persistentFields_ = false;
}

void TDataSet::CreateFields() {
  if (!persistentFields_) {
    fields_.clear();
    for (size_t i = 0; i < FieldDefs.size(); ++i) {
      const TFieldDef& d = FieldDefs[i];
      fields_.push_back(std::make_unique<TField>(this, d.Name, d.DataType, d.Size));
      fields_.back()->Required = d.Required;
    }
  }
  for (size_t i = 0; i < fields_.size(); ++i) {
    TField& f = *fields_[i];
    f.Index = static_cast<int>(i);
    if (f.FieldKind != fkData) continue;
    f.FieldNo = 0;
    for (size_t k = 0; k < FieldDefs.size(); ++k)
      if (SameText(FieldDefs[k].Name, f.FieldName)) f.FieldNo = static_cast<int>(k + 1);
    if (f.FieldNo == 0) DatabaseError("Field '" + f.FieldName + "' not found");
  }
}

void TDataSet::Open() {
  if (Active()) return;
  Fire(BeforeOpen, *this);
  InternalOpen();
  try {
    CreateFields();
  } catch (...) {
    InternalClose();
    throw;
  }
  calcValues_.assign(fields_.size(), Variant::Null());
  state_ = dsBrowse;
  modified_ = false;
  pos_ = -1;
  const bool found = SeekVisible(0, 1);
  bof_ = true;
  eof_ = !found;
  Fire(AfterOpen, *this);
  for (TDataLink* l : links_) l->ActiveChanged();
  DoAfterScroll();
}

void TDataSet::Close() {
  if (!Active()) return;
  Fire(BeforeClose, *this);
  if (state_ == dsEdit || state_ == dsInsert) InternalCancel();
  InternalClose();
  state_ = dsInactive;
  if (!persistentFields_) fields_.clear();
  calcValues_.clear();
  pos_ = -1;
  eof_ = bof_ = true;
  Fire(AfterClose, *this);
  for (TDataLink* l : links_) l->ActiveChanged();
}

bool TDataSet::VisibleAt(int64_t pos) {
  if (pos < 0 || !InternalHasRecord(pos)) return false;
  InternalSetCurrent(pos);
  CalculateFields();
  return RecordVisible();
}

void TDataSet::SetCurrent(int64_t pos) {
  pos_ = pos;
  InternalSetCurrent(pos);
  CalculateFields();
}

bool TDataSet::SeekVisible(int64_t from, int step) {
  for (int64_t p = from; p >= 0 && InternalHasRecord(p); p += step) {
    if (VisibleAt(p)) {
      SetCurrent(p);
      return true;
    }
  }
  SetCurrent(pos_);
  return false;
}

void TDataSet::Resync() {
  const int64_t from = std::max<int64_t>(pos_, 0);
  if (SeekVisible(from, 1) || SeekVisible(from - 1, -1)) {
    eof_ = bof_ = false;
  } else {
    SetCurrent(-1);
    eof_ = bof_ = true;
  }
}

bool TDataSet::HasRecordFilter() const { return Filtered && OnFilterRecord; }

bool TDataSet::RecordVisible() {
  if (!Filtered || !OnFilterRecord) return true;
  const TDataSetState saved = state_;
  state_ = dsFilter;
  bool accept = true;
  try {
    OnFilterRecord(*this, accept);
  } catch (...) {
    state_ = saved;
    throw;
  }
  state_ = saved;
  return accept;
}

void TDataSet::Scroll(const std::function<void()>& move) {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
  CheckBrowseMode();
  Fire(BeforeScroll, *this);
  move();
  DoAfterScroll();
}

void TDataSet::First() {
  Scroll([&] {
    const bool found = SeekVisible(0, 1);
    if (!found) SetCurrent(-1);
    bof_ = true;
    eof_ = !found;
  });
}

void TDataSet::Last() {
  Scroll([&] {
    const bool found = SeekVisible(InternalRecordCount() - 1, -1);
    if (!found) SetCurrent(-1);
    eof_ = true;
    bof_ = !found;
  });
}

void TDataSet::Next() {
  if (eof_) return;
  Scroll([&] {
    bof_ = false;
    if (!SeekVisible(pos_ + 1, 1)) eof_ = true;
  });
}

void TDataSet::Prior() {
  if (bof_) return;
  Scroll([&] {
    eof_ = false;
    if (!SeekVisible(pos_ - 1, -1)) bof_ = true;
  });
}

int TDataSet::MoveBy(int distance) {
  int moved = 0;
  Scroll([&] {
    while (distance > 0 && !eof_) {
      bof_ = false;
      if (SeekVisible(pos_ + 1, 1)) {
        ++moved;
        --distance;
      } else {
        eof_ = true;
      }
    }
    while (distance < 0 && !bof_) {
      eof_ = false;
      if (SeekVisible(pos_ - 1, -1)) {
        --moved;
        ++distance;
      } else {
        bof_ = true;
      }
    }
  });
  return moved;
}

bool TDataSet::IsEmpty() { return !Active() || (pos_ < 0 && state_ != dsInsert); }

int TDataSet::RecordCount() {
  if (!Active()) return 0;
  if (!HasRecordFilter()) return static_cast<int>(InternalRecordCount());
  const int64_t saved = pos_;
  int count = 0;
  for (int64_t p = 0; InternalHasRecord(p); ++p)
    if (VisibleAt(p)) ++count;
  SetCurrent(saved);
  return count;
}

int TDataSet::RecNo() {
  if (!Active() || pos_ < 0) return 0;
  if (!HasRecordFilter()) return static_cast<int>(pos_ + 1);
  const int64_t saved = pos_;
  int n = 0;
  for (int64_t p = 0; p <= saved; ++p)
    if (VisibleAt(p)) ++n;
  SetCurrent(saved);
  return n;
}

void TDataSet::SetRecNo(int recNo) {
  Scroll([&] {
    int n = 0;
    for (int64_t p = 0; InternalHasRecord(p); ++p)
      if (VisibleAt(p) && ++n == recNo) {
        SetCurrent(p);
        eof_ = bof_ = false;
        return;
      }
    SetCurrent(pos_);
  });
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  Resync();
  DataEvent();
}

TBookmark TDataSet::GetBookmark() {
  if (!Active() || pos_ < 0) return {};
  return InternalBookmark(pos_);
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  Scroll([&] {
    const int64_t p = InternalFindBookmark(bookmark);
    if (p < 0) DatabaseError("Record not found");
    SetCurrent(p);
    eof_ = bof_ = false;
  });
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!Active() || bookmark.empty()) return false;
  try {
    return InternalFindBookmark(bookmark) >= 0;
  } catch (const Exception&) {
    return false;
  }
}

std::vector<TField*> TDataSet::FieldList(std::string_view names) const {
  std::vector<TField*> out;
  for (const std::string& n : SplitFieldNames(names)) out.push_back(&FieldByName(n));
  return out;
}

bool TDataSet::MatchesKeys(const std::vector<TField*>& fields, const std::vector<Variant>& values,
                           TLocateOptions options) {
  for (size_t i = 0; i < fields.size(); ++i) {
    const TField& f = *fields[i];
    const Variant& key = values[i];
    const Variant v = f.AsVariant();
    if (key.IsNullOrEmpty() || v.IsNull()) {
      if (key.IsNullOrEmpty() != v.IsNull()) return false;
      continue;
    }
    if (IsStringType(f.DataType) || f.IsBlob()) {
      std::string a = v.ToString(), b = key.ToString();
      if (options & loCaseInsensitive) {
        a = UpperCase(a);
        b = UpperCase(b);
      }
      if (options & loPartialKey ? a.compare(0, b.size(), b) != 0 : a != b) return false;
      continue;
    }
    try {
      const Variant k = NormalizeFieldValue(f.DataType, key, f.FieldName);
      if (v.Type() == VarType::Double || v.Type() == VarType::Date) {
        if (v.ToDouble() != k.ToDouble()) return false;
      } else if (!(v == k)) {
        return false;
      }
    } catch (const Exception&) {
      return false;  // a key that does not convert to the field's type matches nothing
    }
  }
  return true;
}

bool TDataSet::Locate(std::string_view keyFields, const std::vector<Variant>& keyValues, TLocateOptions options) {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
  CheckBrowseMode();
  const std::vector<TField*> fields = FieldList(keyFields);
  if (fields.size() != keyValues.size()) DatabaseError("Locate: the number of values differs from the fields");
  const int64_t saved = pos_;
  for (int64_t p = 0; InternalHasRecord(p); ++p) {
    if (VisibleAt(p) && MatchesKeys(fields, keyValues, options)) {
      SetCurrent(saved);
      Scroll([&] {
        SetCurrent(p);
        eof_ = bof_ = false;
      });
      return true;
    }
  }
  SetCurrent(saved);
  return false;
}

Variant TDataSet::Lookup(std::string_view keyFields, const std::vector<Variant>& keyValues,
                         std::string_view resultField) {
  if (!Active()) return Variant::Null();
  const std::vector<TField*> fields = FieldList(keyFields);
  if (fields.size() != keyValues.size()) DatabaseError("Lookup: the number of values differs from the fields");
  TField& result = FieldByName(resultField);
  const int64_t saved = pos_;
  Variant out = Variant::Null();
  const TDataSetState state = state_;
  if (state_ == dsEdit || state_ == dsInsert) state_ = dsBrowse;  // read stored records, not the edit buffer
  for (int64_t p = 0; InternalHasRecord(p); ++p) {
    if (VisibleAt(p) && MatchesKeys(fields, keyValues, 0)) {
      out = result.AsVariant();
      break;
    }
  }
  state_ = state;
  SetCurrent(saved);
  return out;
}

void TDataSet::Append() { BeginInsert(true); }

void TDataSet::Insert() { BeginInsert(false); }

void TDataSet::BeginInsert(bool append) {
  CheckBrowseMode();
  Fire(BeforeInsert, *this);
  Fire(BeforeScroll, *this);
  savedPos_ = pos_;
  InternalInsert(append);
  state_ = dsInsert;
  modified_ = false;
  eof_ = bof_ = false;
  CalculateFields();
  DoOnNewRecord();
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
  if (pos_ < 0) {
    Insert();
    return;
  }
  DoBeforeEdit();
  InternalEdit();
  state_ = dsEdit;
  modified_ = false;
  Fire(AfterEdit, *this);
}

void TDataSet::DoBeforePost() { Fire(BeforePost, *this); }

void TDataSet::DoOnNewRecord() { Fire(OnNewRecord, *this); }

void TDataSet::DoAfterScroll() {
  Fire(AfterScroll, *this);
  if (ControlsDisabled()) {
    changedWhileDisabled_ = true;
    return;
  }
  for (TDataLink* l : links_) l->DataSetScrolled();
}

void TDataSet::Post() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  DoBeforePost();
  for (const auto& f : fields_)
    if (f->FieldKind == fkData && f->Required && !f->ReadOnly && f->IsNull())
      DatabaseError("Field '" + f->DisplayName() + "' must have a value");
  const int64_t p = InternalPost();
  state_ = dsBrowse;
  modified_ = false;
  pos_ = p;
  Resync();
  DoAfterPost();
  DataEvent();
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  Fire(BeforeCancel, *this);
  const bool wasInsert = state_ == dsInsert;
  InternalCancel();
  state_ = dsBrowse;
  modified_ = false;
  if (wasInsert) pos_ = savedPos_;
  Resync();
  DoAfterCancel();
  DataEvent();
}

void TDataSet::Delete() {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (pos_ < 0) DatabaseError("Cannot perform this operation on an empty dataset");
  if (state_ == dsEdit) Cancel();
  DoBeforeDelete();
  Fire(BeforeScroll, *this);
  InternalDelete();
  Resync();
  DoAfterDelete();
  DoAfterScroll();
  DataEvent();
}

void TDataSet::AppendRecord(const std::vector<Variant>& values) {
  Append();
  for (size_t i = 0; i < values.size() && i < fields_.size(); ++i)
    if (fields_[i]->FieldKind == fkData) fields_[i]->SetAsVariant(values[i]);
  Post();
}

void TDataSet::CheckBrowseMode() {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
  if (state_ == dsEdit || state_ == dsInsert) Post();
}

void TDataSet::EnableControls() {
  if (disableCount_ > 0 && --disableCount_ == 0 && changedWhileDisabled_) {
    changedWhileDisabled_ = false;
    for (TDataLink* l : links_) l->DataSetChanged();
  }
}

void TDataSet::RemoveDataLink(TDataLink* link) { links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end()); }

void TDataSet::DataEvent() {
  if (ControlsDisabled()) {
    changedWhileDisabled_ = true;
    return;
  }
  for (TDataLink* l : links_) l->DataSetChanged();
}

void TDataSet::CalculateFields() {
  bool any = false;
  for (const auto& f : fields_)
    if (f->FieldKind != fkData) {
      any = true;
      calcValues_[f->Index] = Variant::Null();
    }
  if (!any || (pos_ < 0 && state_ != dsInsert)) return;
  for (const auto& f : fields_) {
    if (f->FieldKind != fkLookup || !f->LookupDataSet) continue;
    std::vector<Variant> keys;
    for (const std::string& k : SplitFieldNames(f->KeyFields)) keys.push_back(FieldByName(k).AsVariant());
    calcValues_[f->Index] = f->LookupDataSet->Lookup(f->LookupKeyFields, keys, f->LookupResultField);
  }
  if (!OnCalcFields) return;
  const TDataSetState saved = state_;
  state_ = dsCalcFields;
  try {
    OnCalcFields(*this);
  } catch (...) {
    state_ = saved;
    throw;
  }
  state_ = saved;
}

bool TDataSet::GetFieldValue(const TField& field, Variant& out) {
  if (field.FieldKind != fkData) {
    if (field.Index < 0 || static_cast<size_t>(field.Index) >= calcValues_.size()) return false;
    out = calcValues_[field.Index];
    return !out.IsNull();
  }
  if (!Active() || (pos_ < 0 && state_ != dsInsert && state_ != dsEdit)) return false;
  return InternalGetData(field, out) && !out.IsNull();
}

void TDataSet::CheckCanModify(const TField& field) {
  if (field.ReadOnly) DatabaseError("Field '" + field.DisplayName() + "' cannot be modified");
  if (state_ != dsEdit && state_ != dsInsert) DatabaseError("Dataset not in edit or insert mode");
}

void TDataSet::SetFieldValue(TField& field, const Variant& value) {
  if (field.FieldKind != fkData) {
    if (state_ != dsCalcFields && state_ != dsEdit && state_ != dsInsert)
      DatabaseError("Field '" + field.DisplayName() + "' cannot be modified");
    calcValues_[field.Index] = value;
    return;
  }
  CheckCanModify(field);
  InternalSetData(field, value);
  modified_ = true;
  if (AutoCalcFields) CalculateFields();
}

}  // namespace qzt
