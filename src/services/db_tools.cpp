#include "services/db_tools.h"

#include <bit>
#include <cstring>

#include "codec/transforms.h"
#include "platform/bcd.h"
#include "server/worker_thread.h"

namespace qzt {

namespace {

void AppendLittleEndian(std::string& out, const void* value, size_t size) {
  out.append(static_cast<const char*>(value), size);  // the server runs on little-endian machines only
}

void AppendDouble(std::string& out, char marker, double v) {
  out += marker;
  AppendLittleEndian(out, &v, 8);
}

void AppendLengthValue(std::string& out, const std::string* bytes) {
  out += kLengthValue;
  const int32_t length = bytes ? static_cast<int32_t>(bytes->size()) : -1;
  AppendLittleEndian(out, &length, 4);
  if (bytes) out += *bytes;
}

}  // namespace

static_assert(std::endian::native == std::endian::little);

void TVornDBTools::AppendValue(std::string& out, const TField& field, TVornSelectSQLOptionSet options) {
  const auto lengthValue = [&](bool wanted) {
    if (!wanted || field.IsNull()) return AppendLengthValue(out, nullptr);
    const std::string bytes = field.AsString();
    AppendLengthValue(out, &bytes);
  };
  switch (field.DataType) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftFixedChar:
    case ftWideString: case ftLargeint: case ftGuid:
      if (field.IsNull()) out += kNullValue;
      else out += field.AsString();
      break;
    case ftBoolean:
      if (field.IsNull()) out += kNullValue;
      else out += field.AsBoolean() ? '1' : '0';
      break;
    case ftFloat: case ftCurrency:
      if (field.IsNull()) out += kNullValue;
      else AppendDouble(out, kDoubleValue, field.AsFloat());
      break;
    case ftBCD:
      if (field.IsNull()) {
        out += kNullValue;
      } else {
        const int64_t currency = field.AsCurrency();
        out += kBcdValue;
        AppendLittleEndian(out, &currency, 8);
      }
      break;
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
      if (field.IsNull()) out += kNullValue;
      else AppendDouble(out, kDoubleValue, field.AsDateTime());
      break;
    case ftFMTBcd:
      if (field.IsNull()) {
        out += kNullValue;
      } else {
        const TBcd bcd = field.AsBCD();
        out += kFmtBcdValue;
        AppendLittleEndian(out, &bcd, sizeof bcd);
      }
      break;
    case ftBytes: case ftVarBytes: lengthValue(options & soFetchBytes); break;
    case ftBlob: case ftGraphic: case ftFmtMemo: case ftTypedBinary: case ftOraBlob:
      lengthValue(options & soFetchBlobs);
      break;
    case ftMemo: case ftOraClob: lengthValue(options & soFetchMemos); break;
    case ftDataSet: lengthValue(true); break;
    default: break;  // no value
  }
}

bool TVornDBTools::Terminated() const { return Thread && Thread->Terminated; }

const std::string& TVornDBTools::FieldDefs() {
  Result.clear();
  if (!DataSet) return Result;
  for (int i = 0; i < DataSet->FieldCount(); ++i) {
    const TField& f = DataSet->Fields(i);
    Result += f.FieldName;
    Result += kFieldEnd;
    Result += std::to_string(static_cast<int>(f.DataType));
    Result += kFieldEnd;
    Result += std::to_string(f.Size);
    Result += kFieldEnd;
    Result += f.Calculated() ? '1' : '0';
    Result += kFieldEnd;
    Result += f.ReadOnly ? '1' : '0';
    Result += kFieldEnd;
    Result += kRowEnd;
  }
  return Result;
}

const std::string& TVornDBTools::RunQuery(const std::function<void()>& query) {
  try {
    query();
  } catch (const std::exception& e) {
    Error = true;
    ErrorText = e.what();
    throw;
  }
  return FieldDefs();
}

const std::string& TVornDBTools::Rows(bool fromFirst, int32_t count, TVornSelectSQLOptionSet options) {
  Options = options;
  Result.clear();
  if (!DataSet || !DataSet->Active()) {
    Error = true;
    Result = std::string("NULL") + kRowEnd;
    return Result;
  }
  const int32_t limit = count < 0 || count > kMaxRowsPerRun ? kMaxRowsPerRun : count;
  TDataSet& ds = *DataSet;
  const int fields = ds.FieldCount();
  ds.DisableControls();
  try {
    if (fromFirst && !ds.IsEmpty()) ds.First();  // also after an earlier run left the cursor at the end
    int32_t sent = 0;
    if (limit > 0 && !ds.Eof()) {
      for (;;) {
        for (int i = 0; i < fields; ++i) {
          AppendValue(Result, ds.Fields(i), options);
          Result += kFieldEnd;
        }
        Result += kRowEnd;
        if (++sent >= limit) {
          ds.Next();  // the cursor goes past the last row sent
          break;
        }
        ds.Next();
        if (ds.Eof() || Terminated()) break;
      }
    }
  } catch (...) {
    ds.EnableControls();
    throw;
  }
  ds.EnableControls();
  if (Result.empty()) Result = std::string("NULL") + kRowEnd;
  return Result;
}

bool TVornDBTools::Compress(std::string& text, TVornSelectSQLOptionSet options) {
  if (!(options & soCompress)) return false;
  text = ZCompress(text, 9);
  return true;
}

}  // namespace qzt
