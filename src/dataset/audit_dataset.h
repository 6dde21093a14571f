// In-memory datasets with a change log, and the nested dataset stored in a parent's blob field.
//
// The change log is an in-memory dataset created on the first change: BookMark (the record id), Delta
// (0 modified: values before the first change; 1 deleted: values before deletion; 2 inserted), then a
// copy of every data field (wide strings as strings). A nested dataset's log starts with MasterBookMark,
// the parent record's id. The log's index "Prime" orders it by BookMark.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataset/vorn_dataset.h"

namespace qzt {

enum TVornUpdateMethod : uint8_t { umManual, umCached, umAfterPost };

class TVorn2CustomAuditDataSet : public TVornCustomDataSet {
 public:
  using TVornCustomDataSet::TVornCustomDataSet;
  ~TVorn2CustomAuditDataSet() override;

  TVornUpdateMethod UpdateMethod = umCached;

  // 0 unmodified, 1 modified, 2 inserted.
  int UpdateStatus();
  void CancelUpdates();
  void RevertRecord();
  void EmptyDataSet() override;
  // The log; null until the first change.
  TVornDataSet* ChangeLog() { return log_.get(); }

 protected:
  void DoBeforeEdit() override;
  void DoAfterInsert() override;
  void DoBeforeDelete() override;
  void DoBeforePost() override;
  void DoAfterCancel() override;
  // The parent record's id for nested datasets; 0 otherwise.
  virtual int32_t MasterBookMark() const { return 0; }
  virtual bool HasMasterBookMark() const { return false; }

 private:
  bool Recording() const;
  void EnsureLog();
  bool FindEntry(int32_t id);  // positions the log on the record's entry
  void AppendEntry(int32_t id, int delta, bool withValues);
  bool DiffersFromLog();       // some field of the current record differs from the log entry
  void WriteBackLogged();      // the log entry's values into the current (edited) record
  std::unique_ptr<TVornDataSet> log_;
  std::recursive_mutex logLock_;
  bool loggedBeforeEdit_ = false;
  int32_t insertedId_ = 0;
  bool applying_ = false;
};

class TVorn2AuditDataset : public TVorn2CustomAuditDataSet {
 public:
  using TVorn2CustomAuditDataSet::TVorn2CustomAuditDataSet;
};

// A dataset kept inside a blob field (ftDataSet) of a parent dataset's records: it loads the stream of
// the parent's current record and writes itself back while the parent is being edited.
class TVornNestedDataSet : public TVorn2AuditDataset {
 public:
  using TVorn2AuditDataset::TVorn2AuditDataset;
  ~TVornNestedDataSet() override;
  TField* DataSetField() const { return dataSetField_; }
  void SetDataSetField(TField* field);
  std::vector<std::string> PrimeFields;
  std::string UpdateTableName;

 protected:
  void InternalOpen() override;
  void DoAfterPost() override;
  void DoAfterDelete() override;
  int32_t MasterBookMark() const override;
  bool HasMasterBookMark() const override { return true; }

 private:
  friend class NestedLink;
  void LoadFromParent();
  void WriteBack();
  TField* dataSetField_ = nullptr;
  std::unique_ptr<TDataLink> link_;
  bool syncing_ = false;
};

}  // namespace qzt
