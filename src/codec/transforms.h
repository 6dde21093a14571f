// The packet transforms and digests: zlib, the byte-shift cipher, DES packets, MD5.
//
// DES packet (both directions): Int32 n (plaintext length), then the plaintext zero-padded to a multiple
// of 8 and encrypted block by block (DES, ECB). A sender may put the 16-byte MD5 of the n plaintext bytes
// after the padding, encrypted with the rest; the reader checks it when present and never writes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/exceptions.h"

namespace qzt {

QZT_EXCEPTION(EDESError);
QZT_EXCEPTION(EUserDefinedEncCom);
QZT_EXCEPTION(EZLibError);

// Inflated payloads larger than this are refused: a small frame must not expand without bound.
inline constexpr size_t MaxInflatedSize = 256u * 1024 * 1024;

// zlib stream (RFC 1950): deflate, 32 KiB window, memory level 8, default strategy.
std::string ZCompress(std::string_view data, int level);
std::string ZDecompress(std::string_view data, size_t limit = MaxInflatedSize);  // EZLibError

// The byte-shift cipher: +4 on sending, -4 on receiving, modulo 256.
void ShiftEncrypt(std::string& data);
void ShiftDecrypt(std::string& data);

// The expanded DES key: the first 8 bytes of the key text, zero-padded; parity bits ignored.
class DesKey {
 public:
  explicit DesKey(std::string_view keyText);
  void EncryptBlocks(char* data, size_t length) const;  // length a multiple of 8
  void DecryptBlocks(char* data, size_t length) const;

 private:
  alignas(8) std::array<uint8_t, 128> schedule_{};  // nettle's des_ctx
};

std::string DesEncryptPacket(const DesKey& key, std::string_view plain, bool withDigest = false);
// EDESError "Invalid buffer size for decryption" / "Unable to decrypt".
std::string DesDecryptPacket(const DesKey& key, std::string_view packet);

using Md5Digest = std::array<uint8_t, 16>;
Md5Digest Md5(std::string_view data);
// The digest of `count` bytes from `position`, or of everything from 0 when `count` is 0.
Md5Digest Md5Range(std::string_view stream, size_t position, size_t count);
std::string DigestToHex(const Md5Digest& d, bool upperCase = false);

}  // namespace qzt
