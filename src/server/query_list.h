// TQueryList: the queries a persistent session keeps open between requests, so that a client can read a
// result in packets. One list per persistent session, freed with it (and every dataset in it).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/dataset.h"

namespace qzt {

struct TKeptQuery {
  TDataSet* DataSet = nullptr;
  void* ServerMethodItem = nullptr;  // the server method that produced it, or none
  int32_t Handle = 0;                // the request id of the select
  int32_t Rows = 0;                  // rows per packet of the first request
  bool OwnedElsewhere = false;       // releasing closes the dataset but never frees it
};

// Frees a dataset through the component that owns it; one nobody can free is only closed.
void FreeQueryDataSet(TDataSet* dataSet);

class TQueryList {
 public:
  TQueryList() = default;
  ~TQueryList();
  TQueryList(const TQueryList&) = delete;
  TQueryList& operator=(const TQueryList&) = delete;

  void Add(const TKeptQuery& query);
  std::optional<TKeptQuery> Find(int32_t handle) const;  // the first entry with the handle
  // Closes the entry's dataset; unless `closeOnly` (and for a dataset owned elsewhere, also then) the
  // entry is removed, and a dataset not owned elsewhere is freed with it. False when there is none.
  bool Release(int32_t handle, bool closeOnly);
  int Count() const;

 private:
  mutable std::mutex lock_;
  std::vector<TKeptQuery> items_;
};

}  // namespace qzt
