// The Deflate encoder beside zlib and libdeflate, on the same data in the same run: throughput and
// compressed size (counter "size", and "ratio" = compressed / original) of the four deflation
// options, zlib levels 1, 6 and 9 and libdeflate levels 1, 6 and 9. The data is synthetic and the
// same in every run: prose-like text, structured binary records, and a highly repetitive log; 4 MiB
// and 32 MiB of each (the second argument is the size in MiB).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "codec/deflate.h"
#include "platform/memory_stream.h"

namespace {

std::vector<uint8_t> MakeText(size_t size) {
  static const char* kWords[] = {
      "the",      "of",      "and",       "a",        "to",      "in",       "is",       "you",
      "that",     "it",      "he",        "was",      "for",     "on",       "are",      "as",
      "with",     "his",     "they",      "at",       "be",      "this",     "have",     "from",
      "or",       "one",     "had",       "by",       "word",    "but",      "not",      "what",
      "all",      "were",    "we",        "when",     "your",    "can",      "said",     "there",
      "use",      "an",      "each",      "which",    "she",     "do",       "how",      "their",
      "if",       "will",    "up",        "other",    "about",   "out",      "many",     "then",
      "archive",  "folder",  "compress",  "window",   "scenery", "aircraft", "texture",  "gauge",
      "effects",  "flight",  "simulator", "install",  "runway",  "weather",  "airport",  "cockpit",
      "panel",    "sound",   "model",     "mission",  "livery",  "approach", "altitude", "heading",
      "throttle", "landing", "departure", "clearance"};
  constexpr size_t kCount = sizeof(kWords) / sizeof(kWords[0]);
  std::mt19937 rng(5);
  std::geometric_distribution<size_t> pick(0.06);
  std::vector<uint8_t> out;
  size_t line = 0;
  bool capital = true;
  while (out.size() < size) {
    std::string w = kWords[pick(rng) % kCount];
    if (capital) w[0] = static_cast<char>(w[0] - 'a' + 'A');
    capital = false;
    out.insert(out.end(), w.begin(), w.end());
    line += w.size() + 1;
    const uint32_t r = rng() % 20;
    if (r == 0) out.push_back(',');
    if (r == 1) {
      out.push_back('.');
      capital = true;
    }
    if (rng() % 50 == 0) {
      const std::string number = std::to_string(rng() % 10000);
      out.push_back(' ');
      out.insert(out.end(), number.begin(), number.end());
    }
    if (line > 72) {
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> MakeBinary(size_t size) {
  // Vertex-like records: float coordinates on a slowly varying surface, small indices, flags and
  // zero padding, with a random "compressed texture" chunk every so often.
  std::mt19937 rng(9);
  std::vector<uint8_t> out;
  float x = 0;
  uint32_t index = 0;
  while (out.size() < size) {
    if (rng() % 4000 == 0) {
      for (int i = 0; i < 2048; ++i) out.push_back(static_cast<uint8_t>(rng()));
    }
    x += 0.25f;
    const float y = static_cast<float>(static_cast<int>(rng() % 64)) * 0.5f;
    const float z = x * 0.5f;
    index += 1 + rng() % 3;
    const uint8_t* px = reinterpret_cast<const uint8_t*>(&x);
    const uint8_t* py = reinterpret_cast<const uint8_t*>(&y);
    const uint8_t* pz = reinterpret_cast<const uint8_t*>(&z);
    out.insert(out.end(), px, px + 4);
    out.insert(out.end(), py, py + 4);
    out.insert(out.end(), pz, pz + 4);
    out.push_back(static_cast<uint8_t>(index));
    out.push_back(static_cast<uint8_t>(index >> 8));
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(rng() % 3));
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> MakeRepetitive(size_t size) {
  // A log with few distinct lines and counters.
  std::mt19937 rng(3);
  static const char* kLines[] = {"INFO  loading scenery tile ",
                                 "WARN  texture not found: ", "INFO  frame time ms ",
                                 "DEBUG gauge update "};
  std::vector<uint8_t> out;
  uint32_t counter = 0;
  while (out.size() < size) {
    const std::string line =
        std::string(kLines[rng() % 4]) + std::to_string(counter++ % 100) + "\n";
    out.insert(out.end(), line.begin(), line.end());
  }
  out.resize(size);
  return out;
}

// The data of a benchmark: kind state.range(0), state.range(1) MiB; made once.
const std::vector<uint8_t>& Data(const benchmark::State& state) {
  static std::map<std::pair<int64_t, int64_t>, std::vector<uint8_t>> made;
  const auto key = std::make_pair(state.range(0), state.range(1));
  auto it = made.find(key);
  if (it == made.end()) {
    const size_t size = static_cast<size_t>(state.range(1)) << 20;
    const int kind = static_cast<int>(state.range(0));
    it = made.emplace(key, kind == 0   ? MakeText(size)
                           : kind == 1 ? MakeBinary(size)
                                       : MakeRepetitive(size))
             .first;
  }
  return it->second;
}

const char* KindName(int kind) {
  return kind == 0 ? "text" : kind == 1 ? "binary" : "repetitive";
}

void Report(benchmark::State& state, const std::vector<uint8_t>& data, size_t compressed) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
  state.counters["size"] = static_cast<double>(compressed);
  state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(data.size());
  state.SetLabel(std::string(KindName(static_cast<int>(state.range(0)))) + "/" +
                 std::to_string(state.range(1)) + "MiB");
}

// The presets as item compression applies them: '0' first, then the option's code.
void BM_Deflate(benchmark::State& state, char preset) {
  const auto& data = Data(state);
  size_t compressed = 0;
  for (auto _ : state) {
    vz::MemoryStream source(data);
    vz::MemoryStream dest;
    dest.Data().reserve(data.size());
    vz::DeflateHelper helper;
    helper.SetPresetCode('0');
    helper.SetPresetCode(preset);
    benchmark::DoNotOptimize(vz::Deflate(&source, &dest, &helper));
    compressed = dest.Data().size();
  }
  Report(state, data, compressed);
}

void BM_Zlib(benchmark::State& state, int level) {
  const auto& data = Data(state);
  std::vector<uint8_t> out(compressBound(static_cast<uLong>(data.size())));
  size_t compressed = 0;
  for (auto _ : state) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    compressed = z.total_out;
    deflateEnd(&z);
  }
  Report(state, data, compressed);
}

void BM_Libdeflate(benchmark::State& state, int level) {
  const auto& data = Data(state);
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, data.size()));
  size_t compressed = 0;
  for (auto _ : state) {
    compressed = libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  libdeflate_free_compressor(c);
  Report(state, data, compressed);
}

#define VZ_KINDS ->ArgsProduct({{0, 1, 2}, {4, 32}})->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(BM_Deflate, doSuperFast, 's') VZ_KINDS;
BENCHMARK_CAPTURE(BM_Deflate, doFast, 'f') VZ_KINDS;
BENCHMARK_CAPTURE(BM_Deflate, doNormal, 'n') VZ_KINDS;
BENCHMARK_CAPTURE(BM_Deflate, doMaximum, 'x') VZ_KINDS;
BENCHMARK_CAPTURE(BM_Zlib, level1, 1) VZ_KINDS;
BENCHMARK_CAPTURE(BM_Zlib, level6, 6) VZ_KINDS;
BENCHMARK_CAPTURE(BM_Zlib, level9, 9) VZ_KINDS;
BENCHMARK_CAPTURE(BM_Libdeflate, level1, 1) VZ_KINDS;
BENCHMARK_CAPTURE(BM_Libdeflate, level6, 6) VZ_KINDS;
BENCHMARK_CAPTURE(BM_Libdeflate, level9, 9) VZ_KINDS;

}  // namespace
