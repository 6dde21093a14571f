#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace qzt {
namespace {

TEST(TextEncoding, Cp949RoundTrip) {
  EXPECT_EQ(Utf8ToCp949("한글 ABC"), "\xC7\xD1\xB1\xDB ABC");
  EXPECT_EQ(Cp949ToUtf8("\xC7\xD1\xB1\xDB ABC"), "한글 ABC");
  EXPECT_EQ(Cp949ToUtf8(""), "");
}

TEST(TextEncoding, InvalidBytesBecomeQuestionMarks) {
  EXPECT_EQ(Cp949ToUtf8("A\xFF" "B"), "A?B");
  EXPECT_EQ(Cp949ToUtf8("A\xB0"), "A?");  // a lead byte cut off at the end
  EXPECT_EQ(Utf8ToCp949("\xE2\x82"), "??");
}

}  // namespace
}  // namespace qzt
