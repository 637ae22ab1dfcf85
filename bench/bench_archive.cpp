// Whole archives, as a user meets them: vzip beside Info-ZIP (zip -6, unzip) and 7-Zip's zip
// writer, each tool a separate process on the same input, in the same run.
//
// Inputs, made once from fixed seeds in a scratch folder:
// - tree: 2,000 small source-like files (200 to 4,200 bytes) in 20 folders;
// - large: three files of 112 MB in all (text, record-like binary, and a third of noise);
// - tiny: 65,000 items of one byte each (extraction, listing and testing only);
// - million: 1,000,000 items of one byte each (listing and testing only), made only when a
//   benchmark of it runs (--benchmark_filter=million).
// Measured: the wall-clock time of creating and of extracting each input, the archive's size, and
// the largest resident set of `list` and `test` on the archives of many items (the memory a reader
// holds per item).
// A table of ratios vzip / peer follows the benchmark output; below 1, vzip is faster or smaller.
// The peer "vzip-j1" is vzip on one thread: that ratio is what its worker threads bring.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
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

#include "bench_text.h"

namespace {

namespace fs = std::filesystem;

const std::string kVzip = VZIP_PATH;

// Source-like lines: indented, eight words, a semicolon at the end.
std::string Words(size_t n, uint32_t seed) {
  return vz::bench::Words(n, seed, {3000, 8, "    ", ";\n"});
}

void Write(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
}

struct RunResult {
  bool ok = false;
  double seconds = 0;
  double max_rss_kib = 0;
};

// Runs a shell command as a child process; wall time and the child's peak resident set.
RunResult Run(const std::string& command) {
  RunResult result;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  result.max_rss_kib = static_cast<double>(usage.ru_maxrss);
  return result;
}

struct Data {
  fs::path root;
  // An archive of count one-byte items "t/THOUSANDS/N", written by Python's zipfile.
  void ManyItems(const std::string& input, int count) const {
    const std::string py = "import zipfile\nwith zipfile.ZipFile('" +
                           (root / (input + ".zip")).string() +
                           "', 'w') as z:\n    for i in range(" + std::to_string(count) +
                           "):\n        z.writestr('t/' + str(i // 1000) + '/' + str(i), b'x')\n";
    Write(root / ("make_" + input + ".py"), py);
    Run("python3 '" + (root / ("make_" + input + ".py")).string() + "'");
  }
  Data() {
    root = fs::temp_directory_path() / ("vz-bench-archive-" + std::to_string(::getpid()));
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
      Write(root / "tree" / ("d" + std::to_string(i % 20)) / ("f" + std::to_string(i) + ".cpp"),
            Words(200 + rng() % 4000, static_cast<uint32_t>(i)));
    }
    Write(root / "large" / "text.txt", Words(48u << 20, 1));
    std::string records(40u << 20, '\0');
    for (size_t i = 0; i + 16 <= records.size(); i += 16) {
      const uint32_t a = static_cast<uint32_t>(i / 16 + rng() % 7);
      records[i] = static_cast<char>(a);
      records[i + 1] = static_cast<char>(a >> 8);
      records[i + 4] = static_cast<char>(rng() % 300);
      records[i + 8] = 0x3F;
      records[i + 12] = static_cast<char>(rng() % 4);
    }
    Write(root / "large" / "model.bin", records);
    std::string noise = Words(24u << 20, 2);
    for (size_t i = 0; i < noise.size(); i += 3) noise[i] = static_cast<char>(rng());
    Write(root / "large" / "mixed.bin", noise);
    // The tiny archive is written directly: 65,000 files on disk would measure the file system.
    ManyItems("tiny", 65000);
    // Written back before any tool runs: otherwise the first one measured shares the disk with
    // the write-back of these 250 MB.
    ::sync();
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
  double rss_kib = 0;
};
std::map<std::string, std::map<std::string, Outcome>> outcomes;  // measure -> tool -> outcome

std::string Q(const fs::path& p) {
  return "'" + p.string() + "'";
}

// The reference archives that the extraction measures read, made by zip -6 once.
fs::path ArchiveOf(const std::string& input) {
  const fs::path archive = TheData().root / ("ref-" + input + ".zip");
  if (input == "tiny") return TheData().root / "tiny.zip";
  if (input == "million") {
    if (!fs::exists(archive.parent_path() / "million.zip")) TheData().ManyItems(input, 1'000'000);
    return TheData().root / "million.zip";
  }
  if (!fs::exists(archive)) {
    Run("cd " + Q(TheData().root / input) + " && zip -q -r -6 " + Q(archive) + " .");
  }
  return archive;
}

void Create(benchmark::State& state, const std::string& input, const std::string& tool,
            const std::string& command) {
  const fs::path archive = TheData().root / ("out-" + input + "-" + tool + ".zip");
  Outcome outcome;
  for (auto _ : state) {
    fs::remove(archive);
    const RunResult r = Run("cd " + Q(TheData().root / input) + " && " + command + " " +
                            Q(archive) + " . >/dev/null 2>&1");
    if (!r.ok) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(r.seconds);
    outcome.seconds += r.seconds;
  }
  outcome.seconds /= static_cast<double>(state.iterations());
  outcome.bytes = static_cast<double>(fs::file_size(archive));
  state.counters["archive_bytes"] = outcome.bytes;
  outcomes["create " + input][tool] = outcome;
  fs::remove(archive);
}

// Where each run extracts to. The small-file tree goes to a new folder every time, all of them
// removed only when the benchmark ends: on some file systems (ext4 without a journal, as on this
// project's build machines) creating files soon after thousands were deleted scans the freed
// inodes one by one, so a run that followed a removal was slowed by whichever tool ran before.
// The other inputs have too few files to be affected, or too many to keep.
fs::path OutputFolder(const std::string& input, const std::string& tool, int run) {
  const bool keep = input == "tree";
  const fs::path out =
      TheData().root / ("x-" + tool + (keep ? "-" + input + "-" + std::to_string(run) : ""));
  std::error_code ignored;
  fs::remove_all(out, ignored);
  fs::create_directories(out);
  return out;
}

void Read(benchmark::State& state, const std::string& measure, const std::string& input,
          const std::string& tool, const std::string& command) {
  static int runs = 0;
  fs::path out;
  Outcome outcome;
  for (auto _ : state) {
    out = OutputFolder(input, tool, runs++);
    std::string full = command;
    for (size_t at; (at = full.find("ARCHIVE")) != std::string::npos;) {
      full.replace(at, 7, Q(ArchiveOf(input)));
    }
    for (size_t at; (at = full.find("DEST")) != std::string::npos;) full.replace(at, 4, Q(out));
    const RunResult r = Run(full + " >/dev/null 2>&1");
    if (!r.ok) {
      state.SkipWithError(("failed: " + full).c_str());
      return;
    }
    state.SetIterationTime(r.seconds);
    outcome.seconds += r.seconds;
    outcome.rss_kib = std::max(outcome.rss_kib, r.max_rss_kib);
  }
  outcome.seconds /= static_cast<double>(state.iterations());
  state.counters["max_rss_kib"] = outcome.rss_kib;
  outcomes[measure + " " + input][tool] = outcome;
  if (input != "tree") fs::remove_all(out);
}

void Register() {
  struct Creator {
    const char* tool;
    const char* program;
    std::string command;
  };
  const Creator creators[] = {
      {"vzip", nullptr, kVzip + " add -r"},
      // One thread: the ratio vzip / vzip-j1 is what the worker threads bring.
      {"vzip-j1", nullptr, kVzip + " -j 1 add -r"},
      {"zip-6", "zip", "zip -q -r -6"},
      {"7zz-mx5", "7zz", "7zz a -tzip -mx=5 -bd -bso0"},
  };
  for (const std::string input : {"tree", "large"}) {
    for (const Creator& c : creators) {
      if (c.program != nullptr && !Have(c.program)) continue;
      const std::string tool = c.tool;
      const std::string command = c.command;
      benchmark::RegisterBenchmark(
          ("Create/" + input + "/" + tool).c_str(),
          [input, tool, command](benchmark::State& s) { Create(s, input, tool, command); })
          ->UseManualTime()
          ->Iterations(3)
          ->Unit(benchmark::kMillisecond);
    }
  }
  struct Reader {
    const char* measure;
    const char* tool;
    const char* program;
    std::string command;
  };
  const Reader readers[] = {
      {"extract", "vzip", nullptr, kVzip + " extract ARCHIVE -d DEST -o"},
      {"extract", "vzip-j1", nullptr, kVzip + " -j 1 extract ARCHIVE -d DEST -o"},
      {"extract", "unzip", "unzip", "unzip -q -o ARCHIVE -d DEST"},
      {"extract", "7zz", "7zz", "7zz x -y -bd -bso0 -oDEST ARCHIVE"},
      {"list", "vzip", nullptr, kVzip + " list ARCHIVE"},
      {"list", "unzip", "unzip", "unzip -l ARCHIVE"},
      {"list", "7zz", "7zz", "7zz l -bd -bso0 ARCHIVE"},
      {"test", "vzip", nullptr, kVzip + " test ARCHIVE"},
      {"test", "unzip", "unzip", "unzip -tqq ARCHIVE"},
      {"test", "7zz", "7zz", "7zz t -bd -bso0 ARCHIVE"},
  };
  for (const std::string input : {"tree", "large", "tiny", "million"}) {
    for (const Reader& r : readers) {
      if (r.program != nullptr && !Have(r.program)) continue;
      const bool many = input == "tiny" || input == "million";
      if (std::string(r.measure) != "extract" ? !many : input == "million") continue;
      const std::string measure = r.measure;
      const std::string tool = r.tool;
      const std::string command = r.command;
      benchmark::RegisterBenchmark(("Read/" + measure + "/" + input + "/" + tool).c_str(),
                                   [measure, input, tool, command](benchmark::State& s) {
                                     Read(s, measure, input, tool, command);
                                   })
          ->UseManualTime()
          ->Iterations(3)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

void PrintRatios() {
  std::printf("\nRatios vzip / peer (below 1: vzip faster, smaller or leaner)\n");
  std::printf("%-14s %-9s %8s %8s %8s\n", "measure", "peer", "time", "size", "memory");
  for (const auto& [measure, tools] : outcomes) {
    const auto own = tools.find("vzip");
    if (own == tools.end()) continue;
    for (const auto& [tool, o] : tools) {
      if (tool == "vzip" || o.seconds <= 0) continue;
      const double size = o.bytes > 0 ? own->second.bytes / o.bytes : 0;
      const double rss = o.rss_kib > 0 ? own->second.rss_kib / o.rss_kib : 0;
      std::printf("%-14s %-9s %8.2f %8.3f %8.2f\n", measure.c_str(), tool.c_str(),
                  own->second.seconds / o.seconds, size, rss);
    }
  }
  // Peak resident sets, in KiB, of the readers of many items.
  for (const char* measure : {"list tiny", "test tiny", "list million", "test million"}) {
    const auto many = outcomes.find(measure);
    if (many == outcomes.end()) continue;
    std::printf("%-13s holds", measure);
    for (const auto& [tool, o] : many->second)
      std::printf("  %s %.0f KiB", tool.c_str(), o.rss_kib);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheData();
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  return 0;
}
