#include "dataset/record_layout.h"

#include <cmath>
#include <cstring>

#include "platform/date_time.h"
#include "platform/text_encoding.h"

namespace qzt {

int32_t FieldDataSize(TFieldType type, int32_t size) {
  if (size < 0) size = 0;
  switch (type) {
    case ftString: case ftFixedChar: case ftBytes: case ftVarBytes: return size;
    case ftGuid: return 38;
    case ftWideString: return 2 * size;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftTime: return 4;
    case ftDate: case ftDateTime: case ftFloat: case ftCurrency: case ftBCD: case ftLargeint: return 8;
    case ftTimeStamp: return 16;
    case ftFMTBcd: return 34;
    default: return IsBlobType(type) ? 4 : 0;
  }
}

void RecordLayout::Build(const std::vector<TFieldDef>& defs) {
  entries_.clear();
  dataSize_ = 0;
  int64_t total = 0;
  for (size_t i = 0; i < defs.size(); ++i) {
    TVornFieldEntry e;
    e.FieldNo = static_cast<int32_t>(i + 1);
    e.DataType = defs[i].DataType;
    e.DataSize = FieldDataSize(defs[i].DataType, defs[i].Size);
    e.Offset = static_cast<int32_t>(total);
    e.Name = defs[i].Name;
    total += e.DataSize;
    // Field lists also come from outside (dataset streams): a record must stay allocatable.
    if (total > MaxRecordSize) throw EDatabaseError("Record size exceeds " + std::to_string(MaxRecordSize) + " bytes");
    entries_.push_back(std::move(e));
  }
  dataSize_ = static_cast<int32_t>(total);
  const int32_t f = static_cast<int32_t>(entries_.size());
  recordSize_ = dataSize_ + 4 * (f / 32 + 2);
}

bool RecordLayout::HasValue(const std::string& rec, int32_t fieldNo) const {
  const size_t byte = dataSize_ + 1 + static_cast<size_t>((fieldNo - 1) / 32) * 4 + ((fieldNo - 1) % 32) / 8;
  return byte < rec.size() && (static_cast<uint8_t>(rec[byte]) >> ((fieldNo - 1) % 8) & 1);
}

void RecordLayout::SetHasValue(std::string& rec, int32_t fieldNo, bool has) const {
  const size_t byte = dataSize_ + 1 + static_cast<size_t>((fieldNo - 1) / 32) * 4 + ((fieldNo - 1) % 32) / 8;
  if (byte >= rec.size()) return;
  const uint8_t bit = static_cast<uint8_t>(1u << ((fieldNo - 1) % 8));
  rec[byte] = static_cast<char>(has ? (static_cast<uint8_t>(rec[byte]) | bit) : (static_cast<uint8_t>(rec[byte]) & ~bit));
}

namespace {

template <typename T>
T Get(const std::string& rec, int32_t offset) {
  T v;
  std::memcpy(&v, rec.data() + offset, sizeof(T));
  return v;
}

template <typename T>
void Put(std::string& rec, int32_t offset, const T& v) {
  std::memcpy(rec.data() + offset, &v, sizeof(T));
}

// A text in a fixed area: up to the first 0 (or `unit`-byte 0 unit) or the end of the area.
std::string FixedText(const std::string& rec, const TVornFieldEntry& e, int unit) {
  const char* p = rec.data() + e.Offset;
  int32_t n = 0;
  while (n + unit <= e.DataSize) {
    bool zero = true;
    for (int k = 0; k < unit; ++k) zero = zero && p[n + k] == 0;
    if (zero) break;
    n += unit;
  }
  return std::string(p, n);
}

void PutFixed(std::string& rec, const TVornFieldEntry& e, std::string_view bytes) {
  std::memset(rec.data() + e.Offset, 0, e.DataSize);
  std::memcpy(rec.data() + e.Offset, bytes.data(), std::min<size_t>(bytes.size(), e.DataSize));
}

}  // namespace

Variant RecordLayout::Read(const std::string& rec, const TVornFieldEntry& e) const {
  switch (e.DataType) {
    case ftString: case ftFixedChar: case ftGuid: return Variant(FixedText(rec, e, 1));
    case ftWideString: return Variant(Utf16LeToCp949(FixedText(rec, e, 2)));
    case ftSmallint: return Variant::Int16(Get<int16_t>(rec, e.Offset));
    case ftWord: return Variant::UInt16(Get<uint16_t>(rec, e.Offset));
    case ftBoolean: return Variant(Get<int16_t>(rec, e.Offset) != 0);
    case ftInteger: case ftAutoInc: return Variant(Get<int32_t>(rec, e.Offset));
    case ftTime: return Variant::Date(Get<int32_t>(rec, e.Offset) / static_cast<double>(MSecsPerDay));
    case ftDate: return Variant::Date(static_cast<double>(Get<int32_t>(rec, e.Offset)) - DateDelta);
    case ftDateTime: {
      const double ms = Get<double>(rec, e.Offset);
      if (ms == 0 || !std::isfinite(ms)) return Variant::Date(0);
      const double days = std::trunc(ms / MSecsPerDay);
      const double time = (ms - days * MSecsPerDay) / MSecsPerDay;
      const double d = days - DateDelta;
      return Variant::Date(d < 0 ? d - time : d + time);
    }
    case ftFloat: case ftCurrency: return Variant(Get<double>(rec, e.Offset));
    case ftBCD: return Variant::Currency(Get<int64_t>(rec, e.Offset));
    case ftLargeint: return Variant(Get<int64_t>(rec, e.Offset));
    case ftTimeStamp: return Variant(Get<TSQLTimeStamp>(rec, e.Offset));
    case ftFMTBcd: return Variant(Get<TBcd>(rec, e.Offset));
    case ftBytes: case ftVarBytes: return Variant::Bytes(rec.substr(e.Offset, e.DataSize));
    default: return Variant::Null();
  }
}

void RecordLayout::Write(std::string& rec, const TVornFieldEntry& e, const Variant& v) const {
  int64_t days = 0, msecs = 0;
  switch (e.DataType) {
    case ftString: case ftFixedChar: case ftGuid: case ftBytes: case ftVarBytes: PutFixed(rec, e, v.ToString()); break;
    case ftWideString: PutFixed(rec, e, Cp949ToUtf16Le(v.ToString())); break;
    case ftSmallint: Put<int16_t>(rec, e.Offset, static_cast<int16_t>(v.ToInt64())); break;
    case ftWord: Put<uint16_t>(rec, e.Offset, static_cast<uint16_t>(v.ToInt64())); break;
    case ftBoolean: Put<int16_t>(rec, e.Offset, v.ToBool() ? 1 : 0); break;
    case ftInteger: case ftAutoInc: Put<int32_t>(rec, e.Offset, static_cast<int32_t>(v.ToInt64())); break;
    case ftTime:
      SplitDateTime(v.ToDateTime(), days, msecs);
      Put<int32_t>(rec, e.Offset, static_cast<int32_t>(msecs));
      break;
    case ftDate:
      SplitDateTime(v.ToDateTime(), days, msecs);
      Put<int32_t>(rec, e.Offset, static_cast<int32_t>(days + DateDelta));
      break;
    case ftDateTime:
      SplitDateTime(v.ToDateTime(), days, msecs);
      Put<double>(rec, e.Offset, static_cast<double>(days + DateDelta) * MSecsPerDay + static_cast<double>(msecs));
      break;
    case ftFloat: case ftCurrency: Put<double>(rec, e.Offset, v.ToDouble()); break;
    case ftBCD: Put<int64_t>(rec, e.Offset, v.ToCurrency()); break;
    case ftLargeint: Put<int64_t>(rec, e.Offset, v.ToInt64()); break;
    case ftTimeStamp: Put<TSQLTimeStamp>(rec, e.Offset, v.ToSQLTimeStamp()); break;
    case ftFMTBcd: Put<TBcd>(rec, e.Offset, v.ToBcd()); break;
    default: break;
  }
}

int32_t RecordLayout::BlobId(const std::string& rec, const TVornFieldEntry& e) const {
  return e.DataSize >= 4 ? Get<int32_t>(rec, e.Offset) : 0;
}

void RecordLayout::SetBlobId(std::string& rec, const TVornFieldEntry& e, int32_t id) const {
  if (e.DataSize >= 4) Put<int32_t>(rec, e.Offset, id);
}

}  // namespace qzt
