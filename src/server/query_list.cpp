#include "server/query_list.h"

namespace qzt {

void FreeQueryDataSet(TDataSet* dataSet) {
  if (dataSet && !FreeComponent(dataSet)) dataSet->Close();
}

TQueryList::~TQueryList() {
  for (const TKeptQuery& q : items_) {
    if (q.OwnedElsewhere) {
      if (q.DataSet) q.DataSet->Close();
    } else {
      FreeQueryDataSet(q.DataSet);
    }
  }
}

void TQueryList::Add(const TKeptQuery& query) {
  std::lock_guard<std::mutex> lock(lock_);
  items_.push_back(query);
}

std::optional<TKeptQuery> TQueryList::Find(int32_t handle) const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const TKeptQuery& q : items_)
    if (q.Handle == handle) return q;
  return std::nullopt;
}

bool TQueryList::Release(int32_t handle, bool closeOnly) {
  TKeptQuery found;
  {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = items_.begin();
    while (it != items_.end() && it->Handle != handle) ++it;
    if (it == items_.end()) return false;
    found = *it;
    if (closeOnly && !found.OwnedElsewhere) {
      if (found.DataSet) found.DataSet->Close();
      return true;
    }
    items_.erase(it);
  }
  if (found.OwnedElsewhere || closeOnly) {
    if (found.DataSet) found.DataSet->Close();
  } else {
    FreeQueryDataSet(found.DataSet);
  }
  return true;
}

int TQueryList::Count() const {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<int>(items_.size());
}

}  // namespace qzt
