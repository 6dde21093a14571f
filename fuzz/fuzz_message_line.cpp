// ParseLine on arbitrary payloads, then every way of reading fields and headers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/message_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qzt::TVornStringLine line;
  line.ParseLine(std::string(reinterpret_cast<const char*>(data), size));
  for (int i = 0; i < 7; ++i) {
    try {
      line.ReadInteger();
    } catch (const qzt::Exception&) {
    }
    line.ReadStream();
  }
  line.ReadJavaHeader();
  line.ReadPdaHeader();
  // A reply built in the same object after a partial read.
  line.ResetCursor();
  line.AddField("reply");
  line.FinishLine();
  return 0;
}
