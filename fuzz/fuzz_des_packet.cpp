// DES packet decryption and zlib inflation of arbitrary payloads, as the receive path applies them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/transforms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const qzt::DesKey key("fuzzkey");
  std::string_view packet(reinterpret_cast<const char*>(data), size);
  try {
    qzt::DesDecryptPacket(key, packet);
  } catch (const qzt::EDESError&) {
  }
  try {
    qzt::ZDecompress(packet, 1 << 20);
  } catch (const qzt::EZLibError&) {
  }
  return 0;
}
