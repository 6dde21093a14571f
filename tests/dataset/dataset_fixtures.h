// Small datasets shared by the dataset tests.
#pragma once

#include <string>

#include "dataset/vorn_dataset.h"

namespace qzt::test {

// ID integer, NAME string(20), PRICE float; rows (1, "apple", 1.5), (2, "Banana", 0.25), (3, "cherry", 7).
template <typename DS = TVornDataSet>
void FillItems(DS& ds) {
  ds.AddFastField("ID", ftInteger, 0);
  ds.AddFastField("NAME", ftString, 20);
  ds.AddFastField("PRICE", ftFloat, 0);
  ds.Open();
  ds.AppendRecord({Variant(int32_t{1}), Variant("apple"), Variant(1.5)});
  ds.AppendRecord({Variant(int32_t{2}), Variant("Banana"), Variant(0.25)});
  ds.AppendRecord({Variant(int32_t{3}), Variant("cherry"), Variant(7.0)});
  ds.First();
}

// The values of one field over the visible records, joined by spaces.
inline std::string Column(TDataSet& ds, const char* field) {
  std::string out;
  bool first = true;
  for (ds.First(); !ds.Eof(); ds.Next(), first = false) out += (first ? "" : " ") + ds.FieldByName(field).AsString();
  return out;
}

inline std::string Hex(std::string_view s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

}  // namespace qzt::test
