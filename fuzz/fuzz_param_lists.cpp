// Every parameter-list reader; the first byte chooses the form. Whatever is read is used and re-written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/param_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int form = data[0] % 8;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  qzt::TVornParamList list;
  try {
    list.LoadFromString(text, form);
  } catch (const qzt::EVornParamException&) {
    return 0;
  } catch (const qzt::Exception&) {
    return 0;  // a value that SetAsText cannot convert
  }
  for (int i = 0; i < list.Count(); ++i) {
    qzt::TVornParamItem& item = list.Items(i);
    try {
      item.Value().ToString();
      item.AsString();
      item.AsFloat();
      item.AsInteger();
      item.AsDateTime();
      item.AsSQLTimeStamp();
      item.AsFMTBCD();
    } catch (const qzt::Exception&) {
    }
  }
  qzt::TVornParamList again(list.SaveToString(), 0);
  list.SaveToJavaString();
  list.SaveToPdaString();
  list.SaveToPdaTextString();
  list.SaveToTextLines();
  return 0;
}
