// What placing one small extracted file costs the kernel, three ways, in the folder that
// VZ_PLACE_DIR names (default: the system's temporary folder), so that file systems can be
// compared (for example ext4 and tmpfs):
//   named:    a named work file made with O_EXCL, written, stamped, renamed to its name;
//   unnamed:  an unnamed file (O_TMPFILE), written, stamped, linked under its name;
//   unnamed_with_mode: the same, made with its final mode (no fchmod afterwards);
//   unnamed_flink: the same, linked by its descriptor (AT_EMPTY_PATH, where the kernel allows it
//             without privilege) rather than through /proc/self/fd;
//   plain:    the name created and written directly (nothing protects a half-written file).
// Each run makes 2,000 files of 100 bytes in a new folder; the counters give the kernel's and the
// wall clock's microseconds per file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kFiles = 2000;
const char kData[100] = "a small file, as an add-on holds by the thousand";

enum Way { kNamed, kUnnamed, kUnnamedWithMode, kUnnamedFlink, kPlain };

double KernelSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6;
}

bool Check(bool ok, benchmark::State& state, const char* what) {
  if (!ok) state.SkipWithError(what);
  return ok;
}

void PlaceFiles(int folder, Way way, benchmark::State& state) {
  const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "file" + std::to_string(i) + ".dds";
    int fd = -1;
    std::string work;
    if (way == kNamed) {
      work = "VMS" + std::to_string(i) + "x";
      fd = openat(folder, work.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } else if (way != kPlain) {
      fd = openat(folder, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, way == kUnnamed ? 0600 : 0644);
    } else {
      fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (!Check(fd >= 0, state, "cannot create a file")) return;
    bool ok = write(fd, kData, sizeof kData) == static_cast<ssize_t>(sizeof kData);
    ok = ok && futimens(fd, times) == 0;
    if (way == kNamed || way == kUnnamed) ok = ok && fchmod(fd, 0644) == 0;
    if (way == kUnnamedFlink) {
      ok = ok && linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0;
    } else if (way == kUnnamed || way == kUnnamedWithMode) {
      const std::string self = "/proc/self/fd/" + std::to_string(fd);
      ok = ok && linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }
    ok = close(fd) == 0 && ok;
    if (way == kNamed) ok = ok && renameat(folder, work.c_str(), folder, name.c_str()) == 0;
    if (!Check(ok, state, "cannot write or place a file")) return;
  }
}

// Every run places its files in a new folder, and all of them are removed only when the program
// ends: on ext4 without a journal, creating files soon after thousands were removed scans the
// freed inodes one by one, which would measure the removal of the run before.
struct Folders {
  std::filesystem::path base;
  int made = 0;
  Folders() {
    const char* where = std::getenv("VZ_PLACE_DIR");
    base =
        (where != nullptr ? std::filesystem::path(where) : std::filesystem::temp_directory_path()) /
        ("vz-bench-place-" + std::to_string(getpid()));
    std::filesystem::create_directories(base);
  }
  ~Folders() { std::filesystem::remove_all(base); }
  std::filesystem::path Next() {
    const std::filesystem::path dir = base / std::to_string(made++);
    std::filesystem::create_directory(dir);
    return dir;
  }
};

void BM_Place(benchmark::State& state, Way way) {
  static Folders folders;
  double kernel = 0;
  double wall = 0;
  int64_t files = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const int folder = open(folders.Next().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    state.ResumeTiming();
    const double kernel_before = KernelSeconds();
    const auto wall_before = std::chrono::steady_clock::now();
    PlaceFiles(folder, way, state);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    kernel += KernelSeconds() - kernel_before;
    files += kFiles;
    state.PauseTiming();
    close(folder);
    state.ResumeTiming();
  }
  state.counters["kernel_us_per_file"] = 1e6 * kernel / static_cast<double>(files);
  state.counters["wall_us_per_file"] = 1e6 * wall / static_cast<double>(files);
}

BENCHMARK_CAPTURE(BM_Place, named, kNamed)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Place, unnamed, kUnnamed)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Place, unnamed_with_mode, kUnnamedWithMode)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Place, unnamed_flink, kUnnamedFlink)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(BM_Place, plain, kPlain)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace
