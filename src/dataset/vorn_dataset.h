// TVornCustomDataSet and TVornDataSet: the in-memory dataset that carries result sets and the server's
// own tables. Records live in a store of byte records (record_layout.h) with ids that are their
// bookmarks; blobs live in a blob store keyed by id; the dataset stream (SaveToStream / LoadFromStream)
// is its serialised form.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dataset/filter_expression.h"
#include "dataset/indexes.h"
#include "dataset/record_layout.h"
#include "platform/dataset.h"

namespace qzt {

QZT_EXCEPTION(EVornBookMarkError);

enum TVornStreamSaveOption : uint8_t {
  ssVornLegacy, ssZlibCompression, ssEncrypted, ssIndexes, ssCachedUpdates, ssExtendedFieldProperties,
  ssBlobOnlyStreamEvent, ssAggregates, ssCustom,
};
using TVornStreamSaveOptions = uint16_t;  // bit n for option n
constexpr TVornStreamSaveOptions StreamOption(TVornStreamSaveOption o) { return static_cast<uint16_t>(1u << o); }

enum TAutoCreateCalcFieldType : uint8_t {
  cfString, cfInteger, cfSmallInt, cfWord, cfFloat, cfCurrency, cfBCD, cfFMTBCD, cfBoolean, cfDateTime, cfDate,
  cfTime, cfLargeInt, cfWideString,
};

class TAutoCreateCalcField {
 public:
  std::string FieldName;
  bool Visible = true;
  int32_t Size = 0;
  bool Active() const { return active_; }
  void SetActive(bool v);  // a blank name cannot be activated
  TAutoCreateCalcFieldType DataType() const { return type_; }
  void SetDataType(TAutoCreateCalcFieldType t);
  TFieldType FieldType() const;

 private:
  bool active_ = false;
  TAutoCreateCalcFieldType type_ = cfString;
};

class TAutoCreateCalcFields {
 public:
  TAutoCreateCalcField& Add();  // named "AutoCalc" + a running number
  std::vector<TAutoCreateCalcField> Items;

 private:
  int next_ = 0;
};

struct TVornCopyOptions {
  std::vector<std::string> Include;  // copy only these fields (empty: all)
  std::vector<std::string> Exclude;
  std::vector<std::pair<std::string, TFieldType>> TypeOverrides;
  int MaxRecords = -1;  // -1: all
  bool CopyIndexes = true;  // indexes, aggregates and constraints, from an in-memory source without field lists
  bool KeepBookmarks = false;
};

enum class TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

class TVornCustomDataSet;

// A memory stream over a blob field's content; in a write mode the content is stored into the field when
// the stream is committed or destroyed.
class TVornBlobStream {
 public:
  TVornBlobStream(TField& field, TBlobStreamMode mode);
  ~TVornBlobStream();
  std::string Data;
  size_t Position = 0;
  size_t Read(char* buf, size_t n);
  void Write(std::string_view bytes);
  void Commit();

 private:
  TField& field_;
  TBlobStreamMode mode_;
  bool dirty_ = false;
};

class TVornCustomDataSet : public TDataSet {
 public:
  explicit TVornCustomDataSet(std::string name = "");
  ~TVornCustomDataSet() override;

  TVornStreamSaveOptions StreamOptions = StreamOption(ssIndexes) | StreamOption(ssAggregates);
  // May rewrite the whole stream in place (or, with ssBlobOnlyStreamEvent, each blob's content).
  std::function<void(TVornCustomDataSet& sender, std::string& stream, bool isLoading)> OnStreamEvent;
  TVornIndexes Indexes;
  TVornAggregates Aggregates;
  bool ReadOnly = false;
  std::string MasterFields;
  TAutoCreateCalcFields AutoCreateCalcFields;
  std::vector<std::string> FastFields;  // definition lines "name,type,size"
  std::string DetailFilter;

  void AddFastField(std::string_view name, TFieldType type, int32_t size);
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(const std::string& name);
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(const std::string& names);
  void AddIndex(const std::string& name, const std::string& fields, TVornIndexOptions options = 0);
  void SetIndexesActive(bool active);
  TDataSource* MasterSource() const { return masterSource_; }
  void SetMasterSource(TDataSource* source);  // "Circular Reference to DataSource"
  Variant AggregateValue(const std::string& name);

  void CopyFromDataSet(TDataSet& source, const TVornCopyOptions& options = {});
  void CopyFields(TDataSet& source, const std::vector<std::string>& fieldNames);
  virtual void EmptyDataSet();

  // Dataset stream.
  void SaveToStream(std::string& out);
  void LoadFromStream(std::string_view stream);
  void LoadFromStreamWithFields(std::string_view stream);
  std::string SaveToString() {
    std::string s;
    SaveToStream(s);
    return s;
  }
  void SaveToFile(const std::string& fileName);
  void LoadFromFile(const std::string& fileName);
  void LoadFromFileWithFields(const std::string& fileName);

  std::unique_ptr<TVornBlobStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

  const RecordLayout& Layout() const { return layout_; }
  bool HasStore() const { return hasStore_; }
  int StoredRecordCount() const { return static_cast<int>(natural_.size()); }
  int BlobCount() const { return static_cast<int>(blobs_.size()); }
  int32_t CurrentRecordId() const;  // 0 when there is no current record
  int32_t NextRecordId() const;     // the id the next posted record receives

  // Parses one definition line: the last two comma-separated parts are type and size.
  static TFieldDef ParseFastField(std::string_view line);

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int64_t InternalRecordCount() override;
  bool InternalHasRecord(int64_t pos) override;
  void InternalSetCurrent(int64_t pos) override;
  bool InternalGetData(const TField& field, Variant& out) override;
  void InternalSetData(const TField& field, const Variant& v) override;
  void InternalEdit() override;
  void InternalInsert(bool append) override;
  int64_t InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  TBookmark InternalBookmark(int64_t pos) override;
  int64_t InternalFindBookmark(const TBookmark& bookmark) override;
  bool RecordVisible() override;
  bool HasRecordFilter() const override;
  void CheckCanModify(const TField& field) override;
  void CreateFields() override;
  void DoOnNewRecord() override;
  void DoBeforePost() override;

  // For loading and for the change log: values set while not editing.
  bool loading_ = false;
  // The id the next posted insert receives instead of a new one (0: a new one).
  int32_t forcedId_ = 0;
  // Position of the record with this id in the current order, or -1.
  int64_t PositionOfId(int32_t id);
  int64_t PositionOf(const TVornRecord* r) const;
  TVornRecord* FindRecord(int32_t id);
  void ResetStore();

 private:
  friend class TVornBlobStream;
  std::vector<TVornFieldEntry> ReadStream(std::string_view stream);
  void ReadIndexes(class FilerReader& r);
  void ReadAggregates(class FilerReader& r);
  TVornRecord* At(int64_t pos) const;
  size_t OrderSize() const;
  const TVornIndex* CurrentIndex() const;
  void SelectIndex();
  void RebuildIndex(TVornIndex& index);
  void IndexInsert(TVornIndex& index, TVornRecord* r);
  void IndexRemove(TVornIndex& index, TVornRecord* r);
  int CompareRecords(const TVornIndex& index, const TVornRecord& a, const TVornRecord& b) const;
  void CheckComparable(const TVornIndex& index) const;
  void RemoveBlobsOf(const std::string& data);
  const std::string& CurrentData() const;
  std::string BlobContent(int32_t id) const;
  void CompileConstraints();
  void CheckConstraints();
  int32_t TakeId();

  RecordLayout layout_;
  bool hasStore_ = false;
  std::vector<std::unique_ptr<TVornRecord>> natural_;
  std::unordered_map<int32_t, TVornRecord*> byId_;
  std::map<int32_t, std::pair<int32_t, std::string>> blobs_;  // id -> (field number, content)
  int32_t nextId_ = 1;
  int32_t nextBlobId_ = 1;
  TVornRecord* cur_ = nullptr;
  std::string editBuf_;
  TVornRecord* editing_ = nullptr;
  TVornRecord* insertBefore_ = nullptr;
  bool insertAppend_ = false;
  std::map<int32_t, std::string> blobUndo_;  // contents replaced during an edit, restored on cancel
  std::string indexName_, indexFieldNames_;
  int currentIndex_ = -1;  // into Indexes.Items; -1 for the stored order
  TDataSource* masterSource_ = nullptr;
  TDataSet* master_ = nullptr;  // the source's dataset when it was set
  std::unique_ptr<TDataLink> masterLink_;
  std::string compiledFilter_;
  TFilterOptions compiledFilterOptions_ = 0;
  std::unique_ptr<TVornExpression> filter_;
  std::map<std::string, std::unique_ptr<TVornExpression>> constraints_;
  int autoCalcCount_ = 0;
};

// The plain in-memory dataset used by the server.
class TVornDataSet : public TVornCustomDataSet {
 public:
  using TVornCustomDataSet::TVornCustomDataSet;
};

// A dataset copied into a new in-memory dataset and written as a dataset stream.
std::string DataSetToString(TDataSet& source);
// A new dataset read from a stream with its fields; an empty string gives none.
std::unique_ptr<TVornDataSet> DataSetFromString(std::string_view stream);

}  // namespace qzt
