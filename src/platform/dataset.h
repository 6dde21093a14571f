// TDataSet: the dataset base every dataset of the program derives from (the in-memory dataset, the
// database query dataset). It owns the field objects and does states, navigation, bookmarks, locate and
// lookup, editing with its events, filters, calculated and lookup fields, and data links.
//
// A subclass supplies records by position in its current order (0 .. count-1, fetched lazily if it
// likes), the values of the current or edited record, and the storage operations behind
// edit/insert/post/cancel/delete. Filtering is done here: positions whose record RecordVisible() refuses
// are skipped by every navigation operation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/field.h"

namespace qzt {

enum TDataSetState : uint8_t { dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter };

using TLocateOptions = uint8_t;
inline constexpr TLocateOptions loCaseInsensitive = 1, loPartialKey = 2;
using TFilterOptions = uint8_t;
inline constexpr TFilterOptions foCaseInsensitive = 1, foNoPartialCompare = 2;

using TBookmark = std::string;

struct TCheckConstraint {
  std::string CustomConstraint;
  std::string ErrorMessage;
  std::string ImportedConstraint;
  bool FromDictionary = false;
};

class TDataSet;
using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

// Something told when a dataset scrolls or changes (master/detail links, views).
class TDataLink {
 public:
  virtual ~TDataLink() = default;
  virtual void DataSetScrolled() {}
  virtual void DataSetChanged() {}
  virtual void ActiveChanged() {}
  virtual void DataSetDestroyed() {}  // the dataset is going away: forget it
};

// Points at a dataset; master/detail links name their master through one.
struct TDataSource {
  TDataSet* DataSet = nullptr;
};

// Field names in a list are separated by ";".
std::vector<std::string> SplitFieldNames(std::string_view names);

class TDataSet : public TComponent {
 public:
  explicit TDataSet(std::string name = "");
  ~TDataSet() override;
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  std::vector<TFieldDef> FieldDefs;
  std::string Filter;
  bool Filtered = false;
  TFilterOptions FilterOptions = 0;
  bool AutoCalcFields = true;
  std::vector<TCheckConstraint> Constraints;

  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
      AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, BeforeScroll,
      AfterScroll, OnNewRecord, OnCalcFields;
  TFilterRecordEvent OnFilterRecord;

  // Fields. Fields added before opening are persistent; otherwise opening creates them from FieldDefs.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index) const { return *fields_.at(index); }
  TField* FindField(std::string_view name) const;
  TField& FieldByName(std::string_view name) const;  // "Field '<name>' not found"
  TField& AddField(std::string name, TFieldType type, int32_t size = 0, TFieldKind kind = fkData);
  void ClearFields();
  bool HasPersistentFields() const { return persistentFields_; }

  TDataSetState State() const { return state_; }
  bool Active() const { return state_ != dsInactive; }
  void Open();
  void Close();
  void SetActive(bool v) { v ? Open() : Close(); }

  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty();
  int RecordCount();  // visible records
  int RecNo();        // 1-based among visible records, 0 when there is none
  void SetRecNo(int recNo);
  void Refresh();

  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  bool BookmarkValid(const TBookmark& bookmark);

  // Field lists separated by ";", one value per field; Null matches a null field.
  bool Locate(std::string_view keyFields, const std::vector<Variant>& keyValues, TLocateOptions options = 0);
  Variant Lookup(std::string_view keyFields, const std::vector<Variant>& keyValues, std::string_view resultField);

  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void AppendRecord(const std::vector<Variant>& values);
  void CheckBrowseMode();  // posts a pending edit or insert
  bool Modified() const { return modified_; }

  void DisableControls() { ++disableCount_; }
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  void AddDataLink(TDataLink* link) { links_.push_back(link); }
  void RemoveDataLink(TDataLink* link);

  // Used by the field objects.
  bool GetFieldValue(const TField& field, Variant& out);
  void SetFieldValue(TField& field, const Variant& value);

  // A dataset error: the message, prefixed by "<Name>: " when the dataset has a name.
  [[noreturn]] void DatabaseError(const std::string& message) const;

 protected:
  // ---- supplied by subclasses ----
  virtual void InternalOpen() = 0;  // FieldDefs complete after it
  virtual void InternalClose() {}
  virtual int64_t InternalRecordCount() = 0;
  virtual bool InternalHasRecord(int64_t pos) = 0;
  virtual void InternalSetCurrent(int64_t pos) = 0;  // -1: no current record
  virtual bool InternalGetData(const TField& field, Variant& out) = 0;
  virtual void InternalSetData(const TField& field, const Variant& v) = 0;
  virtual void InternalEdit() = 0;
  virtual void InternalInsert(bool append) = 0;
  virtual int64_t InternalPost() = 0;  // the position of the posted record afterwards
  virtual void InternalCancel() = 0;
  virtual void InternalDelete() = 0;  // the current record
  virtual TBookmark InternalBookmark(int64_t pos) = 0;
  virtual int64_t InternalFindBookmark(const TBookmark& bookmark) = 0;  // -1 when absent

  // ---- overridable behaviour ----
  virtual bool RecordVisible();  // the current record passes filters and ranges
  virtual bool HasRecordFilter() const;  // whether RecordVisible() can refuse anything
  virtual void CheckCanModify(const TField& field);  // raises when the field may not be set now
  virtual void CreateFields();
  virtual void DoOnNewRecord();
  virtual void DoBeforePost();
  virtual void DoAfterScroll();
  virtual void DoBeforeEdit() { Fire(BeforeEdit, *this); }
  virtual void DoAfterInsert() { Fire(AfterInsert, *this); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete, *this); }
  virtual void DoAfterCancel() { Fire(AfterCancel, *this); }
  virtual void DoAfterPost() { Fire(AfterPost, *this); }
  virtual void DoAfterDelete() { Fire(AfterDelete, *this); }

  int64_t Position() const { return pos_; }
  void SetState(TDataSetState s) { state_ = s; }
  // Moves to the first visible record at or after `from` (or before, going back); true when found.
  bool SeekVisible(int64_t from, int step);
  void SetCurrent(int64_t pos);  // positions, recalculates, no events
  void Resync();                 // after the order or filter changed: the nearest visible record
  void DataEvent();              // tells the links that data changed
  void CalculateFields();
  static void Fire(const TDataSetNotifyEvent& e, TDataSet& ds) {
    if (e) e(ds);
  }
  bool VisibleAt(int64_t pos);

  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<Variant> calcValues_;  // by field index, for calculated and lookup fields
  bool persistentFields_ = false;
  bool modified_ = false;

 private:
  void Scroll(const std::function<void()>& move);
  void BeginInsert(bool append);
  bool MatchesKeys(const std::vector<TField*>& fields, const std::vector<Variant>& values, TLocateOptions o);
  std::vector<TField*> FieldList(std::string_view names) const;

  TDataSetState state_ = dsInactive;
  int64_t pos_ = -1;
  int64_t savedPos_ = -1;  // the record current before an insert
  bool eof_ = true, bof_ = true;
  int disableCount_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<TDataLink*> links_;
};

}  // namespace qzt
