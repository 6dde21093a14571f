// The readers of Environment.ini values: the list-field reader and the unscrambling of hex text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/environment.h"
#include "platform/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int i = 0; i < 3; ++i) {
    const std::string field = qzt::ListField(text, ',', i);
    try {
      qzt::Unscramble(field);
    } catch (const qzt::EConvertError&) {
    }
  }
  return 0;
}
