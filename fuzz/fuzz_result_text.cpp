// The client's readers of field definitions and row texts on arbitrary bytes: the first byte says where
// the definitions end and the rows begin.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "client/client.h"
#include "client/result_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = all.size() * data[0] / 255;
  try {
    const auto columns = qzt::ParseFieldDefs(all.substr(0, split));
    qzt::ParseRows(all.substr(split), columns);
  } catch (const qzt::EClientError&) {
  }
  return 0;
}
