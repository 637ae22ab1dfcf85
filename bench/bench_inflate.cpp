// Inflate and CRC-32 throughput against zlib and libdeflate, on the same data in the same run.
//
// Data kinds: text, random binary (stored blocks), repetitive data and executables, 24 MiB each
// (96 MiB in all), compressed once with zlib (level 6, raw Deflate). The executables are the
// regular files of /usr/bin and then /usr/lib/x86_64-linux-gnu, each directory sorted by name,
// concatenated; where those give less than 24 MiB, generated machine-code-like records (opcode
// bytes from a small skewed set, little-endian offsets and addresses, runs of zero padding) make
// up the rest. Throughput counts output bytes. Ours decodes from a MemoryStream into a MemoryStream
// already sized for the output (so no growth is measured) and checksums the output with CRC-32 as
// zip extraction does; the peers' raw inflates check nothing, so each is measured followed by its
// own crc32 over the output (zlib also alone). Ours is also measured in test mode, as archive
// testing runs it: decoded and checksummed, nothing delivered. CRC-32 runs over 32 MiB of text.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/inflate.h"
#include "platform/memory_stream.h"

namespace {

constexpr size_t kSize = 24u << 20;

std::vector<uint8_t> Text() {
  static const char* kWords[] = {"the",     "archive", "of",       "flight",     "simulator",
                                 "scenery", "package", "and",      "folder",     "with",
                                 "texture", "effects", "aircraft", "gauge",      "sound",
                                 "panel",   "is",      "a",        "compressed", "stream"};
  std::mt19937 rng(1);
  std::string text;
  while (text.size() < kSize) {
    text += kWords[rng() % 20];
    text += (rng() % 13 == 0) ? ".\n" : " ";
    if (rng() % 50 == 0) text += std::to_string(rng() % 100000);
  }
  return {text.begin(), text.begin() + kSize};
}

std::vector<uint8_t> Binary() {
  std::mt19937 rng(2);
  std::vector<uint8_t> out(kSize);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

std::vector<uint8_t> Repetitive() {
  std::mt19937 rng(3);
  std::vector<uint8_t> out;
  out.reserve(kSize);
  while (out.size() < kSize) {
    if (rng() % 2 == 0) {
      out.insert(out.end(), 50 + rng() % 3000, static_cast<uint8_t>(rng() % 4));
    } else if (out.size() > 70000) {
      const size_t from = out.size() - 1 - rng() % 32000;
      const size_t n = 100 + rng() % 2000;
      for (size_t i = 0; i < n; ++i) out.push_back(out[from + i % 700]);
    } else {
      for (int i = 0; i < 1000; ++i) out.push_back(static_cast<uint8_t>(rng()));
    }
  }
  out.resize(kSize);
  return out;
}

std::vector<uint8_t> Executables() {
  std::vector<uint8_t> out;
  out.reserve(kSize);
  for (const char* dir : {"/usr/bin", "/usr/lib/x86_64-linux-gnu"}) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
      if (entry.is_regular_file(ec) && !entry.is_symlink(ec)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (out.size() >= kSize) break;
      std::ifstream in(file, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
      out.insert(
          out.end(), bytes.begin(),
          bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), kSize - out.size())));
    }
  }
  std::mt19937 rng(4);
  static const uint8_t kOpcodes[] = {0x48, 0x89, 0x8b, 0xe8, 0x0f, 0x85, 0x84, 0x74, 0x75, 0xc3,
                                     0x83, 0xc7, 0x45, 0x4c, 0x8d, 0x31, 0xff, 0x41, 0x5d, 0x55};
  while (out.size() < kSize) {
    switch (rng() % 4) {
      case 0:
        out.insert(out.end(), rng() % 64, 0);
        break;
      case 1:
        for (uint32_t i = 0, n = rng() % 32; i < n; ++i)
          out.push_back(kOpcodes[std::min(rng() % 20, rng() % 20)]);
        break;
      default: {
        const uint32_t value = rng() % 4096 * 8 + 0x401000;
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
      }
    }
  }
  out.resize(kSize);
  return out;
}

std::vector<uint8_t> Deflated(const std::vector<uint8_t>& in) {
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&zs, in.size()));
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

struct Kind {
  std::vector<uint8_t> plain;
  std::vector<uint8_t> packed;
};

const Kind& Data(int kind) {
  static const Kind kinds[4] = {
      {Text(), {}}, {Binary(), {}}, {Repetitive(), {}}, {Executables(), {}}};
  static const bool packed = [] {
    for (auto& k : const_cast<Kind(&)[4]>(kinds)) k.packed = Deflated(k.plain);
    return true;
  }();
  (void)packed;
  return kinds[kind];
}

const char* kKindNames[] = {"text", "binary", "repetitive", "executables"};

const std::vector<uint8_t>& CrcData() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> d = Text();
    d.resize(32u << 20);
    for (size_t i = kSize; i < d.size(); ++i) d[i] = d[i - kSize];
    return d;
  }();
  return data;
}

void BM_Crc32_Ours(benchmark::State& state) {
  const auto& data = CrcData();
  for (auto _ : state) {
    uint32_t reg = 0xFFFFFFFFu;
    vz::UpdateCrc32(reg, data.data(), static_cast<int64_t>(data.size()));
    benchmark::DoNotOptimize(reg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Crc32_Zlib(benchmark::State& state) {
  const auto& data = CrcData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Crc32_Libdeflate(benchmark::State& state) {
  const auto& data = CrcData();
  for (auto _ : state) {
    benchmark::DoNotOptimize(libdeflate_crc32(0, data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_Inflate_Ours(benchmark::State& state) {
  const Kind& kind = Data(static_cast<int>(state.range(0)));
  vz::MemoryStream source(kind.packed);
  vz::MemoryStream dest;
  dest.SetSize(static_cast<int64_t>(kind.plain.size()));
  for (auto _ : state) {
    source.SetPosition(0);
    dest.SetPosition(0);
    benchmark::DoNotOptimize(vz::Inflate(&source, &dest));
  }
  if (dest.Data() != kind.plain) state.SkipWithError("wrong output");
  state.SetLabel(kKindNames[state.range(0)]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kind.plain.size()));
}

void BM_Inflate_OursTestOnly(benchmark::State& state) {
  const Kind& kind = Data(static_cast<int>(state.range(0)));
  vz::MemoryStream source(kind.packed);
  vz::MemoryStream dest;
  vz::DeflateHelper helper;
  helper.SetOptions(vz::dfoTestOnly);
  uint32_t crc = 0;
  for (auto _ : state) {
    source.SetPosition(0);
    crc = vz::Inflate(&source, &dest, &helper);
    benchmark::DoNotOptimize(crc);
  }
  if (dest.Size() != 0 || crc != crc32(0, kind.plain.data(), static_cast<uInt>(kind.plain.size())))
    state.SkipWithError("wrong checksum");
  state.SetLabel(kKindNames[state.range(0)]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kind.plain.size()));
}

void ZlibInflate(benchmark::State& state, bool with_crc) {
  const Kind& kind = Data(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out(kind.plain.size());
  for (auto _ : state) {
    z_stream zs{};
    inflateInit2(&zs, -15);
    zs.next_in = const_cast<Bytef*>(kind.packed.data());
    zs.avail_in = static_cast<uInt>(kind.packed.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (inflate(&zs, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib failed");
    inflateEnd(&zs);
    if (with_crc) benchmark::DoNotOptimize(crc32(0, out.data(), static_cast<uInt>(out.size())));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(kKindNames[state.range(0)]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kind.plain.size()));
}

void BM_Inflate_Zlib(benchmark::State& state) {
  ZlibInflate(state, false);
}
void BM_Inflate_ZlibPlusCrc32(benchmark::State& state) {
  ZlibInflate(state, true);
}

void BM_Inflate_LibdeflatePlusCrc32(benchmark::State& state) {
  const Kind& kind = Data(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out(kind.plain.size());
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    size_t got = 0;
    if (libdeflate_deflate_decompress(d, kind.packed.data(), kind.packed.size(), out.data(),
                                      out.size(), &got) != LIBDEFLATE_SUCCESS) {
      state.SkipWithError("libdeflate failed");
    }
    benchmark::DoNotOptimize(libdeflate_crc32(0, out.data(), got));
    benchmark::DoNotOptimize(out.data());
  }
  libdeflate_free_decompressor(d);
  if (out != kind.plain) state.SkipWithError("wrong output");
  state.SetLabel(kKindNames[state.range(0)]);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kind.plain.size()));
}

}  // namespace

BENCHMARK(BM_Crc32_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_Libdeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_OursTestOnly)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_Zlib)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_ZlibPlusCrc32)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inflate_LibdeflatePlusCrc32)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
