#include "codec/transforms.h"

#include <nettle/des.h>
#include <nettle/md5.h>
#include <zlib.h>

#include <cstring>

#include "platform/byte_cursor.h"

namespace qzt {

static_assert(sizeof(des_ctx) <= 128, "DES key schedule storage too small");

std::string ZCompress(std::string_view data, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw EZLibError("zlib: cannot start compression");
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw EZLibError("zlib: compression failed");
  return out;
}

std::string ZDecompress(std::string_view data, size_t limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EZLibError("zlib: cannot start decompression");
  std::string out;
  out.resize(std::min(limit, std::max<size_t>(256, (data.size() + 255) / 256 * 256 * 2)));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  int rc = Z_OK;
  for (;;) {
    if (z.total_out == out.size()) {
      if (out.size() >= limit) break;
      out.resize(std::min(limit, out.size() * 2));
    }
    z.next_out = reinterpret_cast<Bytef*>(out.data() + z.total_out);
    z.avail_out = static_cast<uInt>(out.size() - z.total_out);
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // input ended before the stream did
  }
  const size_t produced = z.total_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END) {
    if (produced >= limit) throw EZLibError("zlib: inflated data exceeds the limit");
    throw EZLibError("zlib: data error");
  }
  out.resize(produced);
  return out;
}

void ShiftEncrypt(std::string& data) {
  for (char& c : data) c = static_cast<char>(static_cast<uint8_t>(c) + 4);
}

void ShiftDecrypt(std::string& data) {
  for (char& c : data) c = static_cast<char>(static_cast<uint8_t>(c) - 4);
}

DesKey::DesKey(std::string_view keyText) {
  uint8_t key[DES_KEY_SIZE] = {};
  std::memcpy(key, keyText.data(), std::min(keyText.size(), sizeof key));
  // The return value only reports a weak key; the schedule is set either way, and weak keys are the
  // peers' business.
  des_set_key(reinterpret_cast<des_ctx*>(schedule_.data()), key);
}

void DesKey::EncryptBlocks(char* data, size_t length) const {
  des_encrypt(reinterpret_cast<const des_ctx*>(schedule_.data()), length, reinterpret_cast<uint8_t*>(data),
              reinterpret_cast<const uint8_t*>(data));
}

void DesKey::DecryptBlocks(char* data, size_t length) const {
  des_decrypt(reinterpret_cast<const des_ctx*>(schedule_.data()), length, reinterpret_cast<uint8_t*>(data),
              reinterpret_cast<const uint8_t*>(data));
}

std::string DesEncryptPacket(const DesKey& key, std::string_view plain, bool withDigest) {
  const size_t padded = (plain.size() + 7) / 8 * 8;
  std::string out;
  out.reserve(4 + padded + 16);
  PutInt32(out, static_cast<int32_t>(plain.size()));
  out.append(plain);
  out.append(padded - plain.size(), '\0');
  if (withDigest) {
    const Md5Digest d = Md5(plain);
    out.append(reinterpret_cast<const char*>(d.data()), d.size());
  }
  key.EncryptBlocks(out.data() + 4, out.size() - 4);
  return out;
}

std::string DesDecryptPacket(const DesKey& key, std::string_view packet) {
  if (packet.size() < 4 || (packet.size() - 4) % 8 != 0) throw EDESError("Invalid buffer size for decryption");
  const int32_t n = PeekInt32(packet, 0);
  std::string plain(packet.substr(4));
  // A length that the blocks cannot hold is as invalid as a partial block.
  if (n < 0 || static_cast<size_t>(n) > plain.size()) throw EDESError("Invalid buffer size for decryption");
  key.DecryptBlocks(plain.data(), plain.size());
  if (plain.size() >= static_cast<size_t>(n) + 16) {
    const Md5Digest d = Md5(std::string_view(plain).substr(0, n));
    if (std::memcmp(d.data(), plain.data() + plain.size() - 16, 16) != 0) throw EDESError("Unable to decrypt");
  }
  plain.resize(n);
  return plain;
}

Md5Digest Md5(std::string_view data) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
  Md5Digest d;
  md5_digest(&ctx, d.size(), d.data());
  return d;
}

Md5Digest Md5Range(std::string_view stream, size_t position, size_t count) {
  if (count == 0) return Md5(stream);
  if (position > stream.size()) position = stream.size();
  return Md5(stream.substr(position, count));
}

std::string DigestToHex(const Md5Digest& d, bool upperCase) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  for (uint8_t b : d) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

}  // namespace qzt
