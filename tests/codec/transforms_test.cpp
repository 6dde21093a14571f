#include "codec/transforms.h"

#include <gtest/gtest.h>

#include "platform/byte_cursor.h"

namespace qzt {
namespace {

std::string Hex(std::string_view s) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

TEST(ZLib, StreamFormatAndRoundTrip) {
  const std::string empty = ZCompress("", 1);
  EXPECT_EQ(Hex(empty.substr(0, 2)), "7801");  // zlib header: deflate, 32 KiB window, fastest level
  EXPECT_EQ(ZDecompress(empty), "");
  std::string data;
  for (int i = 0; i < 10000; ++i) data += "row " + std::to_string(i % 97) + ";";
  for (int level : {1, 9}) {
    const std::string z = ZCompress(data, level);
    EXPECT_LT(z.size(), data.size() / 4);
    EXPECT_EQ(ZDecompress(z), data);
  }
}

TEST(ZLib, BadStreamsAndBombsAreRefused) {
  const std::string z = ZCompress(std::string(100000, 'a'), 9);
  EXPECT_THROW(ZDecompress("not zlib"), EZLibError);
  EXPECT_THROW(ZDecompress(z.substr(0, z.size() / 2)), EZLibError);  // cut short
  EXPECT_THROW(ZDecompress(z, 4096), EZLibError);                    // expands past the limit
  EXPECT_EQ(ZDecompress(z, 100000).size(), 100000u);
}

TEST(ShiftCipher, AddsFourModulo256) {
  std::string s("\xFD\x00\x41", 3);
  ShiftEncrypt(s);
  EXPECT_EQ(Hex(s), "010445");
  ShiftDecrypt(s);
  EXPECT_EQ(Hex(s), "fd0041");
}

TEST(Des, StandardAlgorithm) {
  // The classic worked example of the standard: key 133457799BBCDFF1, block 0123456789ABCDEF.
  DesKey key("\x13\x34\x57\x79\x9B\xBC\xDF\xF1");
  std::string block("\x01\x23\x45\x67\x89\xAB\xCD\xEF", 8);
  key.EncryptBlocks(block.data(), 8);
  EXPECT_EQ(Hex(block), "85e813540f0ab405");
}

TEST(Des, KeyTextUsesTheFirstEightBytes) {
  const std::string plain = "some plaintext";
  EXPECT_EQ(DesEncryptPacket(DesKey("12345678"), plain), DesEncryptPacket(DesKey("12345678IGNORED"), plain));
  EXPECT_EQ(DesEncryptPacket(DesKey("ab"), plain), DesEncryptPacket(DesKey(std::string("ab\0\0\0\0\0\0", 8)), plain));
  // Keys differing only in a parity bit ('b' 0x62, 'c' 0x63) are the same key; others are not.
  EXPECT_EQ(DesEncryptPacket(DesKey("ab"), plain), DesEncryptPacket(DesKey("ac"), plain));
  EXPECT_NE(DesEncryptPacket(DesKey("ab"), plain), DesEncryptPacket(DesKey("ad"), plain));
}

TEST(Des, PacketSizesAndRoundTrip) {
  DesKey key("secret");
  struct Case {
    size_t plain, packet;
  } cases[] = {{0, 4}, {1, 12}, {8, 12}, {13, 20}, {16, 20}, {17, 28}};
  for (const auto& c : cases) {
    const std::string plain(c.plain, 'x');
    const std::string packet = DesEncryptPacket(key, plain);
    EXPECT_EQ(packet.size(), c.packet) << c.plain;
    EXPECT_EQ(PeekInt32(packet, 0), static_cast<int32_t>(c.plain));
    EXPECT_EQ(DesDecryptPacket(key, packet), plain);
    const std::string signed_ = DesEncryptPacket(key, plain, true);
    EXPECT_EQ(signed_.size(), c.packet + 16);
    EXPECT_EQ(DesDecryptPacket(key, signed_), plain);
  }
}

TEST(Des, PacketErrors) {
  DesKey key("secret");
  auto message = [&](const std::string& packet) {
    try {
      DesDecryptPacket(key, packet);
    } catch (const EDESError& e) {
      return e.Message;
    }
    return std::string("accepted");
  };
  std::string twelve;
  PutInt32(twelve, 8);
  twelve += std::string(12, 'z');
  EXPECT_EQ(message(twelve), "Invalid buffer size for decryption");
  EXPECT_EQ(message("\x01\x02"), "Invalid buffer size for decryption");
  std::string tooLong = DesEncryptPacket(key, "abc");
  tooLong[0] = 9;  // claims more plaintext than its blocks hold
  EXPECT_EQ(message(tooLong), "Invalid buffer size for decryption");
  std::string negative = DesEncryptPacket(key, "abc");
  negative[3] = '\x80';
  EXPECT_EQ(message(negative), "Invalid buffer size for decryption");
  std::string tampered = DesEncryptPacket(key, "payload", true);
  tampered[tampered.size() - 1] ^= 1;
  EXPECT_EQ(message(tampered), "Unable to decrypt");
  EXPECT_NE(DesDecryptPacket(DesKey("other"), DesEncryptPacket(key, "payload")), "payload");
}

TEST(Md5, DigestsAndHexText) {
  EXPECT_EQ(DigestToHex(Md5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestToHex(Md5(""), true), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5Range("xxabcxx", 2, 3), Md5("abc"));
  EXPECT_EQ(Md5Range("whole", 3, 0), Md5("whole"));
}

}  // namespace
}  // namespace qzt
