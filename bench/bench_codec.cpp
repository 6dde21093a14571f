// Codec throughput, each beside its baseline in the same run:
// frame extraction beside memcpy of the same bytes, DES packets and zlib level 1 beside calling
// nettle and zlib directly on the same buffer; parameter lists in items per second.
#include <benchmark/benchmark.h>
#include <nettle/des.h>
#include <zlib.h>

#include <cstring>
#include <random>

#include "codec/message_stack.h"
#include "codec/param_list.h"
#include "codec/transforms.h"
#include "platform/byte_cursor.h"

namespace {

using namespace qzt;

std::string Frames(size_t count, size_t payload) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    PutInt32(out, static_cast<int32_t>(payload));
    out.append(payload, static_cast<char>('a' + i % 26));
  }
  return out;
}

std::string Payload(size_t n) {  // text-like bytes that compress as result rows do
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < n) s += "row " + std::to_string(rng() % 10000) + "\x06" "name\x06" + std::to_string(rng() % 97) + "\n";
  s.resize(n);
  return s;
}

void Extract(benchmark::State& state, const std::string& bytes, size_t chunk) {
  std::string msg;
  for (auto _ : state) {
    TVornMessageStack stack;
    for (size_t i = 0; i < bytes.size(); i += chunk) {
      stack.AppendReceived(std::string_view(bytes).substr(i, chunk));
      while (stack.PopMessage(msg)) benchmark::DoNotOptimize(msg.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

void Copy(benchmark::State& state, const std::string& bytes) {
  std::string dst(bytes.size(), '\0');
  for (auto _ : state) {
    std::memcpy(dst.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

// 10,000 frames of 100 bytes arriving in 64 KiB reads; one 8 MiB frame in 64 KiB reads.
const std::string kSmall = Frames(10000, 100);
const std::string kLarge = Frames(1, 8 << 20);
void BM_FramesSmall(benchmark::State& s) { Extract(s, kSmall, 65536); }
void BM_FramesSmall_memcpy(benchmark::State& s) { Copy(s, kSmall); }
void BM_FrameLarge(benchmark::State& s) { Extract(s, kLarge, 65536); }
void BM_FrameLarge_memcpy(benchmark::State& s) { Copy(s, kLarge); }

TVornParamList& SampleList() {
  static TVornParamList l;
  if (l.Count() == 0)
    for (int i = 0; i < 20; ++i) {
      l.Add().SetAsInteger(i);
      l.Add().SetAsString("value number " + std::to_string(i));
      l.Add().SetAsFloat(i * 1.5);
    }
  return l;
}

void BM_ParamListWrite(benchmark::State& state) {
  TVornParamList& l = SampleList();
  for (auto _ : state) benchmark::DoNotOptimize(l.SaveToString());
  state.SetItemsProcessed(state.iterations() * l.Count());
}

void BM_ParamListRead(benchmark::State& state) {
  const std::string text = SampleList().SaveToString();
  for (auto _ : state) {
    TVornParamList l(text, 0);
    benchmark::DoNotOptimize(l.Count());
  }
  state.SetItemsProcessed(state.iterations() * SampleList().Count());
}

const std::string kPlain = Payload(1 << 20);

void BM_DesPacket(benchmark::State& state) {
  DesKey key("benchkey");
  for (auto _ : state) benchmark::DoNotOptimize(DesEncryptPacket(key, kPlain));
  state.SetBytesProcessed(state.iterations() * kPlain.size());
}

void BM_DesPacket_nettle(benchmark::State& state) {
  des_ctx ctx;
  des_set_key(&ctx, reinterpret_cast<const uint8_t*>("benchkey"));
  std::string buf(kPlain.size(), '\0');
  for (auto _ : state) {
    des_encrypt(&ctx, buf.size(), reinterpret_cast<uint8_t*>(buf.data()),
                reinterpret_cast<const uint8_t*>(kPlain.data()));
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(state.iterations() * kPlain.size());
}

void BM_ZLib1(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ZCompress(kPlain, 1));
  state.SetBytesProcessed(state.iterations() * kPlain.size());
}

void BM_ZLib1_zlib(benchmark::State& state) {
  std::string out(compressBound(kPlain.size()), '\0');
  for (auto _ : state) {
    uLongf n = out.size();
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(kPlain.data()),
              kPlain.size(), 1);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * kPlain.size());
}

BENCHMARK(BM_FramesSmall);
BENCHMARK(BM_FramesSmall_memcpy);
BENCHMARK(BM_FrameLarge);
BENCHMARK(BM_FrameLarge_memcpy);
BENCHMARK(BM_ParamListWrite);
BENCHMARK(BM_ParamListRead);
BENCHMARK(BM_DesPacket);
BENCHMARK(BM_DesPacket_nettle);
BENCHMARK(BM_ZLib1);
BENCHMARK(BM_ZLib1_zlib);

}  // namespace

BENCHMARK_MAIN();
