// Indexes and aggregates of the in-memory dataset.
//
// An index orders the stored records by a field list (";"-separated) with its options; maintained
// indexes are updated on insert, post and delete while the collection's maintenance switch is on, and
// rebuilt when it is switched back on. "__VORN__DEFAULT" is the index made for IndexFieldNames and
// "__VORN__Natural" names the stored order; both names are reserved.
// Aggregates are computed from the stored records when asked, over all records or over the group of the
// current record (the first GroupingLevel fields of the aggregate's index), so they are always current.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qzt {

struct TVornRecord {
  int32_t Id = 0;
  std::string Data;
};

enum TVornIndexOption : uint8_t {
  ioPrimary = 1, ioUnique = 2, ioDescending = 4, ioCaseInsensitive = 8, ioNonMaintained = 16, ioNatural = 32,
};
using TVornIndexOptions = uint8_t;

inline constexpr const char* DefaultIndexName = "__VORN__DEFAULT";
inline constexpr const char* NaturalIndexName = "__VORN__Natural";

struct TVornIndex {
  std::string Name;
  std::string Fields;
  TVornIndexOptions Options = 0;
  bool Complete = true;  // the stored order holds every record in order (state bit 0)
  std::vector<TVornRecord*> Order;
};

struct TVornIndexes {
  bool Active = true;  // the maintenance switch
  std::vector<TVornIndex> Items;
  TVornIndex* Find(const std::string& name);
};

enum TVornAggKind : uint8_t { akSum, akAvg, akCount, akMin, akMax };

struct TVornAggregate {
  std::string Name;
  std::string FieldName;
  TVornAggKind Kind = akSum;
  std::string IndexName;
  int32_t GroupingLevel = 0;
  bool Active = true;
};

struct TVornAggregates {
  bool Active = true;  // the maintenance switch
  std::vector<TVornAggregate> Items;
};

}  // namespace qzt
