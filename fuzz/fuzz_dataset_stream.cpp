// LoadFromStreamWithFields on arbitrary bytes; whatever loads is read field by field and written again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dataset/vorn_dataset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qzt::TVornDataSet ds;
  try {
    ds.LoadFromStreamWithFields(std::string_view(reinterpret_cast<const char*>(data), size));
    for (ds.First(); !ds.Eof(); ds.Next())
      for (int i = 0; i < ds.FieldCount(); ++i) ds.Fields(i).AsString();
    ds.SaveToString();
  } catch (const qzt::Exception&) {
  }
  return 0;
}
