// Frame extraction fed in arbitrary chunks: the first bytes choose the chunk sizes and transport mode.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/message_line.h"
#include "codec/message_stack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  qzt::TVornMessageStack stack;
  stack.TransportMode = data[0] % 4;
  const size_t chunk = 1 + data[1] % 64;
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string msg;
  while (!rest.empty()) {
    const size_t n = std::min(chunk, rest.size());
    stack.AppendReceived(rest.substr(0, n));
    rest.remove_prefix(n);
    while (stack.PopMessage(msg)) {
      qzt::TVornStringLine line;
      line.ParseLine(msg);
      for (int i = 0; i < 6; ++i) line.ReadString();
    }
  }
  return 0;
}
