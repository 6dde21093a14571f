// Dataset stream throughput: writing and reading 100,000 records of mixed fields, beside a memcpy of
// the same number of bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstring>

#include "dataset/vorn_dataset.h"

namespace {

using namespace qzt;

constexpr int kRecords = 100000;

TVornDataSet& Sample() {
  static TVornDataSet ds;
  if (!ds.Active()) {
    ds.AddFastField("ID", ftInteger, 0);
    ds.AddFastField("NAME", ftString, 40);
    ds.AddFastField("PRICE", ftBCD, 0);
    ds.AddFastField("QTY", ftFloat, 0);
    ds.AddFastField("SOLD", ftDateTime, 0);
    ds.AddFastField("NOTE", ftMemo, 0);
    ds.Open();
    ds.SetIndexesActive(false);
    for (int i = 0; i < kRecords; ++i)
      ds.AppendRecord({Variant(int32_t{i}), Variant("item number " + std::to_string(i)),
                       Variant::Currency(int64_t{i} * 125), Variant(i * 0.5), Variant::Date(45000 + i / 1000.0),
                       i % 10 == 0 ? Variant("a note for every tenth record") : Variant::Null()});
  }
  return ds;
}

void BM_DatasetWrite(benchmark::State& state) {
  TVornDataSet& ds = Sample();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string s = ds.SaveToString();
    bytes = s.size();
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_DatasetRead(benchmark::State& state) {
  const std::string s = Sample().SaveToString();
  for (auto _ : state) {
    TVornDataSet back;
    back.LoadFromStreamWithFields(s);
    benchmark::DoNotOptimize(back.StoredRecordCount());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * s.size());
}

void BM_DatasetStream_memcpy(benchmark::State& state) {
  const std::string s = Sample().SaveToString();
  std::string dst(s.size(), '\0');
  for (auto _ : state) {
    std::memcpy(dst.data(), s.data(), s.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * s.size());
}

BENCHMARK(BM_DatasetWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DatasetRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DatasetStream_memcpy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
