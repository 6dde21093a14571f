// The record layout of the in-memory dataset, which is also its layout in the dataset stream.
//
// A record is: each data field's bytes at its offset (the sum of the data sizes before it), one spare
// byte, (F div 32 + 1) Int32 presence words (bit (k-1) mod 32 of word (k-1) div 32 set when field k has a
// value), three spare bytes; record size = data size + 4 x (F div 32 + 2).
//
// Data size and bytes by field type:
//   ftString, ftFixedChar, ftGuid   Size bytes: the text, a 0 byte when shorter
//   ftWideString                    2 x Size: UTF-16LE, a 0 unit when shorter
//   ftSmallint, ftWord, ftBoolean   2: Int16 / UInt16 / Int16 1 or 0
//   ftInteger, ftAutoInc            4: Int32
//   ftTime                          4: Int32 milliseconds since midnight
//   ftDate                          8: Int32 day number, day 1 = 0001-01-01 (1899-12-30 = 693594), 4 unused
//   ftDateTime                      8: double milliseconds since 0001-01-01; 0 reads as 1899-12-30
//   ftFloat, ftCurrency             8: double
//   ftBCD, ftLargeint               8: Int64 (BCD as currency x 10000)
//   ftTimeStamp 16, ftFMTBcd 34     the records
//   ftBytes, ftVarBytes             Size bytes
//   blob kinds (memo, blob, graphic, fmt memo, typed binary, dataset, ora blob/clob)  4: Int32 blob id
//   anything else                   0
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/field.h"

namespace qzt {

inline constexpr int32_t DateDelta = 693594;  // day number of 1899-12-30
inline constexpr int64_t MaxRecordSize = 16 * 1024 * 1024;

int32_t FieldDataSize(TFieldType type, int32_t size);

struct TVornFieldEntry {
  int32_t FieldNo = 0;  // 1-based
  int32_t DataSize = 0;
  int32_t Offset = 0;
  TFieldType DataType = ftUnknown;
  std::string Name;
};

class RecordLayout {
 public:
  void Build(const std::vector<TFieldDef>& defs);  // EDatabaseError when a record would exceed 16 MiB
  void Clear() { *this = RecordLayout(); }

  const std::vector<TVornFieldEntry>& Entries() const { return entries_; }
  int32_t RecordSize() const { return recordSize_; }
  int32_t DataSize() const { return dataSize_; }

  std::string NewRecord() const { return std::string(recordSize_, '\0'); }
  bool HasValue(const std::string& rec, int32_t fieldNo) const;
  void SetHasValue(std::string& rec, int32_t fieldNo, bool has) const;
  // Values of the non-blob kinds; the record is recordSize bytes.
  Variant Read(const std::string& rec, const TVornFieldEntry& e) const;
  void Write(std::string& rec, const TVornFieldEntry& e, const Variant& v) const;
  int32_t BlobId(const std::string& rec, const TVornFieldEntry& e) const;
  void SetBlobId(std::string& rec, const TVornFieldEntry& e, int32_t id) const;

 private:
  std::vector<TVornFieldEntry> entries_;
  int32_t dataSize_ = 0;
  int32_t recordSize_ = 0;
};

}  // namespace qzt
