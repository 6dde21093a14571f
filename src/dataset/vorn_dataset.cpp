#include "dataset/vorn_dataset.h"

#include <algorithm>
#include <cstring>

#include "platform/number_text.h"
#include "platform/text_encoding.h"
#include "platform/text_utils.h"

namespace qzt {
namespace {

const std::string& NotEditingText() {
  static const std::string s = Utf8ToCp949("데이터셋이 수정 또는 저장 모드가 아닙니다");
  return s;
}

const std::string& NoBookmarkText() {
  static const std::string s = Utf8ToCp949("북마크가 없습니다");
  return s;
}

bool SameIntegerFamily(TFieldType a, TFieldType b) { return a == b || (IsIntegerType(a) && IsIntegerType(b)); }

// Keys under which compiled constraints and defaults are kept.
std::string RecordKey(const char* kind, size_t i) { return "\xFF" + std::string(kind) + std::to_string(i); }
std::string FieldKey(const std::string& field, const char* kind) { return UpperCase(field) + "\xFF" + kind; }

}  // namespace

// ---- auto-created calculated fields ----

void TAutoCreateCalcField::SetActive(bool v) {
  if (v && Trim(FieldName).empty()) throw EDatabaseError(Utf8ToCp949("파일이름이 필요합니다"));
  active_ = v;
}

void TAutoCreateCalcField::SetDataType(TAutoCreateCalcFieldType t) {
  if ((t == cfString || t == cfWideString) && type_ != cfString && type_ != cfWideString) Size = 20;
  type_ = t;
}

TFieldType TAutoCreateCalcField::FieldType() const {
  static const TFieldType kTypes[] = {ftString, ftInteger, ftSmallint, ftWord, ftFloat, ftCurrency, ftBCD,
                                      ftFMTBcd, ftBoolean, ftDateTime, ftDate, ftTime, ftLargeint, ftWideString};
  return kTypes[type_];
}

TAutoCreateCalcField& TAutoCreateCalcFields::Add() {
  Items.emplace_back();
  Items.back().FieldName = "AutoCalc" + std::to_string(++next_);
  return Items.back();
}

TVornIndex* TVornIndexes::Find(const std::string& name) {
  for (auto& i : Items)
    if (SameText(i.Name, name)) return &i;
  return nullptr;
}

// ---- blob stream ----

TVornBlobStream::TVornBlobStream(TField& field, TBlobStreamMode mode) : field_(field), mode_(mode) {
  if (mode != TBlobStreamMode::bmWrite) Data = field.AsString();
}

TVornBlobStream::~TVornBlobStream() {
  try {
    Commit();
  } catch (...) {  // a destructor must not throw; Commit() reports errors to callers that call it
  }
}

size_t TVornBlobStream::Read(char* buf, size_t n) {
  n = std::min(n, Data.size() - std::min(Position, Data.size()));
  std::memcpy(buf, Data.data() + Position, n);
  Position += n;
  return n;
}

void TVornBlobStream::Write(std::string_view bytes) {
  if (mode_ == TBlobStreamMode::bmRead) throw EDatabaseError("Cannot write to a blob opened for reading");
  if (Position > Data.size()) Data.resize(Position);
  Data.replace(Position, std::min(bytes.size(), Data.size() - Position), bytes);
  Position += bytes.size();
  dirty_ = true;
}

void TVornBlobStream::Commit() {
  if (!dirty_) return;
  dirty_ = false;
  field_.SetAsString(Data);
}

// ---- the dataset ----

TVornCustomDataSet::TVornCustomDataSet(std::string name) : TDataSet(std::move(name)) {}

TVornCustomDataSet::~TVornCustomDataSet() {
  SetMasterSource(nullptr);
  try {
    Close();
  } catch (...) {  // closing in a destructor: handlers may throw, nothing can be done about it here
  }
}

TFieldDef TVornCustomDataSet::ParseFastField(std::string_view line) {
  TFieldDef d;
  const size_t c2 = line.rfind(',');
  const size_t c1 = c2 == std::string_view::npos || c2 == 0 ? std::string_view::npos : line.rfind(',', c2 - 1);
  if (c1 == std::string_view::npos) {
    d.Name = std::string(line);
    return d;
  }
  d.Name = std::string(line.substr(0, c1));
  d.DataType = FieldTypeFromOrdinal(StrToInt64Def(line.substr(c1 + 1, c2 - c1 - 1), 0));
  d.Size = static_cast<int32_t>(StrToInt64Def(line.substr(c2 + 1), 0));
  if (d.DataType == ftGuid) d.Size = 38;
  return d;
}

void TVornCustomDataSet::AddFastField(std::string_view name, TFieldType type, int32_t size) {
  FastFields.push_back(std::string(name) + "," + std::to_string(type) + "," +
                       std::to_string(type == ftGuid ? 38 : size));
}

void TVornCustomDataSet::InternalOpen() {
  if (FastFields.empty()) {
    // No definition lines: one per persistent data field, or per field definition given.
    if (HasPersistentFields()) {
      for (int i = 0; i < FieldCount(); ++i)
        if (Fields(i).FieldKind == fkData) AddFastField(Fields(i).FieldName, Fields(i).DataType, Fields(i).Size);
    } else {
      for (const TFieldDef& d : FieldDefs) AddFastField(d.Name, d.DataType, d.Size);
    }
  }
  std::vector<TFieldDef> defs;
  for (const std::string& line : FastFields) defs.push_back(ParseFastField(line));
  if (HasPersistentFields()) {
    if (defs.empty()) {
      ClearFields();
    } else {
      for (int i = 0; i < FieldCount(); ++i) {
        const TField& f = Fields(i);
        if (f.FieldKind != fkData) continue;
        auto it = std::find_if(defs.begin(), defs.end(), [&](const TFieldDef& d) {
          return SameText(d.Name, f.FieldName) && SameIntegerFamily(d.DataType, f.DataType);
        });
        if (it == defs.end()) throw EDatabaseError(Name + ":Field '" + f.FieldName + "' not found");
      }
    }
  }
  // Required flags set on field definitions survive the rebuild.
  for (TFieldDef& d : defs)
    for (const TFieldDef& old : FieldDefs)
      if (SameText(old.Name, d.Name)) d.Required = old.Required;
  FieldDefs = std::move(defs);
  // Records of another structure stay in the store; reading them reports the mismatch.
  layout_.Build(FieldDefs);
  hasStore_ = true;
  cur_ = nullptr;
}

void TVornCustomDataSet::CreateFields() {
  TDataSet::CreateFields();
  autoCalcCount_ = 0;
  for (const TAutoCreateCalcField& a : AutoCreateCalcFields.Items) {
    if (!a.Active()) continue;
    fields_.push_back(std::make_unique<TField>(this, a.FieldName, a.FieldType(), a.Size, fkCalculated));
    fields_.back()->Visible = a.Visible;
    fields_.back()->Index = FieldCount() - 1;
    ++autoCalcCount_;
  }
  calcValues_.assign(fields_.size(), Variant::Null());
  CompileConstraints();
  for (auto& index : Indexes.Items)
    if (!index.Complete || index.Order.size() != natural_.size()) RebuildIndex(index);
  SelectIndex();
}

void TVornCustomDataSet::InternalClose() {
  if (HasPersistentFields()) fields_.resize(fields_.size() - autoCalcCount_);
  autoCalcCount_ = 0;
  constraints_.clear();
  filter_.reset();
  compiledFilter_.clear();
  cur_ = nullptr;
  editing_ = nullptr;
}

void TVornCustomDataSet::CompileConstraints() {
  constraints_.clear();
  auto compile = [&](const std::string& key, const std::string& text, const std::string& failure) {
    try {
      constraints_[key] = std::make_unique<TVornExpression>(text, *this, 0);
    } catch (const Exception& e) {
      throw EDatabaseError(failure + "\n[" + e.Message + "]");
    }
  };
  for (size_t i = 0; i < Constraints.size(); ++i) {
    const TCheckConstraint& c = Constraints[i];
    if (!Trim(c.CustomConstraint).empty())
      compile(RecordKey("CC", i), c.CustomConstraint, "Failed to compile custom record constraint");
    if (!Trim(c.ImportedConstraint).empty()) {
      try {
        compile(RecordKey("CI", i), c.ImportedConstraint, "Failed to compile imported record constraint");
      } catch (const EDatabaseError&) {
        if (!c.FromDictionary) throw;  // a failing constraint from the dictionary is skipped
      }
    }
  }
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& f = Fields(i);
    const std::string prefix = "Failed to compile field [" + f.FieldName + "] ";
    if (!Trim(f.CustomConstraint).empty())
      compile(FieldKey(f.FieldName, "CC"), f.CustomConstraint, prefix + "custom constraint");
    if (!Trim(f.ImportedConstraint).empty())
      compile(FieldKey(f.FieldName, "CI"), f.ImportedConstraint, prefix + "imported constraint");
    if (!Trim(f.DefaultExpression).empty())
      compile(FieldKey(f.FieldName, "D"), f.DefaultExpression, prefix + "default expression");
  }
}

void TVornCustomDataSet::CheckConstraints() {
  auto check = [&](const std::string& key, const std::string& failure) {
    auto it = constraints_.find(key);
    if (it == constraints_.end()) throw EDatabaseError("Check expression does not found");
    bool ok = false;
    try {
      ok = it->second->IsTrue();
    } catch (const Exception&) {
      ok = false;
    }
    if (!ok) throw EDatabaseError(failure);
  };
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& f = Fields(i);
    const std::string prefix = "Field [" + f.DisplayName() + "] ";
    if (!Trim(f.CustomConstraint).empty())
      check(FieldKey(f.FieldName, "CC"), prefix + "custom constraint failed.\n[" + f.ConstraintErrorMessage + "]");
    if (!Trim(f.ImportedConstraint).empty())
      check(FieldKey(f.FieldName, "CI"), prefix + "imported constraint failed.\n[" + f.ConstraintErrorMessage + "]");
  }
  for (size_t i = 0; i < Constraints.size(); ++i) {
    const TCheckConstraint& c = Constraints[i];
    if (!Trim(c.CustomConstraint).empty())
      check(RecordKey("CC", i), "Record custom constraint failed.\n[" + c.ErrorMessage + "]");
    if (!Trim(c.ImportedConstraint).empty() && constraints_.count(RecordKey("CI", i)))
      check(RecordKey("CI", i), "Record imported constraint failed.\n[" + c.ErrorMessage + "]");
  }
}

void TVornCustomDataSet::DoOnNewRecord() {
  for (int i = 0; i < FieldCount(); ++i) {
    TField& f = Fields(i);
    if (Trim(f.DefaultExpression).empty()) continue;
    auto it = constraints_.find(FieldKey(f.FieldName, "D"));
    if (it == constraints_.end())
      throw EDatabaseError("Default expression for field [" + f.FieldName + "] does not found");
    try {
      f.SetAsVariant(it->second->Evaluate());
    } catch (const Exception& e) {
      throw EDatabaseError("Default expression evaluation for field [" + f.FieldName + "] failed.\n[" + e.Message +
                           "])");
    }
  }
  TDataSet::DoOnNewRecord();
}

void TVornCustomDataSet::DoBeforePost() {
  TDataSet::DoBeforePost();
  if (!constraints_.empty()) CheckConstraints();
}

// ---- order and positions ----

const TVornIndex* TVornCustomDataSet::CurrentIndex() const {
  return currentIndex_ >= 0 ? &Indexes.Items[currentIndex_] : nullptr;
}

size_t TVornCustomDataSet::OrderSize() const {
  const TVornIndex* i = CurrentIndex();
  return i && !(i->Options & ioNatural) ? i->Order.size() : natural_.size();
}

TVornRecord* TVornCustomDataSet::At(int64_t pos) const {
  const TVornIndex* i = CurrentIndex();
  if (i && !(i->Options & ioNatural)) return i->Order[pos];
  return natural_[pos].get();
}

int64_t TVornCustomDataSet::InternalRecordCount() { return static_cast<int64_t>(OrderSize()); }

bool TVornCustomDataSet::InternalHasRecord(int64_t pos) { return pos >= 0 && static_cast<size_t>(pos) < OrderSize(); }

void TVornCustomDataSet::InternalSetCurrent(int64_t pos) { cur_ = InternalHasRecord(pos) ? At(pos) : nullptr; }

TVornRecord* TVornCustomDataSet::FindRecord(int32_t id) {
  auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : it->second;
}

int64_t TVornCustomDataSet::PositionOf(const TVornRecord* r) const {
  if (!r) return -1;
  const size_t n = OrderSize();
  // The stored order is usually by id: try the position id - 1 first.
  if (r->Id >= 1 && static_cast<size_t>(r->Id - 1) < n && At(r->Id - 1) == r) return r->Id - 1;
  for (size_t p = 0; p < n; ++p)
    if (At(static_cast<int64_t>(p)) == r) return static_cast<int64_t>(p);
  return -1;
}

int64_t TVornCustomDataSet::PositionOfId(int32_t id) { return PositionOf(FindRecord(id)); }

int32_t TVornCustomDataSet::CurrentRecordId() const { return cur_ ? cur_->Id : 0; }

int32_t TVornCustomDataSet::NextRecordId() const {
  int32_t id = nextId_;
  while (byId_.count(id)) ++id;
  return id;
}

int32_t TVornCustomDataSet::TakeId() {
  nextId_ = NextRecordId();
  return nextId_++;
}

TBookmark TVornCustomDataSet::InternalBookmark(int64_t pos) {
  const int32_t id = At(pos)->Id;
  return TBookmark(reinterpret_cast<const char*>(&id), 4);
}

int64_t TVornCustomDataSet::InternalFindBookmark(const TBookmark& bookmark) {
  int32_t id = 0;
  if (bookmark.size() != 4) throw EVornBookMarkError(NoBookmarkText());
  std::memcpy(&id, bookmark.data(), 4);
  const int64_t p = PositionOfId(id);
  if (p < 0) throw EVornBookMarkError(NoBookmarkText());
  return p;
}

// ---- indexes ----

void TVornCustomDataSet::CheckComparable(const TVornIndex& index) const {
  for (const std::string& name : SplitFieldNames(index.Fields)) {
    const TField& f = FieldByName(name);
    if (f.FieldKind != fkData || f.IsBlob() || f.DataType == ftBytes || f.DataType == ftVarBytes ||
        FieldDataSize(f.DataType, f.Size) == 0)
      DatabaseError("Comparison is not supported for field '" + f.FieldName + "'");
  }
}

int TVornCustomDataSet::CompareRecords(const TVornIndex& index, const TVornRecord& a, const TVornRecord& b) const {
  for (const std::string& name : SplitFieldNames(index.Fields)) {
    const TField& f = FieldByName(name);
    const TVornFieldEntry& e = layout_.Entries()[f.FieldNo - 1];
    const bool ha = layout_.HasValue(a.Data, e.FieldNo), hb = layout_.HasValue(b.Data, e.FieldNo);
    int c = 0;
    if (!ha || !hb) {
      c = ha == hb ? 0 : (ha ? 1 : -1);  // nulls first
    } else {
      const Variant va = layout_.Read(a.Data, e), vb = layout_.Read(b.Data, e);
      if (IsStringType(e.DataType)) {
        std::string x = va.ToString(), y = vb.ToString();
        if (index.Options & ioCaseInsensitive) {
          x = UpperCase(x);
          y = UpperCase(y);
        }
        c = x < y ? -1 : x > y ? 1 : 0;
      } else if (e.DataType == ftLargeint || e.DataType == ftBCD) {
        const int64_t x = e.DataType == ftBCD ? va.ToCurrency() : va.ToInt64();
        const int64_t y = e.DataType == ftBCD ? vb.ToCurrency() : vb.ToInt64();
        c = x < y ? -1 : x > y ? 1 : 0;
      } else if (e.DataType == ftFMTBcd) {
        const double x = va.ToDouble(), y = vb.ToDouble();
        c = x < y ? -1 : x > y ? 1 : 0;
      } else if (e.DataType == ftTimeStamp) {
        const double x = va.ToDateTime(), y = vb.ToDateTime();
        c = x < y ? -1 : x > y ? 1 : 0;
      } else {
        const double x = va.ToDouble(), y = vb.ToDouble();
        c = x < y ? -1 : x > y ? 1 : 0;
      }
    }
    if (c != 0) return index.Options & ioDescending ? -c : c;
  }
  return 0;
}

void TVornCustomDataSet::RebuildIndex(TVornIndex& index) {
  index.Order.clear();
  if (index.Options & ioNatural) return;
  CheckComparable(index);
  index.Order.reserve(natural_.size());
  for (const auto& r : natural_) index.Order.push_back(r.get());
  std::stable_sort(index.Order.begin(), index.Order.end(),
                   [&](const TVornRecord* a, const TVornRecord* b) { return CompareRecords(index, *a, *b) < 0; });
  index.Complete = true;
}

void TVornCustomDataSet::IndexInsert(TVornIndex& index, TVornRecord* r) {
  if (index.Options & ioNatural) return;
  if (index.Options & ioNonMaintained) {
    index.Complete = false;
    return;
  }
  auto it = std::upper_bound(index.Order.begin(), index.Order.end(), r,
                             [&](const TVornRecord* a, const TVornRecord* b) { return CompareRecords(index, *a, *b) < 0; });
  if ((index.Options & (ioUnique | ioPrimary)) && it != index.Order.begin() && CompareRecords(index, **(it - 1), *r) == 0)
    DatabaseError("Key violation");
  index.Order.insert(it, r);
}

void TVornCustomDataSet::IndexRemove(TVornIndex& index, TVornRecord* r) {
  auto it = std::find(index.Order.begin(), index.Order.end(), r);
  if (it != index.Order.end()) index.Order.erase(it);
}

void TVornCustomDataSet::AddIndex(const std::string& name, const std::string& fields, TVornIndexOptions options) {
  if (SameText(name, DefaultIndexName) || SameText(name, NaturalIndexName))
    DatabaseError("Index name '" + name + "' is reserved");
  TVornIndex index;
  index.Name = name;
  index.Fields = fields;
  index.Options = options;
  if (Active()) RebuildIndex(index);
  Indexes.Items.push_back(std::move(index));
  if (Active()) SelectIndex();
}

void TVornCustomDataSet::SetIndexesActive(bool active) {
  if (Indexes.Active == active) return;
  Indexes.Active = active;
  if (active && Active()) {
    for (auto& index : Indexes.Items) RebuildIndex(index);
    Resync();
  }
}

void TVornCustomDataSet::SelectIndex() {
  const int32_t id = cur_ ? cur_->Id : 0;
  currentIndex_ = -1;
  if (!indexFieldNames_.empty()) {
    TVornIndex* d = Indexes.Find(DefaultIndexName);
    if (!d) {
      Indexes.Items.push_back(TVornIndex{DefaultIndexName, indexFieldNames_, 0, false, {}});
      d = &Indexes.Items.back();
    }
    if (d->Fields != indexFieldNames_ || !d->Complete) {
      d->Fields = indexFieldNames_;
      if (Active()) RebuildIndex(*d);
    }
    currentIndex_ = static_cast<int>(d - Indexes.Items.data());
  } else if (!indexName_.empty() && !SameText(indexName_, NaturalIndexName)) {
    TVornIndex* i = Indexes.Find(indexName_);
    if (!i) DatabaseError("Index '" + indexName_ + "' not found");
    if (!i->Complete && Active()) RebuildIndex(*i);
    currentIndex_ = static_cast<int>(i - Indexes.Items.data());
  }
  if (Active() && State() == dsBrowse) {
    const int64_t p = id ? PositionOfId(id) : -1;
    SetCurrent(p >= 0 ? p : 0);
    Resync();
    DataEvent();
  }
}

void TVornCustomDataSet::SetIndexName(const std::string& name) {
  if (Active()) CheckBrowseMode();
  indexName_ = name;
  indexFieldNames_.clear();
  SelectIndex();
}

void TVornCustomDataSet::SetIndexFieldNames(const std::string& names) {
  if (Active()) CheckBrowseMode();
  indexFieldNames_ = names;
  indexName_.clear();
  SelectIndex();
}

// ---- aggregates ----

Variant TVornCustomDataSet::AggregateValue(const std::string& name) {
  auto it = std::find_if(Aggregates.Items.begin(), Aggregates.Items.end(),
                         [&](const TVornAggregate& a) { return SameText(a.Name, name); });
  if (it == Aggregates.Items.end()) DatabaseError("Aggregate '" + name + "' not found");
  const TVornAggregate& agg = *it;
  if (!agg.Active || !Active()) return Variant::Null();
  const TField& f = FieldByName(agg.FieldName);
  const TVornFieldEntry& e = layout_.Entries().at(f.FieldNo - 1);
  // The group: records equal to the current one on the first GroupingLevel fields of the index.
  std::vector<const TVornFieldEntry*> group;
  if (agg.GroupingLevel > 0 && !agg.IndexName.empty()) {
    if (TVornIndex* index = Indexes.Find(agg.IndexName)) {
      const auto names = SplitFieldNames(index->Fields);
      for (int k = 0; k < agg.GroupingLevel && k < static_cast<int>(names.size()); ++k)
        group.push_back(&layout_.Entries().at(FieldByName(names[k]).FieldNo - 1));
    }
  }
  const std::string* current = cur_ ? &cur_->Data : nullptr;
  int64_t count = 0;
  double sum = 0;
  Variant best = Variant::Null();
  for (const auto& r : natural_) {
    if (!group.empty()) {
      if (!current) return Variant::Null();
      bool same = true;
      for (const TVornFieldEntry* g : group)
        same = same && layout_.HasValue(r->Data, g->FieldNo) == layout_.HasValue(*current, g->FieldNo) &&
               layout_.Read(r->Data, *g) == layout_.Read(*current, *g);
      if (!same) continue;
    }
    if (!layout_.HasValue(r->Data, e.FieldNo)) continue;
    const Variant v = layout_.Read(r->Data, e);
    ++count;
    if (agg.Kind == akSum || agg.Kind == akAvg) sum += v.ToDouble();
    if (agg.Kind == akMin || agg.Kind == akMax) {
      const bool text = IsStringType(e.DataType);
      const bool better = best.IsNull() ||
                          (text ? (agg.Kind == akMin ? v.ToString() < best.ToString() : v.ToString() > best.ToString())
                                : (agg.Kind == akMin ? v.ToDouble() < best.ToDouble() : v.ToDouble() > best.ToDouble()));
      if (better) best = v;
    }
  }
  switch (agg.Kind) {
    case akCount: return Variant(count);
    case akSum: return count ? Variant(sum) : Variant::Null();
    case akAvg: return count ? Variant(sum / count) : Variant::Null();
    default: return best;
  }
}

// ---- filters and master/detail ----

namespace {

class MasterLink : public TDataLink {
 public:
  MasterLink(TVornCustomDataSet& detail, std::function<void()> forget) : detail_(detail), forget_(std::move(forget)) {}
  void DataSetScrolled() override { Refresh(); }
  void DataSetChanged() override { Refresh(); }
  void ActiveChanged() override { Refresh(); }
  void DataSetDestroyed() override { forget_(); }

 private:
  void Refresh() {
    if (detail_.Active() && detail_.State() == dsBrowse) detail_.First();
  }
  TVornCustomDataSet& detail_;
  std::function<void()> forget_;
};

}  // namespace

void TVornCustomDataSet::SetMasterSource(TDataSource* source) {
  for (TDataSource* s = source; s && s->DataSet;) {
    if (s->DataSet == this) DatabaseError("Circular Reference to DataSource");
    auto* v = dynamic_cast<TVornCustomDataSet*>(s->DataSet);
    s = v ? v->masterSource_ : nullptr;
  }
  if (master_ && masterLink_) master_->RemoveDataLink(masterLink_.get());
  masterLink_.reset();
  masterSource_ = source;
  master_ = source ? source->DataSet : nullptr;
  if (master_) {
    masterLink_ = std::make_unique<MasterLink>(*this, [this] {
      master_ = nullptr;
      masterSource_ = nullptr;
    });
    master_->AddDataLink(masterLink_.get());
  }
}

bool TVornCustomDataSet::HasRecordFilter() const {
  return TDataSet::HasRecordFilter() || (Filtered && !Trim(Filter).empty()) || (master_ && !MasterFields.empty());
}

bool TVornCustomDataSet::RecordVisible() {
  if (master_ && !MasterFields.empty()) {
    TDataSet& master = *master_;
    if (!master.Active() || master.IsEmpty()) return false;
    const auto masterNames = SplitFieldNames(MasterFields);
    auto detailNames = SplitFieldNames(indexFieldNames_);
    if (detailNames.empty() && CurrentIndex()) detailNames = SplitFieldNames(CurrentIndex()->Fields);
    if (detailNames.size() < masterNames.size()) detailNames = masterNames;
    for (size_t k = 0; k < masterNames.size(); ++k) {
      const Variant m = master.FieldByName(masterNames[k]).AsVariant();
      const Variant d = FieldByName(detailNames[k]).AsVariant();
      if (m.IsNull() || d.IsNull() || m.ToString() != d.ToString()) return false;
    }
  }
  if (Filtered && !Trim(Filter).empty()) {
    if (!filter_ || compiledFilter_ != Filter || compiledFilterOptions_ != FilterOptions) {
      filter_ = std::make_unique<TVornExpression>(Filter, *this, FilterOptions);
      compiledFilter_ = Filter;
      compiledFilterOptions_ = FilterOptions;
    }
    if (!filter_->IsTrue()) return false;
  }
  return TDataSet::RecordVisible();
}

// ---- values ----

const std::string& TVornCustomDataSet::CurrentData() const {
  static const std::string kEmpty;
  if (State() == dsEdit || State() == dsInsert) return editBuf_;
  return cur_ ? cur_->Data : kEmpty;
}

std::string TVornCustomDataSet::BlobContent(int32_t id) const {
  auto it = blobs_.find(id);
  if (it == blobs_.end()) return {};
  std::string content = it->second.second;
  if ((StreamOptions & StreamOption(ssBlobOnlyStreamEvent)) && OnStreamEvent)
    OnStreamEvent(const_cast<TVornCustomDataSet&>(*this), content, true);
  return content;
}

bool TVornCustomDataSet::InternalGetData(const TField& field, Variant& out) {
  const std::string& rec = CurrentData();
  if (rec.empty() && !cur_ && State() != dsEdit && State() != dsInsert) return false;
  if (static_cast<int32_t>(rec.size()) != layout_.RecordSize()) DatabaseError("Direct read buffer length mismatch");
  if (field.FieldNo < 1 || static_cast<size_t>(field.FieldNo) > layout_.Entries().size())
    DatabaseError("Field Offset Error " + field.FieldName);
  const TVornFieldEntry& e = layout_.Entries()[field.FieldNo - 1];
  if (!layout_.HasValue(rec, e.FieldNo)) return false;
  out = IsBlobType(e.DataType) ? Variant(BlobContent(layout_.BlobId(rec, e))) : layout_.Read(rec, e);
  return true;
}

void TVornCustomDataSet::CheckCanModify(const TField& field) {
  if (loading_) return;
  if (ReadOnly) DatabaseError("Cannot modify a read-only dataset");
  if (field.ReadOnly) DatabaseError("Field '" + field.DisplayName() + "' cannot be modified");
  if (State() != dsEdit && State() != dsInsert) DatabaseError(NotEditingText());
}

void TVornCustomDataSet::InternalSetData(const TField& field, const Variant& v) {
  if (field.FieldNo < 1 || static_cast<size_t>(field.FieldNo) > layout_.Entries().size())
    DatabaseError("Field Offset Error " + field.FieldName);
  const TVornFieldEntry& e = layout_.Entries()[field.FieldNo - 1];
  std::string& rec = editBuf_;
  if (!IsBlobType(e.DataType)) {
    if (v.IsNull()) {
      layout_.SetHasValue(rec, e.FieldNo, false);
    } else {
      layout_.Write(rec, e, v);
      layout_.SetHasValue(rec, e.FieldNo, true);
    }
    return;
  }
  std::string content = v.IsNull() ? std::string() : v.ToString();
  if ((StreamOptions & StreamOption(ssBlobOnlyStreamEvent)) && OnStreamEvent) OnStreamEvent(*this, content, false);
  int32_t id = layout_.BlobId(rec, e);
  auto it = blobs_.find(id);
  if (id == 0 || it == blobs_.end()) {
    if (!content.empty() || State() != dsInsert) {
      id = nextBlobId_++;
      blobs_[id] = {e.FieldNo, std::move(content)};
      layout_.SetBlobId(rec, e, id);
    }
  } else {
    if (State() == dsEdit && !blobUndo_.count(id)) blobUndo_[id] = it->second.second;
    it->second.second = std::move(content);
  }
  layout_.SetHasValue(rec, e.FieldNo, !v.IsNull() && !v.ToString().empty());
}

std::unique_ptr<TVornBlobStream> TVornCustomDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  if (!field.IsBlob()) DatabaseError("Field '" + field.FieldName + "' is not a blob field");
  return std::make_unique<TVornBlobStream>(field, mode);
}

// ---- editing ----

void TVornCustomDataSet::InternalEdit() {
  if (!cur_) DatabaseError("No Records");
  editBuf_ = cur_->Data;
  if (static_cast<int32_t>(editBuf_.size()) != layout_.RecordSize()) DatabaseError("Direct read buffer length mismatch");
  editing_ = cur_;
  blobUndo_.clear();
}

void TVornCustomDataSet::InternalInsert(bool append) {
  editBuf_ = layout_.NewRecord();
  editing_ = nullptr;
  insertAppend_ = append;
  insertBefore_ = cur_;
  blobUndo_.clear();
}

void TVornCustomDataSet::RemoveBlobsOf(const std::string& data) {
  for (const TVornFieldEntry& e : layout_.Entries())
    if (IsBlobType(e.DataType)) blobs_.erase(layout_.BlobId(data, e));
}

int64_t TVornCustomDataSet::InternalPost() {
  const bool maintain = Indexes.Active;
  if (State() == dsInsert) {
    auto rec = std::make_unique<TVornRecord>();
    rec->Id = forcedId_ ? forcedId_ : TakeId();
    nextId_ = std::max(nextId_, rec->Id + 1);  // new ids start above the highest present
    rec->Data = editBuf_;
    TVornRecord* r = rec.get();
    auto where = natural_.end();
    if (!insertAppend_ && insertBefore_ && (!CurrentIndex() || (CurrentIndex()->Options & ioNatural)))
      where = std::find_if(natural_.begin(), natural_.end(), [&](const auto& p) { return p.get() == insertBefore_; });
    const auto inserted = natural_.insert(where, std::move(rec));
    const auto at = inserted - natural_.begin();  // begin() after the insert: it may reallocate
    size_t done = 0;
    try {
      if (maintain)
        for (; done < Indexes.Items.size(); ++done) IndexInsert(Indexes.Items[done], r);
      else
        for (auto& index : Indexes.Items) index.Complete = index.Options & ioNatural;
    } catch (...) {
      for (size_t k = 0; k < done; ++k) IndexRemove(Indexes.Items[k], r);
      natural_.erase(natural_.begin() + at);
      throw;
    }
    byId_.emplace(r->Id, r);
    editBuf_.clear();
    return PositionOf(r);
  }
  TVornRecord* r = editing_;
  std::string old = std::move(r->Data);
  r->Data = editBuf_;
  if (maintain) {
    size_t done = 0;
    try {
      for (; done < Indexes.Items.size(); ++done) {
        IndexRemove(Indexes.Items[done], r);
        IndexInsert(Indexes.Items[done], r);
      }
    } catch (...) {
      // put the record back as it was in every index touched
      r->Data = std::move(old);
      for (size_t k = 0; k <= done && k < Indexes.Items.size(); ++k) {
        IndexRemove(Indexes.Items[k], r);
        IndexInsert(Indexes.Items[k], r);
      }
      throw;
    }
  } else {
    for (auto& index : Indexes.Items) index.Complete = index.Options & ioNatural;
  }
  blobUndo_.clear();
  editBuf_.clear();
  editing_ = nullptr;
  return PositionOf(r);
}

void TVornCustomDataSet::InternalCancel() {
  if (State() == dsInsert) {
    RemoveBlobsOf(editBuf_);
  } else {
    for (auto& [id, content] : blobUndo_) {
      auto it = blobs_.find(id);
      if (it != blobs_.end()) it->second.second = std::move(content);
    }
  }
  blobUndo_.clear();
  editBuf_.clear();
  editing_ = nullptr;
}

void TVornCustomDataSet::InternalDelete() {
  TVornRecord* r = cur_;
  if (!r) DatabaseError("No Records");
  RemoveBlobsOf(r->Data);
  for (auto& index : Indexes.Items) IndexRemove(index, r);
  auto it = byId_.find(r->Id);
  if (it != byId_.end() && it->second == r) byId_.erase(it);
  natural_.erase(std::find_if(natural_.begin(), natural_.end(), [&](const auto& p) { return p.get() == r; }));
  cur_ = nullptr;
}

void TVornCustomDataSet::ResetStore() {
  natural_.clear();
  byId_.clear();
  blobs_.clear();
  for (auto& index : Indexes.Items) index.Order.clear();
  nextId_ = 1;
  nextBlobId_ = 1;
  cur_ = nullptr;
}

void TVornCustomDataSet::EmptyDataSet() {
  if (Active()) {
    if (State() == dsEdit || State() == dsInsert) Cancel();
  }
  ResetStore();
  if (Active()) {
    Resync();
    DataEvent();
  }
}

// ---- copying ----

void TVornCustomDataSet::CopyFromDataSet(TDataSet& source, const TVornCopyOptions& o) {
  const bool wasOpen = source.Active();
  if (!wasOpen) source.Open();
  Close();
  FastFields.clear();
  ClearFields();
  Indexes.Items.clear();
  Aggregates.Items.clear();
  Constraints.clear();
  indexName_.clear();
  indexFieldNames_.clear();
  ResetStore();
  auto listed = [](const std::vector<std::string>& list, const std::string& name) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& n) { return SameText(n, name); });
  };
  for (int i = 0; i < source.FieldCount(); ++i) {
    const TField& f = source.Fields(i);
    if (f.FieldKind != fkData) continue;
    if (!o.Include.empty() && !listed(o.Include, f.FieldName)) continue;
    if (listed(o.Exclude, f.FieldName)) continue;
    TFieldType type = f.DataType;
    for (const auto& [name, t] : o.TypeOverrides)
      if (SameText(name, f.FieldName)) type = t;
    AddFastField(f.FieldName, type, f.Size);
  }
  auto* vorn = dynamic_cast<TVornCustomDataSet*>(&source);
  const bool withStructure = o.CopyIndexes && vorn && o.Include.empty() && o.Exclude.empty();
  if (withStructure) {
    for (const TVornIndex& index : vorn->Indexes.Items)
      if (!SameText(index.Name, DefaultIndexName)) Indexes.Items.push_back({index.Name, index.Fields, index.Options, false, {}});
    Aggregates = vorn->Aggregates;
    Constraints = vorn->Constraints;
  }
  Open();
  const bool indexesWere = Indexes.Active;
  Indexes.Active = false;
  source.DisableControls();
  DisableControls();
  const TBookmark sourcePos = source.GetBookmark();
  try {
    int copied = 0;
    for (source.First(); !source.Eof() && (o.MaxRecords < 0 || copied < o.MaxRecords); source.Next(), ++copied) {
      Append();
      for (int i = 0; i < FieldCount(); ++i) {
        TField& to = Fields(i);
        if (to.FieldKind != fkData) continue;
        const TField* from = source.FindField(to.FieldName);
        if (!from) continue;
        if (from->DataType == ftWideString) to.SetAsString(from->AsString());
        else if (from->DataType == ftLargeint && !from->IsNull()) to.SetAsLargeInt(from->AsLargeInt());
        else to.Assign(*from);
      }
      if (o.KeepBookmarks) {
        const TBookmark b = source.GetBookmark();
        if (b.size() == 4) std::memcpy(&forcedId_, b.data(), 4);
      }
      try {
        Post();
      } catch (...) {
        forcedId_ = 0;
        throw;
      }
      forcedId_ = 0;
    }
  } catch (...) {
    Indexes.Active = indexesWere;
    EnableControls();
    source.EnableControls();
    throw;
  }
  SetIndexesActive(indexesWere);
  for (auto& index : Indexes.Items) RebuildIndex(index);
  if (withStructure) {
    indexName_ = vorn->indexName_;
    indexFieldNames_ = vorn->indexFieldNames_;
    SelectIndex();
  }
  First();
  EnableControls();
  if (!sourcePos.empty() && source.BookmarkValid(sourcePos)) source.GotoBookmark(sourcePos);
  source.EnableControls();
  if (!wasOpen) source.Close();
}

void TVornCustomDataSet::CopyFields(TDataSet& source, const std::vector<std::string>& fieldNames) {
  TVornCopyOptions o;
  o.Include = fieldNames;
  CopyFromDataSet(source, o);
}

std::string DataSetToString(TDataSet& source) {
  TVornDataSet copy;
  copy.CopyFromDataSet(source);
  return copy.SaveToString();
}

std::unique_ptr<TVornDataSet> DataSetFromString(std::string_view stream) {
  if (stream.empty()) return nullptr;
  auto ds = std::make_unique<TVornDataSet>();
  ds->LoadFromStreamWithFields(stream);
  return ds;
}

}  // namespace qzt
