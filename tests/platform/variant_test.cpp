#include "platform/variant.h"

#include <gtest/gtest.h>

#include "platform/exceptions.h"

namespace qzt {
namespace {

TEST(Variant, ToStringByType) {
  EXPECT_EQ(Variant::Null().ToString(), "");
  EXPECT_EQ(Variant().ToString(), "");
  EXPECT_EQ(Variant(int32_t{-7}).ToString(), "-7");
  EXPECT_EQ(Variant::UInt16(65535).ToString(), "65535");
  EXPECT_EQ(Variant(2.5).ToString(), "2.5");
  EXPECT_EQ(Variant::Currency(125000).ToString(), "12.5");
  EXPECT_EQ(Variant::Date(EncodeDate(2024, 3, 5) + 0.5).ToString(), "2024-03-05 12:00:00");
  EXPECT_EQ(Variant(true).ToString(), "True");
  EXPECT_EQ(Variant(false).ToString(), "False");
  EXPECT_EQ(Variant(StrToBcd("-12.340")).ToString(), "-12.34");
  EXPECT_EQ(Variant(DateTimeToSQLTimeStamp(EncodeDate(2024, 3, 5))).ToString(), "2024-03-05 00:00:00");
}

TEST(Variant, NumericConversions) {
  EXPECT_EQ(Variant(2.5).ToInt64(), 2);  // half to even
  EXPECT_EQ(Variant(true).ToInt64(), -1);
  EXPECT_EQ(Variant("42").ToInt32(), 42);
  EXPECT_EQ(Variant("2.5").ToDouble(), 2.5);
  EXPECT_EQ(Variant("1.25").ToCurrency(), 12500);
  EXPECT_EQ(Variant(int32_t{3}).ToCurrency(), 30000);
  EXPECT_EQ(Variant::Currency(25000).ToDouble(), 2.5);
  EXPECT_EQ(Variant("2024-03-05").ToDateTime(), EncodeDate(2024, 3, 5));
  EXPECT_TRUE(Variant("true").ToBool());
  EXPECT_FALSE(Variant("0").ToBool());
  EXPECT_TRUE(Variant(int32_t{2}).ToBool());
  EXPECT_EQ(Variant(int64_t{1} << 40).ToDouble(), 1099511627776.0);
}

TEST(Variant, FailedConversionsNameBothTypes) {
  try {
    Variant("abc").ToInt64();
    FAIL();
  } catch (const EVariantTypeCastError& e) {
    EXPECT_EQ(e.Message, "Could not convert variant of type (String) into type (Int64)");
  }
  EXPECT_THROW(Variant::Null().ToDouble(), EVariantTypeCastError);
  EXPECT_THROW(Variant(int64_t{1} << 40).ToInt32(), EVariantTypeCastError);
  EXPECT_THROW(Variant("x").ToBool(), EVariantTypeCastError);
  EXPECT_THROW(Variant(1e300).ToInt64(), EVariantTypeCastError);
}

TEST(Bcd, TextRoundTripAndRecordLayout) {
  const TBcd b = StrToBcd("123.45");
  EXPECT_EQ(b.Precision, 5);
  EXPECT_EQ(b.SignSpecialPlaces, 2);
  EXPECT_EQ(b.Fraction[0], 0x12);
  EXPECT_EQ(b.Fraction[1], 0x34);
  EXPECT_EQ(b.Fraction[2], 0x50);
  EXPECT_EQ(BcdToStr(b), "123.45");
  EXPECT_EQ(BcdToStr(StrToBcd("-0.5")), "-0.5");
  EXPECT_EQ(BcdToStr(NullBcd), "0");
  EXPECT_EQ(BcdToDouble(StrToBcd("2.25")), 2.25);
  EXPECT_EQ(BcdToStr(DoubleToBcd(1e20)), "100000000000000000000");
  TBcd bad;
  EXPECT_FALSE(TryStrToBcd("1.2.3", bad));
  // A hostile record never reads beyond its 64 digits.
  TBcd wild;
  wild.Precision = 255;
  wild.SignSpecialPlaces = 0xFF;
  EXPECT_NO_THROW(BcdToStr(wild));
}

}  // namespace
}  // namespace qzt
