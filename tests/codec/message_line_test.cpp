#include "codec/message_line.h"

#include <gtest/gtest.h>

#include "platform/byte_cursor.h"
#include "platform/text_encoding.h"

namespace qzt {
namespace {

std::string Int32Bytes(int32_t v) {
  std::string s;
  PutInt32(s, v);
  return s;
}

TEST(MessageLine, TokenOnlyLineIsFiftyBytes) {
  TVornStringLine line;
  line.SetToken(LoginReq);
  line.SetRequestId(0x01020304);
  const std::string out = line.FinishLine();
  ASSERT_EQ(out.size(), 50u);
  EXPECT_EQ(out.substr(0, 5), std::string("\x11\x04\x03\x02\x01", 5));
  EXPECT_EQ(out.substr(5), std::string(45, '\0'));
}

TEST(MessageLine, StringAndIntegerFields) {
  TVornStringLine line;
  line.SetToken(SQLError);
  line.AddField("AB");
  line.AddField(300);
  const std::string out = line.FinishLine();
  std::string expected("\x06\0\0\0\0", 5);
  expected += std::string("\x00", 1) + Int32Bytes(1) + Int32Bytes(3);
  expected += std::string("\x06", 1) + Int32Bytes(3) + Int32Bytes(6);
  expected += std::string(27, '\0');
  expected += "AB300";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(line.FieldCursor(), 0);
  EXPECT_EQ(line.TextLength(), 0);
}

TEST(MessageLine, ReadingWrapsAfterTheLastField) {
  TVornStringLine w;
  w.AddField("first");
  w.AddField(-42);
  TVornStringLine r;
  r.ParseLine(w.FinishLine());
  EXPECT_EQ(r.ReadString(), "first");
  EXPECT_EQ(r.ReadInteger(), -42);
  EXPECT_EQ(r.FieldCursor(), 0);
  EXPECT_EQ(r.ReadString(), "first");
}

TEST(MessageLine, ReplyInTheRequestObjectKeepsIdAndNeedsResetCursor) {
  TVornStringLine client;
  client.SetToken(SQLSelect2);
  client.SetRequestId(77);
  client.AddField("one");
  client.AddField("two");
  const std::string request = client.FinishLine();

  TVornStringLine server;
  server.ParseLine(request);
  EXPECT_EQ(server.Token(), SQLSelect2);
  server.ReadString();  // one of two fields read: the cursor stays at 1
  server.SetToken(SQLError);
  server.AddField("reply");
  EXPECT_EQ(server.FinishLine().substr(50), "onetworeply");

  server.ParseLine(request);
  server.ReadString();
  server.ResetCursor();
  server.SetToken(SQLError);
  server.AddField("reply");
  const std::string reply = server.FinishLine();
  EXPECT_EQ(reply.substr(50), "reply");
  EXPECT_EQ(PeekInt32(reply, 1), 77);
}

TEST(MessageLine, TokenOnlyReplyRepeatsTheLastDescriptors) {
  TVornStringLine line;
  line.AddField("xyz");
  line.FinishLine();
  const std::string again = line.FinishLine();
  ASSERT_EQ(again.size(), 50u);
  EXPECT_EQ(PeekInt32(again, 6), 1);
  EXPECT_EQ(PeekInt32(again, 10), 4);
}

TEST(MessageLine, JavaShortForm) {
  std::string java = Int32Bytes(-3);
  std::string header(64, '\0');
  std::memcpy(header.data() + 8, "\x15\0\0\0", 4);
  std::memcpy(header.data() + 28, "\xF4\x03\0\0", 4);  // 1012
  std::memcpy(header.data() + 56, "\x07\0\0\0", 4);
  java += header + "DATA";
  TVornStringLine line;
  line.ParseLine(java);
  EXPECT_EQ(line.Token(), VORNJava);
  EXPECT_EQ(line.TextLength(), 68);
  const JavaHeader h = line.ReadJavaHeader();
  EXPECT_EQ(h.RequestId, 21);
  EXPECT_EQ(h.MessageCode, 1012);
  EXPECT_EQ(h.UserMessage, 7);
  EXPECT_EQ(h.Data, "DATA");

  // Byte 0 = 43 is the Java form too; an incomplete Java header reads as zeros.
  line.ParseLine(std::string("\x2B", 1) + std::string(40, '\x01'));
  EXPECT_EQ(line.Token(), VORNJava);
  EXPECT_EQ(line.TextLength(), 37);
  const JavaHeader empty = line.ReadJavaHeader();
  EXPECT_EQ(empty.RequestId, 0);
  EXPECT_EQ(empty.Data, "");
}

TEST(MessageLine, PdaHeader) {
  TVornStringLine line;
  line.ParseLine(std::string(50, '\0') + Int32Bytes(3) + Int32Bytes(2) + Int32Bytes(56) + "rest");
  const PdaHeader h = line.ReadPdaHeader();
  EXPECT_EQ(h.ListForm, 3);
  EXPECT_EQ(h.ClientKind, 2);
  EXPECT_EQ(h.RequestCode, 56);
  EXPECT_EQ(h.Data, "rest");
  line.ParseLine(std::string(50, '\0') + "short");
  EXPECT_EQ(line.ReadPdaHeader().ListForm, 0);
}

TEST(MessageLine, Errors) {
  TVornStringLine line;
  line.SetToken(70);
  try {
    line.SetToken(71);
    FAIL();
  } catch (const EStringLineException& e) {
    EXPECT_EQ(e.Message, "BAD TOKEN VALUE");
  }
  EXPECT_EQ(line.Token(), 70);
  EXPECT_THROW(line.SetToken(-1), EStringLineException);

  for (int i = 0; i < 5; ++i) line.AddField("f");
  try {
    line.AddField("sixth");
    FAIL();
  } catch (const EStringLineException& e) {
    EXPECT_EQ(Cp949ToUtf8(e.Message), "문자열 에러: 최대 필드를 초과하였습니다.");
  }
  EXPECT_EQ(line.FinishLine().substr(50), "fffff");

  try {
    line.AddField("x", 4);
    FAIL();
  } catch (const EStringLineException& e) {
    EXPECT_EQ(Cp949ToUtf8(e.Message), "문자열 에러: 잘못된 테이다타입.");
  }

  TVornStringLine r;
  TVornStringLine w;
  w.AddField("12x");
  r.ParseLine(w.FinishLine());
  EXPECT_THROW(r.ReadInteger(), EConvertError);
}

TEST(MessageLine, HostileInputNeverReadsOutside) {
  TVornStringLine line;
  line.ParseLine("\x05\x01");  // shorter than a header: zero-filled
  EXPECT_EQ(line.Token(), 5);
  EXPECT_EQ(line.RequestId(), 1);
  EXPECT_EQ(line.TextLength(), 0);
  EXPECT_EQ(line.ReadString(), "");

  // Descriptors pointing outside the body, backwards or at a negative start read as empty.
  std::string h(50, '\0');
  auto put = [&](int k, int32_t start, int32_t end) {
    std::memcpy(h.data() + 5 + (k - 1) * 9 + 1, &start, 4);
    std::memcpy(h.data() + 5 + (k - 1) * 9 + 5, &end, 4);
  };
  put(1, 1, 100);
  put(2, 3, 2);
  put(3, -5, 2);
  put(4, 1, 3);
  line.ParseLine(h + "body");
  EXPECT_EQ(line.ReadString(), "");
  EXPECT_EQ(line.ReadString(), "");
  EXPECT_EQ(line.ReadString(), "");
  EXPECT_EQ(line.ReadString(), "bo");
}

}  // namespace
}  // namespace qzt
