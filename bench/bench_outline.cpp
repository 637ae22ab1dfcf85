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
#include <memory>
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

// Closing is not opening: each widget is destroyed with the clock stopped. (Qt drops the
// expanded state of 50,000 files one persistent index at a time, which takes about as long as
// the expansion itself.)
template <bool kCollapse>
void OpenInWidget(benchmark::State& state) {
  for (auto _ : state) {
    auto view = std::make_unique<vz::OutlineWidget>();
    view->resize(405, 255);
    view->Outline().SetFileName(g_zip);
    if (kCollapse) view->FullCollapse();
    QCoreApplication::processEvents();  // a full expansion waits for the event loop
    benchmark::DoNotOptimize(view->grab());
    state.PauseTiming();
    view.reset();
    state.ResumeTiming();
  }
}

void BM_OutlineWidget(benchmark::State& state) {
  OpenInWidget<false>(state);
}
BENCHMARK(BM_OutlineWidget)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OutlineWindow(benchmark::State& state) {
  OpenInWidget<true>(state);
}
BENCHMARK(BM_OutlineWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's real time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // One time per benchmark: the plain run, or the median of repetitions.
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto peer = times_.find("BM_UnzipList");
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
