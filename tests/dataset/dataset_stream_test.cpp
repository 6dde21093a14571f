#include <gtest/gtest.h>

#include "dataset/audit_dataset.h"
#include "dataset/vorn_dataset.h"
#include "dataset_fixtures.h"
#include "platform/byte_cursor.h"

namespace qzt {
namespace {

using test::Column;
using test::Hex;

std::string Raw(std::string_view s) {
  std::string out;
  PutInt32(out, static_cast<int32_t>(s.size()));
  return out + std::string(s);
}

TEST(DatasetStream, EmptyOneIntegerFieldDataset) {
  TVornDataSet ds;
  ds.AddFastField("ID", ftInteger, 0);
  ds.Open();
  std::string expected("\x69\xA8\xFE\x26\x88\x00\x00\x00", 8);
  expected += "\x06\x0ETVornFieldList\x01\x02\x01\x02\x04\x02";
  expected += std::string("\x00\x02\x03\x06\x02ID\x00", 8);
  expected += std::string("\x06\x0BTVornDBList\x01\x00", 15);
  expected += std::string("\x06\x0DTVornBlobList\x01\x00", 17);
  expected += Raw("TVornIndexes") + "\x01" + Raw("") + std::string(4, '\0');
  expected += Raw("TVornAggregates") + "\x01" + std::string(4, '\0');
  EXPECT_EQ(Hex(ds.SaveToString()), Hex(expected));
}

TEST(DatasetStream, RecordLayoutAndPresenceWords) {
  TVornDataSet one;
  one.AddFastField("ID", ftInteger, 0);
  one.Open();
  EXPECT_EQ(one.Layout().RecordSize(), 12);
  one.AppendRecord({Variant(int32_t{0x01020304})});
  const std::string s = one.SaveToString();
  // the record string: 06 0C, then 04 03 02 01, the spare byte, presence word 01 00 00 00, three spares
  EXPECT_NE(s.find(std::string("\x06\x0C\x04\x03\x02\x01\x00\x01\x00\x00\x00\x00\x00\x00", 14)), std::string::npos);

  TVornDataSet wide;
  for (int i = 1; i <= 33; ++i) wide.AddFastField("F" + std::to_string(i), ftSmallint, 0);
  wide.Open();
  EXPECT_EQ(wide.Layout().RecordSize(), 66 + 12);
  wide.Append();
  wide.FieldByName("F33").SetAsInteger(7);
  wide.Post();
  std::string rec = wide.Layout().NewRecord();
  wide.Layout().SetHasValue(rec, 33, true);
  EXPECT_EQ(rec[66 + 1 + 4], 1);  // bit 0 of the second word
  EXPECT_TRUE(wide.FieldByName("F1").IsNull());
  EXPECT_EQ(wide.FieldByName("F33").AsInteger(), 7);
}

TEST(DatasetStream, ShortAndLongStringsAndHighBytes) {
  for (int size : {200, 300}) {
    TVornDataSet ds;
    ds.AddFastField("S", ftString, size - 8);  // record size = data size + 8
    ds.AddFastField("B", ftBlob, 0);
    ds.Open();
    std::string blob;
    for (int i = 0; i < 256; ++i) blob += static_cast<char>(i);
    ds.AppendRecord({Variant(std::string(size - 8, '\xB0')), Variant(blob)});
    ASSERT_EQ(ds.Layout().RecordSize(), size + 4);
    const std::string s = ds.SaveToString();
    std::string header = size + 4 <= 255 ? std::string{'\x06', static_cast<char>(size + 4)} : std::string("\x0C");
    if (size + 4 > 255) PutInt32(header, size + 4);
    EXPECT_NE(s.find(header + std::string(size - 8, '\xB0')), std::string::npos) << size;
    TVornDataSet back;
    back.LoadFromStreamWithFields(s);
    EXPECT_EQ(back.FieldByName("B").AsString(), blob);
    EXPECT_EQ(back.FieldByName("S").AsString(), std::string(size - 8, '\xB0'));
  }
}

TEST(DatasetStream, EveryFieldTypeRoundTrips) {
  TVornDataSet nested;
  nested.AddFastField("X", ftInteger, 0);
  nested.Open();
  nested.AppendRecord({Variant(int32_t{42})});

  TVornDataSet ds;
  const struct {
    const char* name;
    TFieldType type;
    int size;
    Variant value;
  } fields[] = {
      {"S", ftString, 10, Variant("text")},
      {"FC", ftFixedChar, 4, Variant("abcd")},
      {"WS", ftWideString, 5, Variant("\xC7\xD1\xB1\xDB")},
      {"SI", ftSmallint, 0, Variant::Int16(-7)},
      {"I", ftInteger, 0, Variant(int32_t{-100000})},
      {"W", ftWord, 0, Variant::UInt16(65535)},
      {"BO", ftBoolean, 0, Variant(true)},
      {"F", ftFloat, 0, Variant(3.25)},
      {"CU", ftCurrency, 0, Variant(2.5)},
      {"BC", ftBCD, 0, Variant::Currency(12345)},
      {"D", ftDate, 0, Variant::Date(EncodeDate(2024, 3, 5))},
      {"T", ftTime, 0, Variant::Date(EncodeTime(13, 14, 15, 16))},
      {"DT", ftDateTime, 0, Variant::Date(EncodeDate(1850, 1, 2) - EncodeTime(6, 0, 0, 0))},
      {"BY", ftBytes, 3, Variant::Bytes(std::string("\0\1\2", 3))},
      {"AI", ftAutoInc, 0, Variant(int32_t{9})},
      {"BL", ftBlob, 0, Variant(std::string("\0\xFF", 2))},
      {"ME", ftMemo, 0, Variant("memo")},
      {"G", ftGuid, 38, Variant("{01234567-89AB-CDEF-0123-456789ABCDEF}")},
      {"L", ftLargeint, 0, Variant(int64_t{-5000000000})},
      {"TS", ftTimeStamp, 0, Variant(TSQLTimeStamp{2024, 3, 5, 1, 2, 3, 0})},
      {"FB", ftFMTBcd, 0, Variant(StrToBcd("-12.5"))},
      {"N", ftDataSet, 0, Variant(nested.SaveToString())},
      {"NUL", ftInteger, 0, Variant::Null()},
  };
  for (const auto& f : fields) ds.AddFastField(f.name, f.type, f.size);
  ds.Open();
  ds.Append();
  for (const auto& f : fields) ds.FieldByName(f.name).SetAsVariant(f.value);
  ds.Post();
  ds.AddIndex("ByF", "F;I", ioDescending);
  ds.Aggregates.Items.push_back({"Total", "I", akSum, "", 0, true});

  TVornDataSet back;
  back.LoadFromStreamWithFields(ds.SaveToString());
  for (const auto& f : fields) {
    const TField& field = back.FieldByName(f.name);
    EXPECT_EQ(field.DataType, f.type) << f.name;
    EXPECT_EQ(field.AsString(), ds.FieldByName(f.name).AsString()) << f.name;
    EXPECT_EQ(field.IsNull(), f.value.IsNull()) << f.name;
  }
  EXPECT_EQ(back.FieldByName("DT").AsDateTime(), EncodeDate(1850, 1, 2) - EncodeTime(6, 0, 0, 0));
  EXPECT_EQ(back.FieldByName("T").AsDateTime(), EncodeTime(13, 14, 15, 16));
  ASSERT_EQ(back.Indexes.Items.size(), 1u);
  EXPECT_EQ(back.Indexes.Items[0].Fields, "F;I");
  EXPECT_EQ(back.AggregateValue("Total"), Variant(-100000.0));
  auto inner = DataSetFromString(back.FieldByName("N").AsString());
  EXPECT_EQ(inner->FieldByName("X").AsInteger(), 42);
  EXPECT_EQ(back.SaveToString(), ds.SaveToString());
}

TEST(DatasetStream, LegacyStreamsAndNeverOpenedDatasets) {
  TVornDataSet source;
  test::FillItems(source);
  source.StreamOptions = 0;
  std::string legacy = source.SaveToString().substr(8);  // no header at all

  TVornDataSet ds;
  int hooks = 0;
  ds.OnStreamEvent = [&](TVornCustomDataSet&, std::string&, bool) { ++hooks; };
  ds.LoadFromStreamWithFields(legacy);
  EXPECT_EQ(ds.StreamOptions, StreamOption(ssVornLegacy));
  EXPECT_EQ(Column(ds, "NAME"), "apple Banana cherry");
  EXPECT_EQ(hooks, 1);
  ds.LoadFromStream(legacy);  // already legacy: no header check, no hook
  EXPECT_EQ(hooks, 1);
  EXPECT_EQ(ds.RecordCount(), 3);

  TVornDataSet never;
  EXPECT_EQ(never.SaveToString().size(), 8u);
  never.LoadFromStream(source.SaveToString());
  EXPECT_FALSE(never.HasStore());
  EXPECT_EQ(never.StoredRecordCount(), 0);
}

TEST(DatasetStream, OptionalSections) {
  TVornDataSet ds;
  test::FillItems(ds);
  ds.AddIndex("Natural", "", ioNatural);
  ds.AddIndex("ByName", "NAME", ioCaseInsensitive);
  ds.Aggregates.Items.push_back({"Max", "PRICE", akMax, "", 0, true});
  const std::string s = ds.SaveToString();
  // The natural index carries no record ids: its options are followed directly by the next index.
  const std::string natural = Raw("TVornIndex") + Raw("Natural") + Raw("") + std::string("\x20\0\0\0\x01\0\0\0", 8) +
                              Raw("TVornIndex");
  EXPECT_NE(s.find(natural), std::string::npos);

  // Another class name where the indexes section should be (here: the aggregates section, the indexes
  // section missing): indexes empty, the aggregates still read.
  ds.StreamOptions = StreamOption(ssAggregates);
  std::string foreign = ds.SaveToString();
  foreign[4] = static_cast<char>(StreamOption(ssAggregates) | StreamOption(ssIndexes));
  TVornDataSet back;
  back.LoadFromStreamWithFields(foreign);
  EXPECT_TRUE(back.Indexes.Items.empty());
  EXPECT_EQ(back.AggregateValue("Max"), Variant(7.0));
  // A damaged indexes section is skipped too.
  std::string damaged = s;
  damaged.replace(damaged.find("TVornIndexes"), 12, "OtherIndexes");
  TVornDataSet skipped;
  skipped.LoadFromStreamWithFields(damaged);
  EXPECT_TRUE(skipped.Indexes.Items.empty());
  EXPECT_EQ(skipped.RecordCount(), 3);
}

TEST(DatasetStream, ForeignStringEncodingsAreAccepted) {
  TVornDataSet ds;
  ds.AddFastField("ID", ftInteger, 0);
  ds.Open();
  std::string s = ds.SaveToString();
  // the field name as a UTF-8 string value (type 20)
  const std::string name = std::string("\x06\x02") + "ID";
  std::string utf8 = "\x14";
  PutInt32(utf8, 5);
  utf8 += "한";
  utf8 += "ID";
  s.replace(s.find(name), name.size(), utf8);
  TVornDataSet back;
  back.LoadFromStreamWithFields(s);
  EXPECT_EQ(back.Fields(0).FieldName, "\xC7\xD1" "ID");
}

TEST(DatasetStream, HooksRewriteTheStream) {
  auto flip = [](TVornCustomDataSet&, std::string& s, bool) {
    for (char& c : s) c = static_cast<char>(c ^ 0x5A);
  };
  TVornDataSet ds;
  test::FillItems(ds);
  ds.OnStreamEvent = flip;
  const std::string s = ds.SaveToString();
  EXPECT_EQ(s.find("TVornFieldList"), std::string::npos);
  TVornDataSet back;
  back.OnStreamEvent = flip;
  back.LoadFromStreamWithFields(s);
  EXPECT_EQ(Column(back, "ID"), "1 2 3");

  // Blob-only hook: each content is rewritten on the way in and out.
  TVornDataSet blobs;
  blobs.StreamOptions |= StreamOption(ssBlobOnlyStreamEvent);
  blobs.OnStreamEvent = flip;
  blobs.AddFastField("B", ftMemo, 0);
  blobs.Open();
  blobs.AppendRecord({Variant("secret")});
  EXPECT_EQ(blobs.FieldByName("B").AsString(), "secret");
  EXPECT_EQ(blobs.SaveToString().find("secret"), std::string::npos);
}

TEST(DatasetStream, TruncatedAndHostileStreamsFailCleanly) {
  TVornDataSet ds;
  test::FillItems(ds);
  ds.AddFastField("M", ftMemo, 0);
  ds.AddIndex("ByName", "NAME");
  const std::string s = ds.SaveToString();
  for (size_t cut = 8; cut < s.size(); ++cut) {
    TVornDataSet back;
    try {
      back.LoadFromStreamWithFields(s.substr(0, cut));
    } catch (const Exception& e) {
      EXPECT_TRUE(e.Message == "Stream read error" || e.Message == "Invalid property value") << cut << e.Message;
    }
  }
  std::string bad = s;
  bad[bad.find("TVornFieldList") + 15] = '\x07';  // list begin replaced
  TVornDataSet back;
  EXPECT_THROW(back.LoadFromStreamWithFields(bad), EReadError);
  std::string huge = s.substr(0, 8) + "\x0C\xFF\xFF\xFF\x7F";  // a string of 2 GiB announced
  EXPECT_THROW(back.LoadFromStreamWithFields(huge), EReadError);
}

TEST(DatasetStream, RecordsOfAnotherSizeAreReportedOnRead) {
  TVornDataSet a;
  test::FillItems(a);
  TVornDataSet b;
  b.AddFastField("ID", ftInteger, 0);
  b.Open();
  b.LoadFromStream(a.SaveToString());
  EXPECT_EQ(b.StoredRecordCount(), 3);
  try {
    b.FieldByName("ID").AsInteger();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Direct read buffer length mismatch");
  }
}

}  // namespace
}  // namespace qzt
