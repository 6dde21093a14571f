#include "codec/message_stack.h"

#include <gtest/gtest.h>

#include "platform/byte_cursor.h"
#include "platform/text_utils.h"

namespace qzt {
namespace {

std::string I32(int32_t v) {
  std::string s;
  PutInt32(s, v);
  return s;
}

std::string Plain(const std::string& payload) { return I32(static_cast<int32_t>(payload.size())) + payload; }

std::string MarkerTwo(const std::string& payload, uint8_t flags8, uint8_t compressed, uint8_t encrypted,
                      const std::string& ext) {
  std::string f = I32(-2) + I32(static_cast<int32_t>(payload.size()));
  f += std::string{static_cast<char>(flags8), 0, static_cast<char>(compressed), static_cast<char>(encrypted)};
  f += std::string(4, '\0');
  f += I32(static_cast<int32_t>(ext.size() + 4)) + ext;
  return f + payload;
}

TEST(MessageStack, FrameSplitAcrossReadsIsQueuedOnceWhole) {
  TVornMessageStack stack;
  const std::string frame = Plain("hello world");
  for (size_t i = 0; i + 1 < frame.size(); ++i) {
    stack.AppendReceived(frame.substr(i, 1));
    ASSERT_EQ(stack.Count(), 0) << i;
  }
  stack.AppendReceived(frame.substr(frame.size() - 1));
  ASSERT_EQ(stack.Count(), 1);
  std::string out;
  ASSERT_TRUE(stack.PopMessage(out));
  EXPECT_EQ(out, "hello world");
  EXPECT_EQ(stack.Buffered(), 0u);
}

TEST(MessageStack, SeveralFramesInOneReadKeepTheirOrder) {
  TVornMessageStack stack;
  stack.AppendReceived(Plain("one") + Plain("") + Plain("three") + I32(5) + "par");
  ASSERT_EQ(stack.Count(), 3);
  std::string a, b, c;
  stack.PopMessage(a);
  stack.PopMessage(b);
  stack.PopMessage(c);
  EXPECT_EQ(a, "one");
  EXPECT_EQ(b, "");
  EXPECT_EQ(c, "three");
  EXPECT_EQ(stack.Buffered(), 7u);
  stack.AppendReceived("ts");
  stack.PopMessage(a);
  EXPECT_EQ(a, "parts");
  EXPECT_FALSE(stack.PopMessage(a));
}

TEST(MessageStack, MarkerFramesAreQueuedWithTheirHeaders) {
  TVornMessageStack stack;
  const std::string m1 = I32(-1) + Plain("p1");
  const std::string m2 = MarkerTwo("payload", 0, 1, 1, "ext");
  stack.AppendReceived(m1 + m2);
  ASSERT_EQ(stack.Count(), 2);
  std::string f;
  stack.PopFrame(f);
  EXPECT_EQ(f, m1);
  stack.PopFrame(f);
  EXPECT_EQ(f, m2);

  // -1 followed by -2 is one marker -2 frame.
  stack.AppendReceived(I32(-1) + m2);
  ASSERT_EQ(stack.Count(), 1);
  stack.PopFrame(f);
  EXPECT_EQ(f, m2);
}

TEST(MessageStack, MarkerTwoWaitsForItsHeaderAndExtension) {
  TVornMessageStack stack;
  const std::string m2 = MarkerTwo("abc", 0, 0, 0, std::string(100, 'x'));  // 3-byte payload: 123 bytes
  stack.AppendReceived(m2.substr(0, 19));
  EXPECT_EQ(stack.Count(), 0);
  stack.AppendReceived(m2.substr(19, 60));
  EXPECT_EQ(stack.Count(), 0);
  stack.AppendReceived(m2.substr(79));
  EXPECT_EQ(stack.Count(), 1);
}

TEST(MessageStack, LengthLimits) {
  {  // exactly 100 MiB is a frame still being received
    TVornMessageStack stack;
    stack.AppendReceived(I32(MaxFrameLength) + "abc");
    EXPECT_EQ(stack.Count(), 0);
    EXPECT_EQ(stack.Buffered(), 7u);
  }
  struct Case {
    std::string bytes;
    std::string message;
  } cases[] = {
      {I32(MaxFrameLength + 1) + "  tail \r\n", "@\x06  tail"},  // leading control bytes trimmed too
      {I32(-7) + "x", std::string("\xF9\xFF\xFF\xFFx", 5)},
      {" GET / HTTP/1.1\r\n\r\n", "GET / HTTP/1.1"},
      {I32(-2) + I32(1) + std::string(8, '\0') + I32(-20) + "zz",
       I32(-2) + I32(1) + std::string(8, '\0') + I32(-20) + "zz"},  // negative extension size
  };
  for (const auto& c : cases) {
    TVornMessageStack stack;
    stack.AppendReceived(Plain("ok") + c.bytes);
    ASSERT_EQ(stack.Count(), 2);
    std::string a, b;
    stack.PopFrame(a);
    stack.PopFrame(b);
    EXPECT_EQ(a, Plain("ok"));
    EXPECT_EQ(b, c.message);
    EXPECT_EQ(stack.Buffered(), 0u);
  }
}

TEST(MessageStack, HttpHeadersOnHttpTransports) {
  const std::string http = "HTTP/1.1 200 OK\r\nX: y\r\nContent:\r\n\r\n";
  TVornMessageStack stack;
  stack.TransportMode = 2;
  stack.AppendReceived(http + Plain("body"));
  ASSERT_EQ(stack.Count(), 1);
  std::string out;
  stack.PopMessage(out);
  EXPECT_EQ(out, "body");

  // The socket transport (mode 0) reads "HTTP" as a length beyond the limit: one whole message.
  TVornMessageStack plain;
  plain.AppendReceived(http + Plain("body"));
  ASSERT_EQ(plain.Count(), 1);
  plain.PopFrame(out);
  EXPECT_EQ(out, Trim(http + Plain("body")));
}

}  // namespace
}  // namespace qzt
