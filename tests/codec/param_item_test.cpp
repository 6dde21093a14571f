#include <gtest/gtest.h>

#include <cstring>

#include "codec/param_list.h"
#include "platform/byte_cursor.h"

namespace qzt {
namespace {

TEST(ParamItem, IntegerItemStandardBytes) {
  TVornParamList list;
  TVornParamItem& a = list.Add();
  a.Name = "A";
  a.SetAsInteger(5);
  std::string expected;
  PutInt32(expected, 11);
  expected += "A\x06" "3\x06" "1\x06" "0\x06" "1\x06" "5";
  EXPECT_EQ(list.SaveToString(), expected);
}

TEST(ParamItem, NullItemHasNoValueBytes) {
  TVornParamList list;
  TVornParamItem& n = list.NewParam(ftString, "N", ptInput);
  EXPECT_TRUE(n.IsNull());
  EXPECT_EQ(list.SaveToString().substr(4), "N\x06" "1\x06" "1\x06" "1\x06" "0\x06");
}

TEST(ParamItem, FloatIsTaggedAndExact) {
  TVornParamList list;
  TVornParamItem& f = list.Add();
  const double v = 0.1 + 0.2;
  f.SetAsFloat(v);
  ASSERT_EQ(f.InternalValue().size(), 9u);
  EXPECT_EQ(f.InternalValue()[0], 5);
  TVornParamList back(list.SaveToString(), 0);
  const double r = back.Items(0).AsFloat();
  EXPECT_EQ(std::memcmp(&r, &v, 8), 0);
}

TEST(ParamItem, TaggedValuesReadOnlyInTheirTwoForms) {
  TVornParamItem item;
  item.DataType = ftCurrency;
  std::string bare(8, '\0');
  int64_t c = 12345;
  std::memcpy(bare.data(), &c, 8);
  item.SetInternal(bare, false);
  EXPECT_EQ(item.AsCurrency(), 12345);  // untagged record
  item.SetInternal("\x08" + bare, false);
  EXPECT_EQ(item.AsCurrency(), 12345);
  item.SetInternal("\x05" + bare, false);  // wrong tag
  EXPECT_EQ(item.AsCurrency(), 0);
  item.SetInternal("abc", false);  // wrong length
  EXPECT_EQ(item.AsCurrency(), 0);
  item.DataType = ftTimeStamp;
  EXPECT_EQ(item.AsSQLTimeStamp(), NullSQLTimeStamp);
  item.DataType = ftInteger;
  item.SetInternal("12x", false);
  EXPECT_EQ(item.AsInteger(), 0);  // malformed decimal text reads 0
}

TEST(ParamItem, EmptyValuesMakeTheItemNull) {
  TVornParamItem item;
  item.SetAsInteger(1);
  item.SetAsString("");
  EXPECT_TRUE(item.IsNull());
  EXPECT_EQ(item.DataType, ftString);
  item.SetAsInteger(1);
  item.SetValue(Variant(std::string()));
  EXPECT_TRUE(item.IsNull());
  item.SetAsMemo("");
  EXPECT_TRUE(item.IsNull());
  EXPECT_EQ(item.DataType, ftMemo);
  item.SetAsBlob("");
  EXPECT_TRUE(item.IsNull());
  item.SetAsStream("");
  EXPECT_TRUE(item.IsNull());
  item.SetAsGuid("{too-short}");
  EXPECT_TRUE(item.IsNull());
  EXPECT_EQ(item.AsString(), "{00000000-0000-0000-0000-000000000000}");
}

TEST(ParamItem, AccessorsAndValueByType) {
  TVornParamItem item;
  EXPECT_EQ(item.AsString(), "");
  EXPECT_EQ(item.DataType, ftString);  // reading AsString of an untyped item types it

  item.SetAsSmallInt(-3);
  EXPECT_EQ(item.Value(), Variant::Int16(-3));
  item.SetAsWord(65535);
  EXPECT_EQ(item.Value(), Variant::UInt16(65535));
  item.SetAsLargeInt(int64_t{1} << 40);
  EXPECT_EQ(item.AsString(), "1099511627776");
  EXPECT_EQ(item.AsInteger(), 0);  // the decimal text of a large value does not fit: 0
  item.SetAsBoolean(true);
  EXPECT_EQ(item.InternalValue(), "True");
  EXPECT_EQ(item.Value(), Variant(true));
  item.SetAsCurrency(125000);
  EXPECT_EQ(item.AsString(), "12.5");
  EXPECT_EQ(item.AsFloat(), 12.5);
  item.SetAsBCD(5);
  EXPECT_EQ(item.Value(), Variant::Currency(5));
  item.SetAsDate(45000);
  EXPECT_EQ(item.Value(), Variant::Date(45000));
  EXPECT_EQ(item.AsString(), "2023-03-15");
  const TSQLTimeStamp ts{2024, 3, 5, 1, 2, 3, 0};
  item.SetAsSQLTimeStamp(ts);
  EXPECT_EQ(item.InternalValue().size(), 17u);
  EXPECT_EQ(item.AsDateTime(), EncodeDate(2024, 3, 5) + EncodeTime(1, 2, 3, 0));
  item.SetAsFMTBCD(StrToBcd("1.5"));
  EXPECT_EQ(item.InternalValue().size(), 35u);
  EXPECT_EQ(item.AsString(), "1.5");
  item.SetValue(Variant::Bytes(std::string("\0\1", 2)));
  EXPECT_EQ(item.DataType, ftBytes);
  EXPECT_EQ(item.Value(), Variant::Bytes(std::string("\0\1", 2)));
  item.SetValue(Variant::Dispatch(1234));
  EXPECT_EQ(item.DataType, ftIDispatch);
  EXPECT_EQ(item.Value(), Variant(int32_t{1234}));
}

TEST(ParamItem, ValueWriteChoosesTheAccessorByVariantType) {
  struct Case {
    Variant v;
    TFieldType before, after;
  } cases[] = {
      {Variant::Int16(1), ftUnknown, ftSmallint}, {Variant::Int8(1), ftInteger, ftInteger},
      {Variant(int32_t{1}), ftUnknown, ftInteger}, {Variant(1.5), ftUnknown, ftFloat},
      {Variant::Single(1.5f), ftUnknown, ftFloat}, {Variant::Currency(1), ftUnknown, ftCurrency},
      {Variant::Date(1), ftUnknown, ftDateTime},   {Variant("x"), ftInteger, ftString},
      {Variant(true), ftUnknown, ftBoolean},       {Variant::UInt16(1), ftUnknown, ftWord},
      {Variant::UInt32(1), ftUnknown, ftLargeint}, {Variant(int64_t{1}), ftUnknown, ftLargeint},
      {Variant(NullBcd), ftUnknown, ftFMTBcd},     {Variant(NullSQLTimeStamp), ftUnknown, ftTimeStamp},
      {Variant::Bytes("b"), ftVarBytes, ftVarBytes}, {Variant::Null(), ftFloat, ftFloat},
      {Variant(), ftFloat, ftUnknown},             {Variant::Error(), ftFloat, ftUnknown},
  };
  for (const auto& c : cases) {
    TVornParamItem item;
    item.DataType = c.before;
    item.SetValue(c.v);
    EXPECT_EQ(item.DataType, c.after) << VarTypeName(c.v.Type());
  }
}

TEST(ParamItem, SetAsTextByDataType) {
  struct Case {
    TFieldType type;
    const char* text;
    TFieldType after;
    const char* asString;
  } cases[] = {
      {ftUnknown, "abc", ftString, "abc"},      {ftBytes, "abc", ftString, "abc"},
      {ftAutoInc, "12", ftInteger, "12"},       {ftWord, "7", ftWord, "7"},
      {ftBoolean, " true ", ftBoolean, "True"}, {ftBoolean, "yes", ftBoolean, "False"},
      {ftFloat, "2.5", ftFloat, "2.5"},         {ftCurrency, "1.23456", ftCurrency, "1.2346"},
      {ftDate, "2024-03-05", ftDate, "2024-03-05"}, {ftTime, "10:20", ftTime, "1899-12-30 10:20:00"},
      {ftBlob, "raw", ftBlob, "raw"},           {ftOraClob, "memo", ftOraClob, "memo"},
      {ftLargeint, "-9000000000", ftLargeint, "-9000000000"},
      {ftFMTBcd, "12.50", ftFMTBcd, "12.5"},
  };
  for (const auto& c : cases) {
    TVornParamItem item;
    item.DataType = c.type;
    item.SetAsText(c.text);
    EXPECT_EQ(item.DataType, c.after) << c.text;
    EXPECT_EQ(item.AsString(), c.asString) << c.text;
  }
  TVornParamItem item;
  item.Name = "P";
  item.SetAsInteger(1);
  item.SetAsText("");
  EXPECT_TRUE(item.IsNull());
  try {
    item.SetAsText("nope");
    FAIL();
  } catch (const EVornParamException& e) {
    EXPECT_EQ(e.Message, "Unable to call SetAsText for P");
  }
  EXPECT_TRUE(item.IsNull());
  EXPECT_EQ(item.DataType, ftInteger);
}

TEST(ParamItem, SizeNamesAndAssign) {
  TVornParamList list;
  TVornParamItem& a = list.Add();
  TVornParamItem& b = list.Add();
  EXPECT_EQ(a.Name, "Param1");
  EXPECT_EQ(b.Name, "Param2");
  EXPECT_EQ(a.ParamType, ptInput);

  a.SetSize(10);
  EXPECT_EQ(a.Size(), 0);  // ftUnknown is not a sized type
  a.DataType = ftString;
  a.SetSize(10);
  a.SetSize(-1);
  EXPECT_EQ(a.Size(), 10);

  a.SetDisplayName("PARAM1");  // the same name in another case: nothing happens
  EXPECT_EQ(a.Name, "Param1");
  try {
    a.SetDisplayName("param2");
    FAIL();
  } catch (const EVornParamException& e) {
    EXPECT_EQ(e.Message, "Error: Duplicate Param Name");
  }
  a.SetDisplayName("Other");
  EXPECT_EQ(a.Name, "Other");

  a.SetAsString("text");
  a.ParamType = ptOutput;
  b.Assign(a);
  EXPECT_EQ(b.Name, "Other");
  EXPECT_EQ(b.AsString(), "text");
  EXPECT_EQ(b.ParamType, ptOutput);
  EXPECT_EQ(b.Size(), 10);
}

TEST(ParamList, LookupsAndEdits) {
  TVornParamList list;
  list.AddValues({Variant(int32_t{1}), Variant("two"), Variant(3.0)});
  EXPECT_EQ(list.Items(0).Name, "FastAdd0");
  EXPECT_EQ(list.Items(2).Name, "FastAdd2");

  list.PutValue("  fastadd1 ", Variant("replaced"));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1).AsString(), "replaced");
  list.PutValue("New", Variant(int32_t{9}));
  EXPECT_EQ(list.Items(3).Name, "New");
  EXPECT_EQ(list.ValueOf("new"), Variant(int32_t{9}));
  EXPECT_EQ(list.ValueOf("absent"), Variant(""));
  EXPECT_EQ(list.LookupParam("absent"), nullptr);

  try {
    list.RequireParam("absent");
    FAIL();
  } catch (const EVornParamException& e) {
    EXPECT_EQ(e.Message, "Parameter Not Found: absent");
  }
  try {
    list.Items(4);
    FAIL();
  } catch (const EVornParamException& e) {
    EXPECT_EQ(e.Message, "Index 4 Out of bounds");
  }
  EXPECT_THROW(list.Items(-1), EVornParamException);

  EXPECT_TRUE(list.RemoveParam("FASTADD0"));
  EXPECT_FALSE(list.RemoveParam("FASTADD0"));
  EXPECT_EQ(list.Count(), 3);

  TVornParamItem& price = list.AddTyped("Price", ftCurrency, Variant(2.5));
  EXPECT_EQ(price.DataType, ftCurrency);
  EXPECT_EQ(price.AsCurrency(), 25000);
}

TEST(ParamList, DirectionFiltersAndCopies) {
  TVornParamList list;
  const TVornParamType types[] = {ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult};
  for (TVornParamType t : types) list.NewParam(ftInteger, "P" + std::to_string(t), t).SetAsInteger(t);
  auto names = [](const std::string& s) {
    TVornParamList l(s, 0);
    std::string out;
    for (int i = 0; i < l.Count(); ++i) out += l.Items(i).Name + " ";
    return out;
  };
  EXPECT_EQ(names(list.SaveToString(true)), "P1 P3 ");
  EXPECT_EQ(names(list.OutputsToString()), "P2 P3 P4 ");
  EXPECT_EQ(names(list.SaveToString()), "P0 P1 P2 P3 P4 ");

  TVornParamList target;
  target.Add();
  list.Options[0] = 0;
  list.Options[1] = 7;
  list.CopyTo(target, false, ParamTypes({ptOutput}));
  EXPECT_EQ(target.Count(), 2);
  EXPECT_EQ(target.Items(1).Name, "P2");
  EXPECT_EQ(target.Options[1], 7);
  list.CopyTo(target, true);
  EXPECT_EQ(target.Count(), 5);
  auto clone = list.Clone();
  EXPECT_EQ(clone->SaveToString(), list.SaveToString());
}

}  // namespace
}  // namespace qzt
