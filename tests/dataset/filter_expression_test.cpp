#include "dataset/filter_expression.h"

#include <gtest/gtest.h>

#include "dataset/vorn_dataset.h"

namespace qzt {
namespace {

class FilterExpression : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddFastField("ID", ftInteger, 0);
    ds.AddFastField("Unit Name", ftString, 20);
    ds.AddFastField("PRICE", ftFloat, 0);
    ds.AddFastField("SOLD", ftDate, 0);
    ds.AddFastField("NOTE", ftString, 10);
    ds.Open();
    ds.AppendRecord({Variant(int32_t{7}), Variant("Apple Pie"), Variant(2.5), Variant::Date(EncodeDate(2024, 3, 5)),
                     Variant::Null()});
  }
  Variant Eval(const char* text, TFilterOptions o = 0) { return TVornExpression(text, ds, o).Evaluate(); }
  TVornDataSet ds;
};

TEST_F(FilterExpression, Evaluates) {
  struct Case {
    const char* text;
    Variant expected;
  } cases[] = {
      {"ID = 7", Variant(true)},
      {"ID <> 7 OR PRICE >= 2.5", Variant(true)},
      {"NOT (ID > 3 AND ID < 10)", Variant(false)},
      {"ID * 2 + 1", Variant(int64_t{15})},
      {"PRICE / 2", Variant(1.25)},
      {"-ID", Variant(int64_t{-7})},
      {"[Unit Name] = 'Apple Pie'", Variant(true)},
      {"[Unit Name] LIKE 'A%P_e'", Variant(true)},
      {"[Unit Name] NOT LIKE '%x%'", Variant(true)},
      {"ID IN (1, 7, 9)", Variant(true)},
      {"ID NOT IN (1, 2)", Variant(true)},
      {"NOTE IS NULL", Variant(true)},
      {"NOTE IS NOT NULL", Variant(false)},
      {"NOTE = 'x'", Variant::Null()},
      {"NOTE = 'x' OR ID = 7", Variant(true)},
      {"NOTE = 'x' AND ID = 7", Variant::Null()},
      {"UPPER([Unit Name])", Variant("APPLE PIE")},
      {"LOWER('AbC')", Variant("abc")},
      {"TRIM('  x  ')", Variant("x")},
      {"SUBSTRING([Unit Name], 7, 3)", Variant("Pie")},
      {"SUBSTRING('abc', 2)", Variant("bc")},
      {"SOLD = '2024-03-05'", Variant(true)},
      {"SOLD > '2024-01-01 10:00:00'", Variant(true)},
      {"'it''s' + ' ok'", Variant("it's ok")},
      {"[Unit Name] = 'App*'", Variant(true)},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.text), c.expected) << c.text;
  EXPECT_EQ(Eval("[Unit Name] = 'apple pie'", foCaseInsensitive), Variant(true));
  EXPECT_EQ(Eval("[Unit Name] = 'App*'", foNoPartialCompare), Variant(false));
}

TEST_F(FilterExpression, ErrorsNameThePosition) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"ID = ", "Filter expression error at position 6: unexpected end"},
      {"ID = 'open", "Filter expression error at position 6: unterminated string"},
      {"NOPE > 1", "Filter expression error at position 1: Field 'NOPE' not found"},
      {"ID # 2", "Filter expression error at position 4: unexpected character \"#\""},
      {"(ID = 1", "Filter expression error at position 8: \")\" expected"},
      {"UPPER(ID, 2)", "Filter expression error at position 1: wrong number of arguments to UPPER"},
      {"ID IS 5", "Filter expression error at position 7: NULL expected"},
  };
  for (const auto& c : cases) {
    try {
      TVornExpression e(c.text, ds);
      ADD_FAILURE() << c.text;
    } catch (const EExpressionError& e) {
      EXPECT_EQ(e.Message, c.message);
    }
  }
  EXPECT_THROW(Eval("ID / 0"), EExpressionError);
  EXPECT_THROW(Eval("[Unit Name] > 5"), EExpressionError);  // text that is no number
}

}  // namespace
}  // namespace qzt
