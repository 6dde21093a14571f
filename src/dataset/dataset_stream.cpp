// The dataset stream: writing and reading TVornCustomDataSet.
//
//   Int32 0x26FEA869, Int32 options (bit n for TVornStreamSaveOption n)
//   "TVornFieldList" [ per field: FieldNo, DataSize, Offset, type code, name ]
//   "TVornDBList"    [ per record: id, record bytes ]
//   "TVornBlobList"  [ per blob: id, field number, content ]
//   indexes section (with ssIndexes), aggregates section (with ssAggregates)
// The first three sections use filer values: integers as 02+Int8 / 03+Int16 / 04+Int32, strings as
// 06+length byte or 0C+Int32 length (readers also take 12 UTF-16 and 14 UTF-8 strings), 01 begins and 00
// ends a list. The optional sections use raw values: Int32 length + bytes, flag bytes, Int32s.
#include <fstream>
#include <iterator>
#include <sstream>

#include "dataset/vorn_dataset.h"
#include "platform/byte_cursor.h"
#include "platform/text_encoding.h"

namespace qzt {

namespace {

constexpr int32_t kMagic = 0x26FEA869;

class FilerWriter {
 public:
  explicit FilerWriter(std::string& out) : out_(out) {}
  void Integer(int32_t v) {
    if (v >= -128 && v <= 127) {
      out_ += '\x02';
      out_ += static_cast<char>(static_cast<int8_t>(v));
    } else if (v >= -32768 && v <= 32767) {
      out_ += '\x03';
      PutLE<int16_t>(out_, static_cast<int16_t>(v));
    } else {
      out_ += '\x04';
      PutLE<int32_t>(out_, v);
    }
  }
  void String(std::string_view s) {
    if (s.size() <= 255) {
      out_ += '\x06';
      out_ += static_cast<char>(s.size());
    } else {
      out_ += '\x0C';
      PutLE<int32_t>(out_, static_cast<int32_t>(s.size()));
    }
    out_.append(s);
  }
  void ListBegin() { out_ += '\x01'; }
  void ListEnd() { out_ += '\x00'; }
  void RawString(std::string_view s) {
    PutLE<int32_t>(out_, static_cast<int32_t>(s.size()));
    out_.append(s);
  }
  void RawByte(uint8_t b) { out_ += static_cast<char>(b); }
  void RawInt32(int32_t v) { PutLE<int32_t>(out_, v); }

 private:
  std::string& out_;
};

}  // namespace

// Reads filer and raw values, refusing to run past the end of the stream.
class FilerReader {
 public:
  explicit FilerReader(std::string_view s) : data_(s), c_(s) {}
  FilerReader(const FilerReader&) = delete;
  size_t Position() const { return c_.Position(); }
  void Seek(size_t pos) {
    c_ = ByteCursor(data_);
    c_.Skip(pos);
  }

  int32_t Integer() {
    switch (c_.Byte()) {
      case 2: return static_cast<int8_t>(c_.Byte());
      case 3: return c_.Int16();
      case 4: return c_.Int32();
      default: throw EReadError("Invalid property value");
    }
  }
  std::string String() {
    switch (c_.Byte()) {
      case 6: return std::string(c_.Bytes(c_.Byte()));
      case 12: return std::string(c_.Bytes(Length(1)));
      case 18: return Utf16LeToCp949(c_.Bytes(Length(2) * 2));
      case 20: return Utf8ToCp949(c_.Bytes(Length(1)));
      default: throw EReadError("Invalid property value");
    }
  }
  void ListBegin() {
    if (c_.Byte() != 1) throw EReadError("Invalid property value");
  }
  bool EndOfList() {
    if (c_.PeekByte() != 0) return false;
    c_.Skip(1);
    return true;
  }
  std::string RawString() {
    const int32_t n = c_.Int32();
    if (n <= 0) return {};
    return std::string(c_.Bytes(static_cast<size_t>(n)));
  }
  uint8_t RawByte() { return c_.Byte(); }
  int32_t RawInt32() { return c_.Int32(); }
  // A count of items of at least `itemBytes` bytes each, which must all be present.
  int32_t RawCount(size_t itemBytes) {
    const int32_t n = c_.Int32();
    if (n < 0 || static_cast<size_t>(n) > c_.Remaining() / itemBytes) throw EReadError("Stream read error");
    return n;
  }

 private:
  size_t Length(size_t unit) {
    const int32_t n = c_.Int32();
    if (n < 0 || static_cast<size_t>(n) > c_.Remaining() / unit) throw EReadError("Stream read error");
    return static_cast<size_t>(n);
  }
  std::string_view data_;
  ByteCursor c_;
};

void TVornCustomDataSet::SaveToStream(std::string& out) {
  std::string s;
  PutLE<int32_t>(s, kMagic);
  PutLE<int32_t>(s, StreamOptions & 0x1FF);
  if (hasStore_) {
    FilerWriter w(s);
    w.String("TVornFieldList");
    w.ListBegin();
    for (const TVornFieldEntry& e : layout_.Entries()) {
      w.Integer(e.FieldNo);
      w.Integer(e.DataSize);
      w.Integer(e.Offset);
      w.Integer(e.DataType);
      w.String(e.Name);
    }
    w.ListEnd();
    w.String("TVornDBList");
    w.ListBegin();
    for (const auto& r : natural_) {
      w.Integer(r->Id);
      w.String(r->Data);
    }
    w.ListEnd();
    w.String("TVornBlobList");
    w.ListBegin();
    for (const auto& [id, blob] : blobs_) {
      w.Integer(id);
      w.Integer(blob.first);
      w.String(blob.second);
    }
    w.ListEnd();
    if (StreamOptions & StreamOption(ssIndexes)) {
      w.RawString("TVornIndexes");
      w.RawByte(Indexes.Active ? 1 : 0);
      const TVornIndex* current = CurrentIndex();
      w.RawString(current ? current->Name : "");
      w.RawInt32(static_cast<int32_t>(Indexes.Items.size()));
      for (const TVornIndex& index : Indexes.Items) {
        w.RawString("TVornIndex");
        w.RawString(index.Name);
        w.RawString(index.Fields);
        w.RawInt32(index.Options);
        w.RawInt32(index.Complete ? 1 : 0);
        if (index.Options & ioNatural) continue;
        w.RawInt32(static_cast<int32_t>(index.Order.size()));
        for (const TVornRecord* r : index.Order) w.RawInt32(r->Id);
      }
    }
    if (StreamOptions & StreamOption(ssAggregates)) {
      w.RawString("TVornAggregates");
      w.RawByte(Aggregates.Active ? 1 : 0);
      w.RawInt32(static_cast<int32_t>(Aggregates.Items.size()));
      for (const TVornAggregate& a : Aggregates.Items) {
        w.RawString("TVornAggregate");
        w.RawString(a.Name);
        w.RawString(a.FieldName);
        w.RawByte(a.Kind);
        w.RawString(a.IndexName);
        w.RawInt32(a.GroupingLevel);
        w.RawByte(a.Active ? 1 : 0);
      }
    }
  }
  if (!(StreamOptions & StreamOption(ssBlobOnlyStreamEvent)) && OnStreamEvent) OnStreamEvent(*this, s, false);
  out += s;
}

namespace {

// An optional section: its class name must come first, else the position is restored.
template <typename F>
void OptionalSection(FilerReader& r, std::string_view className, F&& readEntries) {
  const size_t start = r.Position();
  try {
    if (r.RawString() != className) {
      r.Seek(start);
      return;
    }
    readEntries();
  } catch (const Exception&) {
    r.Seek(start);  // a damaged or foreign section is skipped
  }
}

}  // namespace

void TVornCustomDataSet::ReadIndexes(FilerReader& r) {
  OptionalSection(r, "TVornIndexes", [&] {
    std::vector<TVornIndex> items;
    const bool active = r.RawByte() != 0;
    const std::string current = r.RawString();
    const int32_t count = r.RawCount(12);
    for (int32_t i = 0; i < count; ++i) {
      TVornIndex index;
      r.RawString();  // class name, not checked
      index.Name = r.RawString();
      index.Fields = r.RawString();
      index.Options = static_cast<TVornIndexOptions>(r.RawInt32() & 0xFF);
      index.Complete = (r.RawInt32() & 1) != 0;
      if (!(index.Options & ioNatural)) {
        const int32_t n = r.RawCount(4);
        index.Order.reserve(n);
        for (int32_t k = 0; k < n; ++k) {
          const int32_t id = r.RawInt32();
          TVornRecord* rec = id >= 1 && static_cast<size_t>(id - 1) < natural_.size() && natural_[id - 1]->Id == id
                                 ? natural_[id - 1].get()
                                 : FindRecord(id);
          if (rec) index.Order.push_back(rec);
          else index.Complete = false;
        }
      }
      items.push_back(std::move(index));
    }
    Indexes.Items = std::move(items);
    Indexes.Active = active;
    indexFieldNames_.clear();
    indexName_ = Indexes.Find(current) ? current : "";
  });
}

void TVornCustomDataSet::ReadAggregates(FilerReader& r) {
  OptionalSection(r, "TVornAggregates", [&] {
    std::vector<TVornAggregate> items;
    const bool active = r.RawByte() != 0;
    const int32_t count = r.RawCount(20);
    for (int32_t i = 0; i < count; ++i) {
      TVornAggregate a;
      r.RawString();
      a.Name = r.RawString();
      a.FieldName = r.RawString();
      a.Kind = static_cast<TVornAggKind>(std::min<uint8_t>(r.RawByte(), akMax));
      a.IndexName = r.RawString();
      a.GroupingLevel = r.RawInt32();
      a.Active = r.RawByte() != 0;
      items.push_back(std::move(a));
    }
    Aggregates.Items = std::move(items);
    Aggregates.Active = active;
  });
}

std::vector<TVornFieldEntry> TVornCustomDataSet::ReadStream(std::string_view stream) {
  std::string hooked;
  if (!(StreamOptions & StreamOption(ssVornLegacy))) {
    if (!(StreamOptions & StreamOption(ssBlobOnlyStreamEvent)) && OnStreamEvent) {
      hooked = std::string(stream);
      OnStreamEvent(*this, hooked, true);
      stream = hooked;
    }
  }
  FilerReader r(stream);
  std::vector<TVornFieldEntry> entries;
  try {
    if (!(StreamOptions & StreamOption(ssVornLegacy))) {
      if (r.RawInt32() == kMagic) {
        StreamOptions = static_cast<TVornStreamSaveOptions>(r.RawInt32() & 0x1FF);
      } else {
        StreamOptions = StreamOption(ssVornLegacy);
        r.Seek(0);
      }
    }
    if (!hasStore_) return entries;
    if (Active() && (State() == dsEdit || State() == dsInsert)) Cancel();
    ResetStore();
    r.String();  // class name, not checked
    r.ListBegin();
    while (!r.EndOfList()) {
      TVornFieldEntry e;
      e.FieldNo = r.Integer();
      e.DataSize = r.Integer();
      e.Offset = r.Integer();
      e.DataType = FieldTypeFromOrdinal(r.Integer());
      e.Name = r.String();
      entries.push_back(std::move(e));
    }
    r.String();
    r.ListBegin();
    int32_t maxId = 0;
    while (!r.EndOfList()) {
      auto rec = std::make_unique<TVornRecord>();
      rec->Id = r.Integer();
      rec->Data = r.String();
      maxId = std::max(maxId, rec->Id);
      byId_.emplace(rec->Id, rec.get());  // a repeated id keeps both records; lookups find the first
      natural_.push_back(std::move(rec));
    }
    nextId_ = maxId + 1;
    r.String();
    r.ListBegin();
    while (!r.EndOfList()) {
      const int32_t id = r.Integer();
      const int32_t fieldNo = r.Integer();
      blobs_[id] = {fieldNo, r.String()};
      nextBlobId_ = std::max(nextBlobId_, id + 1);
    }
    if (StreamOptions & StreamOption(ssIndexes)) ReadIndexes(r);
    if (StreamOptions & StreamOption(ssAggregates)) ReadAggregates(r);
  } catch (const EReadError& e) {
    throw EReadError(e.Message == "Invalid property value" ? e.Message : "Stream read error");
  }
  return entries;
}

void TVornCustomDataSet::LoadFromStream(std::string_view stream) {
  ReadStream(stream);
  if (Active()) {
    for (auto& index : Indexes.Items)
      if (!index.Complete || index.Order.size() != natural_.size()) RebuildIndex(index);
    SelectIndex();
    First();
    DataEvent();
  }
}

void TVornCustomDataSet::LoadFromStreamWithFields(std::string_view stream) {
  Close();
  hasStore_ = true;
  const std::vector<TVornFieldEntry> entries = ReadStream(stream);
  FastFields.clear();
  ClearFields();
  FieldDefs.clear();
  for (const TVornFieldEntry& e : entries) {
    int32_t size = 0;
    switch (e.DataType) {
      case ftString: case ftBytes: case ftVarBytes: case ftFixedChar: case ftDataSet: size = e.DataSize; break;
      case ftGuid: size = 38; break;
      case ftWideString: size = e.DataSize / 2; break;
      default: break;
    }
    AddFastField(e.Name, e.DataType, size);
  }
  Open();
  First();
}

void TVornCustomDataSet::SaveToFile(const std::string& fileName) {
  std::string s;
  SaveToStream(s);
  std::ofstream f(fileName, std::ios::binary | std::ios::trunc);
  f.write(s.data(), static_cast<std::streamsize>(s.size()));
  if (!f) DatabaseError("Unable to save to " + fileName);
}

namespace {

std::string ReadWholeFile(const std::string& fileName) {
  std::ifstream f(fileName, std::ios::binary);
  if (!f) throw EDatabaseError("Unable to load from " + fileName + "\n" + fileName + " does not exist.");
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

void TVornCustomDataSet::LoadFromFile(const std::string& fileName) { LoadFromStream(ReadWholeFile(fileName)); }

void TVornCustomDataSet::LoadFromFileWithFields(const std::string& fileName) {
  LoadFromStreamWithFields(ReadWholeFile(fileName));
  Refresh();
}

}  // namespace qzt
