// The client's reading of field definitions and row texts, from texts built by hand.
#include "client/result_text.h"

#include <gtest/gtest.h>

#include "client/client.h"

namespace qzt {
namespace {

using namespace std::string_literals;

const std::string kDefs = "ID\x02" "3\x02" "0\x02" "0\x02" "0\x02\x04" "NAME\x02" "1\x02" "20\x02" "0\x02" "0\x02\x04"
                          "RATIO\x02" "6\x02" "0\x02" "0\x02" "0\x02\x04" "DAY\x02" "9\x02" "0\x02" "0\x02" "0\x02\x04"
                          "NOTE\x02" "16\x02" "0\x02" "0\x02" "0\x02\x04" "OK\x02" "5\x02" "0\x02" "0\x02" "0\x02\x04"s;

TEST(ResultText, FieldDefinitionsAndEveryValueForm) {
  const auto columns = ParseFieldDefs(kDefs);
  ASSERT_EQ(columns.size(), 6u);
  EXPECT_EQ(columns[1].Name, "NAME");
  EXPECT_EQ(columns[1].Type, ftString);
  EXPECT_EQ(columns[1].Size, 20);

  const std::string rows = "7\x02" "abc\x02" "\x05\x00\x00\x00\x00\x00\x00\xf8\x3f\x02"
                           "\x05\x00\x00\x00\x00\xe0\xa3\xe6\x40\x02" "\x06\x02\x00\x00\x00hi\x02" "1\x02\x04"
                           "\x03\x02" "\x03\x02" "\x03\x02" "\x03\x02" "\x06\xff\xff\xff\xff\x02" "0\x02\x04"s;
  const auto parsed = ParseRows(rows, columns);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0][0].Text, "7");
  EXPECT_EQ(parsed[0][2].Text, "1.5");
  EXPECT_EQ(parsed[0][3].Text, "2026-12-11");
  EXPECT_EQ(parsed[0][4].Text, "hi");
  EXPECT_FALSE(parsed[0][4].Binary);  // a memo is text
  EXPECT_EQ(parsed[0][5].Text, "True");
  EXPECT_TRUE(parsed[1][0].Null);
  EXPECT_TRUE(parsed[1][4].Absent);
  EXPECT_EQ(parsed[1][5].Text, "False");
  EXPECT_TRUE(ParseRows("NULL\x04"s, columns).empty());
}

TEST(ResultText, MalformedTextsAreRefused) {
  const auto columns = ParseFieldDefs(kDefs);
  const std::string cases[] = {
      "7\x02"s,                                          // the row stops early
      "7\x02" "abc\x02" "\x05\x00\x00\x02"s,             // a double cut short
      "7\x02" "a\x02" "\x03\x02" "\x03\x02" "\x06\x10\x00\x00\x00hi\x02"s,  // a length past the end
      "7\x02" "a\x02" "\x03\x02" "\x03\x02" "\x06\xfe\xff\xff\xff\x02"s,    // a negative length
      "7\x02" "a\x02" "\x03\x02" "\x03\x02" "\x03\x02" "1\x02\x05"s,         // no row end
  };
  for (const std::string& text : cases) EXPECT_THROW(ParseRows(text, columns), EClientError);
  EXPECT_THROW(ParseFieldDefs("ID\x02" "3\x02"s), EClientError);
  EXPECT_THROW(ParseRows("1\x02\x04"s, {}), EClientError);
}

}  // namespace
}  // namespace qzt
