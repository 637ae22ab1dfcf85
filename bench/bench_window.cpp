// "Create Zip" as the window runs it (drop the files, press Zip, save once) for 100, 1,000 and
// 5,000 small files, beside Info-ZIP's zip writing the same files in the same run. The window's
// time per file should stay flat as the list grows (before the single save it rose with every
// file: each addition rewrote the whole archive); bench_add's AutoSave group shows that curve.
//
// The files are 1 to 4 KiB of text-like lines, generated from fixed seeds. A table of the time
// per file and the ratio window / zip follows the benchmark output.
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
#include <vector>

#include "front/window_script.h"
#include "front/zip_utility.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;
using vz::front::script::ScriptedShell;
using vz::front::script::ScriptedView;

constexpr int kCounts[] = {100, 1000, 5000};

struct Data {
  fs::path root;
  std::map<int, std::vector<std::string>> files;  // count -> the files of that list

  Data() {
    std::string pattern = (fs::temp_directory_path() / "vzbench-window-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root = pattern;
    std::mt19937 rng(2024);
    for (const int n : kCounts) {
      for (int i = 0; i < n; ++i) {
        const fs::path path = root / std::to_string(n) / ("f" + std::to_string(i % 50)) /
                              ("file" + std::to_string(i) + ".txt");
        fs::create_directories(path.parent_path());
        std::string text;
        const size_t size = 1024 + rng() % 3072;
        while (text.size() < size) text += "scenery object " + std::to_string(rng() % 997) + "\n";
        std::ofstream(path, std::ios::binary).write(text.data(), static_cast<long>(size));
        files[n].push_back(path.string());
      }
    }
  }
  ~Data() { fs::remove_all(root); }
};

Data& TheData() {
  static Data data;
  return data;
}

std::map<int, std::map<std::string, double>> seconds_per_file;  // count -> tool -> seconds

void Record(benchmark::State& state, const std::string& tool, double seconds, int n) {
  const double per_file = seconds / static_cast<double>(state.iterations()) / n;
  seconds_per_file[n][tool] = per_file;
  state.counters["us_per_file"] = per_file * 1e6;
}

// Drop the files on the "Create Zip" page, press Zip, answer the save dialog: the window's path,
// the list's sorting and summary included.
void BM_WindowCreateZip(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::string>& files = TheData().files[n];
  const std::string zip = (TheData().root / "window.zip").string();
  double seconds = 0;
  for (auto _ : state) {
    fs::remove(zip);
    const auto start = std::chrono::steady_clock::now();
    ScriptedView view;
    ScriptedShell shell;
    vz::front::ZipUtilityWindow window(view, shell, {});
    view.page = vz::front::Page::tabZip;
    window.WMDropFiles(files);
    shell.chosen = {zip};
    window.btnZipClick();
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(s);
    seconds += s;
    if (shell.boxes.size() != 1 || shell.boxes[0].text.find("could not") != std::string::npos) {
      state.SkipWithError("the save did not report success");
      return;
    }
  }
  Record(state, "window", seconds, n);
}
BENCHMARK(BM_WindowCreateZip)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Info-ZIP's zip, names read from its standard input, paths left out as the window leaves them.
void BM_InfoZip(benchmark::State& state) {
  if (std::system("command -v zip >/dev/null 2>&1") != 0) {
    state.SkipWithError("zip is not installed");
    return;
  }
  const int n = static_cast<int>(state.range(0));
  const fs::path list = TheData().root / "list.txt";
  {
    std::ofstream out(list);
    for (const std::string& file : TheData().files[n]) out << file << "\n";
  }
  const fs::path zip = TheData().root / "infozip.zip";
  double seconds = 0;
  for (auto _ : state) {
    fs::remove(zip);
    const auto start = std::chrono::steady_clock::now();
    const std::string command =
        "zip -q -j '" + zip.string() + "' -@ < '" + list.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("zip failed");
      return;
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(s);
    seconds += s;
  }
  Record(state, "zip", seconds, n);
}
BENCHMARK(BM_InfoZip)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void PrintTable() {
  std::printf("\nTime per file (microseconds) and the ratio window / zip\n");
  std::printf("%6s %10s %10s %8s\n", "files", "window", "zip", "ratio");
  for (const auto& [n, tools] : seconds_per_file) {
    const double window = tools.contains("window") ? tools.at("window") : 0;
    const double zip = tools.contains("zip") ? tools.at("zip") : 0;
    std::printf("%6d %10.1f %10.1f %8.2f\n", n, window * 1e6, zip * 1e6,
                zip > 0 ? window / zip : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // As the programs do at start (the codecs' tables would otherwise cost fresh pages per item).
  vz::platform::KeepFreedMemoryForReuse();
  benchmark::Initialize(&argc, argv);
  TheData();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintTable();
  return 0;
}
