// Analysing an add-on before installing it: the time to read a 50,000-item archive's directory
// and decide where every item goes (in this process, as the window does when a zip is opened;
// and `vzip install --dry-run` as a program, which also compares each target with the FSX
// folder), beside `unzip -l` listing the same archive, in the same run. The archive: 50 aircraft
// of 1,000 files each, in an FSX tree, as many large add-on packs are.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "installer/install.h"
#include "zip_builder.h"

namespace {

namespace fs = std::filesystem;

struct Inputs {
  fs::path dir = fs::temp_directory_path() / ("vz-bench-install-" + std::to_string(::getpid()));
  fs::path zip = dir / "pack.zip";
  fs::path fsx = dir / "FSX";

  Inputs() {
    fs::create_directories(fsx / "SimObjects/Airplanes");
    std::ofstream(fsx / "fsx.exe") << "MZ";
    vz::testing::ZipBuilder builder;
    for (int plane = 0; plane < 50; ++plane) {
      const std::string folder = "Pack/SimObjects/Airplanes/Veldrin " + std::to_string(plane) + "/";
      for (int file = 0; file < 1000; ++file) {
        vz::testing::ZipEntry entry;
        entry.name = folder + (file == 0 ? std::string("aircraft.cfg")
                                         : "texture/t" + std::to_string(file) + ".dds");
        entry.data = {'x'};
        builder.entries.push_back(entry);
      }
    }
    const std::vector<uint8_t> bytes = builder.Build();
    std::ofstream(zip, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  ~Inputs() { fs::remove_all(dir); }
};

Inputs& Input() {
  static Inputs inputs;
  return inputs;
}

double RunSeconds(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  if (status != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_AnalyseInProcess(benchmark::State& state) {
  const Inputs& in = Input();
  for (auto _ : state) {
    const vz::installer::AddonLayout layout = vz::installer::AnalyseArchive(in.zip.string());
    benchmark::DoNotOptimize(layout.parts.size());
  }
}

void Program(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    const double seconds = RunSeconds(command);
    if (seconds < 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(seconds);
  }
}

void BM_VzipDryRun(benchmark::State& state) {
  const Inputs& in = Input();
  Program(state, std::string(VZIP_PATH) + " install --dry-run --fsx '" + in.fsx.string() + "' '" +
                     in.zip.string() + "'");
}

void BM_UnzipList(benchmark::State& state) {
  Program(state, "unzip -l '" + Input().zip.string() + "'");
}

}  // namespace

BENCHMARK(BM_AnalyseInProcess)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_VzipDryRun)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_UnzipList)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
