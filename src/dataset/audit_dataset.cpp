#include "dataset/audit_dataset.h"

#include <cstring>

#include "platform/text_utils.h"

namespace qzt {

TVorn2CustomAuditDataSet::~TVorn2CustomAuditDataSet() = default;

bool TVorn2CustomAuditDataSet::Recording() const { return UpdateMethod != umManual && !loading_ && !applying_; }

void TVorn2CustomAuditDataSet::EnsureLog() {
  if (log_) return;
  log_ = std::make_unique<TVornDataSet>(Name.empty() ? "ChangeLog" : Name + "ChangeLog");
  if (HasMasterBookMark()) log_->AddFastField("MasterBookMark", ftInteger, 0);
  log_->AddFastField("BookMark", ftInteger, 0);
  log_->AddFastField("Delta", ftInteger, 0);
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& f = Fields(i);
    if (f.FieldKind != fkData) continue;
    log_->AddFastField(f.FieldName, f.DataType == ftWideString ? ftString : f.DataType, f.Size);
  }
  log_->Open();
  log_->AddIndex("Prime", "BookMark");
  log_->SetIndexName("Prime");
}

bool TVorn2CustomAuditDataSet::FindEntry(int32_t id) {
  if (!log_) return false;
  if (HasMasterBookMark())
    return log_->Locate("MasterBookMark;BookMark", {Variant(MasterBookMark()), Variant(id)});
  return log_->Locate("BookMark", {Variant(id)});
}

void TVorn2CustomAuditDataSet::AppendEntry(int32_t id, int delta, bool withValues) {
  EnsureLog();
  log_->Append();
  if (HasMasterBookMark()) log_->FieldByName("MasterBookMark").SetAsInteger(MasterBookMark());
  log_->FieldByName("BookMark").SetAsInteger(id);
  log_->FieldByName("Delta").SetAsInteger(delta);
  if (withValues)
    for (int i = 0; i < FieldCount(); ++i) {
      const TField& f = Fields(i);
      if (f.FieldKind == fkData) log_->FieldByName(f.FieldName).SetAsVariant(f.AsVariant());
    }
  log_->Post();
}

bool TVorn2CustomAuditDataSet::DiffersFromLog() {
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& f = Fields(i);
    if (f.FieldKind != fkData) continue;
    const TField& logged = log_->FieldByName(f.FieldName);
    if (f.IsNull() != logged.IsNull() || f.AsString() != logged.AsString()) return true;
  }
  return false;
}

void TVorn2CustomAuditDataSet::WriteBackLogged() {
  for (int i = 0; i < FieldCount(); ++i) {
    TField& f = Fields(i);
    if (f.FieldKind == fkData && !f.ReadOnly) f.SetAsVariant(log_->FieldByName(f.FieldName).AsVariant());
  }
}

void TVorn2CustomAuditDataSet::DoBeforeEdit() {
  TVornCustomDataSet::DoBeforeEdit();
  if (!Recording()) return;
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  const int32_t id = CurrentRecordId();
  loggedBeforeEdit_ = FindEntry(id);
  if (!loggedBeforeEdit_) AppendEntry(id, 0, true);
}

void TVorn2CustomAuditDataSet::DoAfterInsert() {
  if (Recording()) {
    std::lock_guard<std::recursive_mutex> lock(logLock_);
    insertedId_ = forcedId_ ? forcedId_ : NextRecordId();
    AppendEntry(insertedId_, 2, false);
  }
  TVornCustomDataSet::DoAfterInsert();
}

void TVorn2CustomAuditDataSet::DoBeforeDelete() {
  TVornCustomDataSet::DoBeforeDelete();
  if (!Recording()) return;
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  const int32_t id = CurrentRecordId();
  if (FindEntry(id)) {
    if (log_->FieldByName("Delta").AsInteger() == 2) {
      log_->Delete();  // inserted, then deleted: nothing to remember
    } else {
      log_->Edit();
      log_->FieldByName("Delta").SetAsInteger(1);
      log_->Post();
    }
  } else {
    AppendEntry(id, 1, true);
  }
}

void TVorn2CustomAuditDataSet::DoBeforePost() {
  TVornCustomDataSet::DoBeforePost();
  if (!Recording() || State() != dsEdit) return;
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  if (FindEntry(CurrentRecordId()) && log_->FieldByName("Delta").AsInteger() == 0 && !DiffersFromLog())
    log_->Delete();
}

void TVorn2CustomAuditDataSet::DoAfterCancel() {
  if (Recording() && log_) {
    std::lock_guard<std::recursive_mutex> lock(logLock_);
    if (insertedId_) {
      // A cancelled insert leaves no entry: the record never existed.
      if (FindEntry(insertedId_) && log_->FieldByName("Delta").AsInteger() == 2) log_->Delete();
    } else if (!loggedBeforeEdit_ && FindEntry(CurrentRecordId())) {
      log_->Delete();
    }
  }
  insertedId_ = 0;
  loggedBeforeEdit_ = false;
  TVornCustomDataSet::DoAfterCancel();
}

int TVorn2CustomAuditDataSet::UpdateStatus() {
  if (State() == dsInsert) return 2;
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  if (!FindEntry(CurrentRecordId())) return 0;
  switch (log_->FieldByName("Delta").AsInteger()) {
    case 0: return State() == dsEdit ? (DiffersFromLog() ? 1 : 0) : 1;
    case 2: return 2;
    default: return 0;
  }
}

void TVorn2CustomAuditDataSet::CancelUpdates() {
  if (!Active()) return;
  CheckBrowseMode();
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  if (!log_ || log_->IsEmpty()) return;
  const TBookmark position = GetBookmark();
  const bool filtered = Filtered;
  const std::string indexName = IndexName(), indexFields = IndexFieldNames();
  Filtered = false;
  SetIndexName("");
  applying_ = true;
  DisableControls();
  try {
    for (log_->First(); !log_->Eof(); log_->Next()) {
      const int32_t id = log_->FieldByName("BookMark").AsInteger();
      const int delta = log_->FieldByName("Delta").AsInteger();
      const int64_t at = PositionOfId(id);
      if (delta == 0 && at >= 0) {
        SetRecNo(static_cast<int>(at + 1));
        Edit();
        WriteBackLogged();
        Post();
      } else if (delta == 1) {
        // before the first record whose id is not below the logged one
        int64_t before = -1;
        for (int64_t p = 0; InternalHasRecord(p) && before < 0; ++p) {
          SetRecNo(static_cast<int>(p + 1));
          if (CurrentRecordId() >= id) before = p;
        }
        if (before < 0) Append();
        else Insert();
        forcedId_ = id;
        WriteBackLogged();
        Post();
        forcedId_ = 0;
      } else if (delta == 2 && at >= 0) {
        SetRecNo(static_cast<int>(at + 1));
        Delete();
      }
    }
  } catch (...) {
    forcedId_ = 0;
    applying_ = false;
    EnableControls();
    throw;
  }
  log_->EmptyDataSet();
  applying_ = false;
  if (!indexFields.empty()) SetIndexFieldNames(indexFields);
  else SetIndexName(indexName);
  Filtered = filtered;
  Resync();
  if (!position.empty() && BookmarkValid(position)) GotoBookmark(position);
  EnableControls();
}

void TVorn2CustomAuditDataSet::RevertRecord() {
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  if (State() == dsInsert) {
    Cancel();
    return;
  }
  if (!FindEntry(CurrentRecordId())) return;
  const int delta = log_->FieldByName("Delta").AsInteger();
  applying_ = true;
  try {
    if (delta == 2) {
      if (State() == dsEdit) Cancel();
      Delete();
      log_->Delete();
    } else {
      if (State() != dsEdit) Edit();
      WriteBackLogged();
      const bool same = !DiffersFromLog();
      Post();
      if (same) log_->Delete();
    }
  } catch (...) {
    applying_ = false;
    throw;
  }
  applying_ = false;
}

void TVorn2CustomAuditDataSet::EmptyDataSet() {
  TVornCustomDataSet::EmptyDataSet();
  std::lock_guard<std::recursive_mutex> lock(logLock_);
  if (log_) log_->EmptyDataSet();
}

// ---- nested dataset ----

class NestedLink : public TDataLink {
 public:
  explicit NestedLink(TVornNestedDataSet& nested) : nested_(nested) {}
  void DataSetScrolled() override { nested_.LoadFromParent(); }
  void DataSetChanged() override {
    if (nested_.dataSetField_->DataSet().State() == dsBrowse) nested_.LoadFromParent();
  }
  void ActiveChanged() override { nested_.LoadFromParent(); }
  void DataSetDestroyed() override {
    TVornNestedDataSet& nested = nested_;
    nested.dataSetField_ = nullptr;
    nested.link_.reset();  // deletes this link: nothing may touch it afterwards
  }

 private:
  TVornNestedDataSet& nested_;
};

TVornNestedDataSet::~TVornNestedDataSet() { SetDataSetField(nullptr); }

void TVornNestedDataSet::SetDataSetField(TField* field) {
  if (dataSetField_ && link_) dataSetField_->DataSet().RemoveDataLink(link_.get());
  link_.reset();
  dataSetField_ = field;
  if (field) {
    link_ = std::make_unique<NestedLink>(*this);
    field->DataSet().AddDataLink(link_.get());
  }
}

void TVornNestedDataSet::InternalOpen() {
  if (!dataSetField_) DatabaseError("DataSetField is undefined !");
  TVorn2AuditDataset::InternalOpen();
}

int32_t TVornNestedDataSet::MasterBookMark() const {
  auto* parent = dataSetField_ ? dynamic_cast<TVornCustomDataSet*>(&dataSetField_->DataSet()) : nullptr;
  return parent ? parent->CurrentRecordId() : 0;
}

void TVornNestedDataSet::LoadFromParent() {
  if (syncing_ || !dataSetField_ || !Active() || State() != dsBrowse) return;
  syncing_ = true;
  const std::string stream = dataSetField_->DataSet().Active() ? dataSetField_->AsString() : std::string();
  const bool wasLoading = loading_;
  loading_ = true;
  try {
    if (stream.empty()) {
      ResetStore();
      Resync();
    } else {
      LoadFromStream(stream);
    }
  } catch (...) {
    loading_ = wasLoading;
    syncing_ = false;
    throw;
  }
  loading_ = wasLoading;
  syncing_ = false;
}

void TVornNestedDataSet::WriteBack() {
  TDataSet& parent = dataSetField_->DataSet();
  if (syncing_ || (parent.State() != dsEdit && parent.State() != dsInsert)) return;
  syncing_ = true;
  try {
    dataSetField_->SetAsString(SaveToString());
  } catch (...) {
    syncing_ = false;
    throw;
  }
  syncing_ = false;
}

void TVornNestedDataSet::DoAfterPost() {
  TVorn2AuditDataset::DoAfterPost();
  WriteBack();
}

void TVornNestedDataSet::DoAfterDelete() {
  TVorn2AuditDataset::DoAfterDelete();
  WriteBack();
}

}  // namespace qzt
