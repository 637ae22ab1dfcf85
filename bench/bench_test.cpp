// Testing archives of many small items, where the per-item bookkeeping shows: every item's extent
// is checked against those of the items tested before it (a guard against overlapping items), so
// that check must stay logarithmic. The engine tests archives of 1,000 to 65,000 items held in
// memory, reporting items per second, which must not fall as the count grows; vzip test runs beside
// Info-ZIP's unzip -t on the 65,000-item archive written to a file, as separate processes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/item_procedures.h"
#include "archive/unzip_proc.h"
#include "archive/zip_archive.h"
#include "platform/memory_stream.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A zip of n stored items "dNNN/fNNNNN.txt" of 0 to 49 bytes each.
std::vector<uint8_t> ManyItems(int n) {
  std::vector<uint8_t> out, central;
  for (int i = 0; i < n; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "d%03d/f%05d.txt", i % 500, i);
    const std::vector<uint8_t> data(static_cast<size_t>(i % 50), 'x');
    const uint32_t crc = vz::Crc32Of(data);
    const auto offset = static_cast<uint32_t>(out.size());
    const auto name_length = static_cast<uint32_t>(std::strlen(name));
    auto header = [&](std::vector<uint8_t>& to, bool local) {
      Put32(to, local ? 0x04034B50 : 0x02014B50);
      if (!local) Put16(to, 20);
      for (uint32_t v : {20u, 0u, 0u, 0x6000u, 0x5A21u}) Put16(to, v);
      Put32(to, crc);
      Put32(to, static_cast<uint32_t>(data.size()));
      Put32(to, static_cast<uint32_t>(data.size()));
      Put16(to, name_length);
      Put16(to, 0);
      if (!local) {
        for (uint32_t v : {0u, 0u, 0u}) Put16(to, v);
        Put32(to, 0x20);
        Put32(to, offset);
      }
      to.insert(to.end(), name, name + name_length);
    };
    header(out, true);
    out.insert(out.end(), data.begin(), data.end());
    header(central, false);
  }
  const auto directory = static_cast<uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  Put32(out, 0x06054B50);
  Put32(out, 0);
  Put16(out, static_cast<uint32_t>(n));
  Put16(out, static_cast<uint32_t>(n));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, directory);
  Put16(out, 0);
  return out;
}

void BM_TestItemsInMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<uint8_t> bytes = ManyItems(n);
  for (auto _ : state) {
    vz::MemoryStream stream(bytes);
    auto zip = vz::ZipArchive::CreateOnStream(stream, "many.zip");
    vz::InstallExtractionProcs(*zip);
    int failures = 0;
    zip->OnProcessItemFailure = [&](void*, vz::ArchiveItem*, vz::ProcessType, vz::ErrorClass,
                                    int32_t) { ++failures; };
    zip->Load();
    zip->BeginRun();
    for (int i = 0; i < zip->ItemCount(); ++i) zip->TestItem(i);
    if (failures != 0) state.SkipWithError("items failed");
  }
  // Items tested per second: the same for every count when the per-item cost does not grow.
  state.counters["items_per_s"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TestItemsInMemory)->Arg(1000)->Arg(16000)->Arg(65000)->Unit(benchmark::kMillisecond);

bool Installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void BM_TestCommand(benchmark::State& state, const std::string& command) {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() /
                           ("vzbench-many-" + std::to_string(::getpid()) + ".zip"))
                              .string();
    const std::vector<uint8_t> bytes = ManyItems(65000);
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::atexit([] { std::filesystem::remove(path); });
    return p;
  }();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system((command + " " + path + " >/dev/null 2>&1").c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      break;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

const bool registered = [] {
  benchmark::RegisterBenchmark("BM_TestCommand/vzip", BM_TestCommand,
                               std::string(VZIP_PATH) + " test")
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  if (Installed("unzip")) {
    benchmark::RegisterBenchmark("BM_TestCommand/unzip", BM_TestCommand, std::string("unzip -tqq"))
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
