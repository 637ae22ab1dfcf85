// Opening a zip of 50,000 items in the outline beside Info-ZIP's "unzip -l" listing the same zip,
// in the same run. Three of ours:
//   OutlineModel   the outline of the components layer: load the central directory, build the tree
//   OutlineWidget  the Qt tree view over it, opened as the outline opens (every node expanded) and
//                  rendered once
//   OutlineWindow  as the window opens a zip: opened and collapsed at once, rendered once
// "unzip -l" runs as a separate process writing its listing to /dev/null. The items are stored
// files of a few bytes below 500 folders of an add-on's usual depth, so the time is that of the
// directory and the tree, not of data. A ratio table (ours / unzip -l) follows the benchmark
// output.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/outline_widget.h"
#include "zip_builder.h"

namespace {

constexpr int kItems = 50000;
std::string g_zip;

std::string MakeArchive(const std::filesystem::path& folder) {
  vz::testing::ZipBuilder zip;
  zip.entries.reserve(kItems);
  for (int i = 0; i < kItems; ++i) {
    vz::testing::ZipEntry e;
    e.name = "SimObjects/Airplanes/plane" + std::to_string(i / 100) + "/texture/t" +
             std::to_string(i % 100) + ".bmp";
    e.data = vz::testing::Bytes(std::to_string(i));
    zip.entries.push_back(std::move(e));
  }
  const std::string path = (folder / "fifty-thousand.zip").string();
  const std::vector<uint8_t> bytes = zip.Build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

void BM_UnzipList(benchmark::State& state) {
  const std::string command = "unzip -l " + g_zip + " >/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("unzip -l failed");
  }
}
BENCHMARK(BM_UnzipList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OutlineModel(benchmark::State& state) {
  for (auto _ : state) {
    vz::ZipOutline outline;
    outline.SetFileName(g_zip);
    if (outline.Count() != kItems) state.SkipWithError("wrong count");
  }
}
BENCHMARK(BM_OutlineModel)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OutlineWidget(benchmark::State& state) {
  for (auto _ : state) {
    vz::OutlineWidget view;
    view.resize(405, 255);
    view.Outline().SetFileName(g_zip);
    QCoreApplication::processEvents();  // the full expansion
    benchmark::DoNotOptimize(view.grab());
  }
}
BENCHMARK(BM_OutlineWidget)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OutlineWindow(benchmark::State& state) {
  for (auto _ : state) {
    vz::OutlineWidget view;
    view.resize(405, 255);
    view.Outline().SetFileName(g_zip);
    view.FullCollapse();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(view.grab());
  }
}
BENCHMARK(BM_OutlineWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's real time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (!run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto peer = times_.find("BM_UnzipList/real_time");
    if (peer == times_.end()) return;
    std::printf("\nratio to unzip -l (lower is better; the aim is below 2):\n");
    for (const auto& [name, time] : times_) {
      if (name != peer->first) std::printf("  %-28s %.2f\n", name.c_str(), time / peer->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  std::string folder = (std::filesystem::temp_directory_path() / "vzbench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  g_zip = MakeArchive(folder);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(folder);
  return 0;
}
