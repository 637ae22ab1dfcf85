// vzip add beside Info-ZIP zip (levels 6 and 9) and 7-Zip's zip writer, in the same run: a tree of
// 2,000 small files and one file of 200 MiB. Every tool runs as a separate process on the same
// files; the time is wall-clock time of the whole command and the size that of the archive it
// wrote. A table of ratios (vzip / peer) follows the benchmark output.
//
// A second group measures the zipper with AutoSave on, adding n files one at a time as the window
// does: every addition saves the whole archive again, so the time grows with n squared.
//
// The data are generated from fixed seeds: text-like lines of words (about 2:1 compressible) and a
// share of incompressible bytes. Peers that are not installed are skipped.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "components/zipper.h"

#include "bench_text.h"

namespace {

namespace fs = std::filesystem;

const std::string kVzip = VZIP_PATH;

// Prose-like lines of twelve words.
std::string Words(size_t n, uint32_t seed) {
  return vz::bench::Words(n, seed, {5000, 12, "", "\n"});
}

void Write(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The benchmark's data, made once in a scratch folder and removed at exit.
struct Data {
  fs::path root;
  Data() {
    root = fs::temp_directory_path() / ("vz-bench-add-" + std::to_string(::getpid()));
    fs::create_directories(root);
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
      const size_t size = 200 + rng() % 4000;
      std::string bytes = Words(size, static_cast<uint32_t>(i));
      // One file in eight is incompressible.
      if (i % 8 == 0) {
        for (char& c : bytes) c = static_cast<char>(rng());
      }
      Write(root / "tree" / ("d" + std::to_string(i % 20)) / ("f" + std::to_string(i) + ".txt"),
            bytes);
    }
    std::string big = Words(200u << 20, 99);
    // A quarter of the file is noise, in 1 MiB runs.
    for (size_t run = 0; run < 200; run += 4) {
      for (size_t k = run << 20; k < ((run + 1) << 20); ++k) big[k] = static_cast<char>(rng());
    }
    Write(root / "big" / "big.bin", big);
  }
  ~Data() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
};

Data& TheData() {
  static Data data;
  return data;
}

bool Have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Outcome {
  double seconds = 0;
  double bytes = 0;
};
std::map<std::string, std::map<std::string, Outcome>> outcomes;  // input -> tool -> outcome

// Runs command in folder (the input's folder) writing archive; reports time and size.
void RunTool(benchmark::State& state, const std::string& input, const std::string& tool,
             const std::string& command) {
  const fs::path folder = TheData().root / input;
  const fs::path archive = TheData().root / ("out-" + input + "-" + tool + ".zip");
  double total = 0;
  for (auto _ : state) {
    fs::remove(archive);
    const auto start = std::chrono::steady_clock::now();
    const std::string full = "cd '" + folder.string() + "' && " + command + " '" +
                             archive.string() + "' . >/dev/null 2>&1";
    if (std::system(full.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    total += seconds;
  }
  const double bytes = static_cast<double>(fs::file_size(archive));
  state.counters["archive_bytes"] = bytes;
  outcomes[input][tool] = {total / static_cast<double>(state.iterations()), bytes};
  fs::remove(archive);
}

// Commands take the archive and then "." as their last two arguments.
struct Peer {
  const char* name;
  const char* program;
  std::string command;
};

std::vector<Peer> Peers() {
  return {
      {"vzip", nullptr, kVzip + " add -r -p"},
      {"zip-6", "zip", "zip -q -r -6"},
      {"zip-9", "zip", "zip -q -r -9"},
      {"7zz-zip", "7zz", "7zz a -tzip -bd -bso0"},
  };
}

void RegisterToolBenchmarks() {
  for (const std::string input : {"tree", "big"}) {
    for (const Peer& peer : Peers()) {
      if (peer.program != nullptr && !Have(peer.program)) continue;
      const std::string name = "Add/" + input + "/" + peer.name;
      const std::string command = peer.command;
      const std::string tool = peer.name;
      benchmark::RegisterBenchmark(
          name.c_str(),
          [input, tool, command](benchmark::State& state) { RunTool(state, input, tool, command); })
          ->UseManualTime()
          ->Iterations(input == "tree" ? 3 : 1)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

// Adds n files one at a time to a new archive through the zipper with AutoSave on.
void BM_AutoSaveOneByOne(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(TheData().root / "tree")) {
    if (entry.is_regular_file() && static_cast<int>(files.size()) < n) files.push_back(entry);
  }
  const fs::path archive = TheData().root / "autosave.zip";
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    fs::remove(archive);
    vz::Zipper zipper;
    zipper.EditSettings([&](vz::ComponentSettings& s) {
      s.SetAutoSave(true);
      s.SetStoreOptions(vz::soStripDrive | vz::soRemoveDots);
    });
    zipper.SetFileName(archive.string());
    for (const fs::path& file : files) zipper.AddFiles(file.string(), 0);
    zipper.SetFileName("");
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["ms_per_file"] = seconds * 1000 / static_cast<double>(state.iterations()) / n;
  fs::remove(archive);
}
BENCHMARK(BM_AutoSaveOneByOne)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Arg(800)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void PrintRatios() {
  std::printf("\nRatios vzip / peer (time: lower is faster for vzip; size: lower is smaller)\n");
  std::printf("%-6s %-9s %10s %10s\n", "input", "peer", "time", "size");
  for (const auto& [input, tools] : outcomes) {
    const auto own = tools.find("vzip");
    if (own == tools.end()) continue;
    for (const auto& [tool, outcome] : tools) {
      if (tool == "vzip" || outcome.seconds <= 0 || outcome.bytes <= 0) continue;
      std::printf("%-6s %-9s %10.2f %10.3f\n", input.c_str(), tool.c_str(),
                  own->second.seconds / outcome.seconds, own->second.bytes / outcome.bytes);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheData();
  RegisterToolBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  return 0;
}
