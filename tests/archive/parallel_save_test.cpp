// A save on several threads against the same save on one: the same archive bytes (where no random
// bytes go in), the same items, and the same events with the same arguments, in the same order,
// also when items fail and when the user aborts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/item_procedures.h"
#include "archive/parallel_save.h"
#include "archive/unzip_proc.h"
#include "archive/zip_archive.h"
#include "archive/zip_proc.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::CorpusKind;
using testing::ReadFile;
using testing::ScratchDir;

struct Settings {
  const char* name;
  ZipSupportedMethod method;
  ZipDeflationOption option = doNormal;
  std::string password;
  ZipEncryption encryption = zeTraditional;
  // Random bytes go into encrypted items, so only their directories and contents are compared.
  bool Deterministic() const { return password.empty(); }
};

// Files of every kind and of sizes from empty to a few hundred KiB, named in order.
std::vector<std::string> MakeTree(const ScratchDir& dir) {
  static constexpr CorpusKind kKinds[] = {
      CorpusKind::kText,    CorpusKind::kBinary, CorpusKind::kRandom,    CorpusKind::kRepetitive,
      CorpusKind::kPattern, CorpusKind::kRuns,   CorpusKind::kCompressed};
  static constexpr size_t kSizes[] = {0, 1, 700, 5000, 70000, 160000, 12, 40000, 90000};
  std::vector<std::string> paths;
  for (size_t i = 0; i < 14; ++i) {
    const std::string path = dir / ("f" + std::to_string(10 + i));
    testing::WriteFile(path,
                       testing::MakeCorpus(kKinds[i % 7], kSizes[i % 9], static_cast<uint32_t>(i)));
    // A fixed time, so that a tree made again gives the same items.
    testing::portable::SetModifiedTime(path, 1700000000);
    paths.push_back(path);
  }
  return paths;
}

struct Outcome {
  std::vector<std::string> events;
  std::vector<uint8_t> bytes;  // empty when the save made no archive
  bool aborted = false;
};

// Saves a new archive of paths with threads threads, logging every event; abort_at answers abort
// to that item progress report (counted from 1; 0 never; the report of an empty file, the first,
// takes no answer). The files named in vanish are removed
// after they were added, and those in pipes replaced by a pipe.
Outcome Save(const ScratchDir& dir, const Settings& settings, const std::vector<std::string>& paths,
             int threads, int abort_at = 0, const std::vector<std::string>& vanish = {},
             const std::vector<std::string>& pipes = {}) {
  const std::string name = dir / ("out" + std::to_string(threads) + ".zip");
  std::filesystem::remove(name);
  Outcome outcome;
  {
    auto zip = std::make_unique<ZipArchive>(name, kFmCreate);
    InstallInsertionProcs(*zip);
    zip->SetBaseDirectory("");
    zip->SetThreadCount(threads);
    zip->SetCompressionMethodToUse(settings.method);
    zip->SetDeflationOption(settings.option);
    zip->SetPassword(settings.password);
    zip->SetEncryption(settings.encryption);
    auto& log = outcome.events;
    int reports = 0;
    zip->OnArchiveItemProgress = [&](void*, ArchiveItem* item, uint8_t p, bool& abort) {
      log.push_back("item " + item->StoredName() + " " + std::to_string(p));
      abort = ++reports == abort_at;
    };
    zip->OnProcessItemFailure = [&](void*, ArchiveItem* item, ProcessType type, ErrorClass c,
                                    int32_t code) {
      log.push_back("failure " + item->StoredName() + " " + std::to_string(type) + " " +
                    std::to_string(c) + " " + std::to_string(code) + " " + zip->FailureMessage());
    };
    zip->OnArchiveProgress = [&](void*, uint8_t p, bool&) {
      log.push_back("archive " + std::to_string(p));
    };
    zip->OnArchiveSaveProgress = [&](void*, uint8_t p, bool&) {
      log.push_back("save " + std::to_string(p));
    };
    for (const auto& path : paths) zip->Add(zip->NewItem(path));
    for (const auto& path : vanish) std::filesystem::remove(path);
    for (const auto& path : pipes) {
      std::filesystem::remove(path);
      EXPECT_TRUE(testing::portable::MakeFifo(path));
    }
    try {
      zip->Save();
    } catch (const UserAbortError&) {
      outcome.aborted = true;
    }
  }
  if (std::filesystem::exists(name)) outcome.bytes = ReadFile(name);
  // Nothing but the archive is left in the folder: no work or swap file of any worker.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().rfind("VMS", 0), std::string::npos);
  }
  return outcome;
}

// The central directory and end record: the same for the same items, whatever random bytes the
// encryption put into their data.
std::vector<uint8_t> DirectoryOf(const std::vector<uint8_t>& zip) {
  if (zip.size() < 22) return {};
  const size_t end = zip.size() - 22;
  const size_t offset = zip[end + 16] | (zip[end + 17] << 8) | (zip[end + 18] << 16) |
                        (static_cast<size_t>(zip[end + 19]) << 24);
  return {zip.begin() + static_cast<long>(offset), zip.end()};
}

int FailuresOnTest(const ScratchDir& dir, const std::vector<uint8_t>& bytes,
                   const std::string& password) {
  const std::string path = dir / "check.zip";
  testing::WriteFile(path, bytes);
  ZipArchive zip(path, kFmOpenRead | kFmShareDenyNone);
  InstallExtractionProcs(zip);
  zip.Load();
  zip.SetPassword(password);
  int failures = 0;
  zip.OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
    ++failures;
  };
  for (int i = 0; i < zip.ItemCount(); ++i) zip.TestItem(i);
  std::filesystem::remove(path);
  return failures + (zip.ItemCount() == 0 ? 1 : 0);
}

const Settings kSettings[] = {
    {"stored", smStored, doNormal, "", zeTraditional},
    {"deflated", smDeflated, doNormal, "", zeTraditional},
    {"best", smBestMethod, doMaximum, "", zeTraditional},
    {"zstd", smZstd, doNormal, "", zeTraditional},
    {"traditional", smDeflated, doNormal, "secret", zeTraditional},
    {"aes", smBestMethod, doFast, "secret", zeAes256},
};

TEST(ParallelSaveTest, ThreadsGiveTheSameArchiveAndEvents) {
  for (const Settings& settings : kSettings) {
    SCOPED_TRACE(settings.name);
    ScratchDir dir;
    const auto paths = MakeTree(dir);
    const Outcome one = Save(dir, settings, paths, 1);
    ASSERT_FALSE(one.bytes.empty());
    EXPECT_EQ(FailuresOnTest(dir, one.bytes, settings.password), 0);
    for (const int threads : {2, 4}) {
      SCOPED_TRACE(threads);
      const Outcome many = Save(dir, settings, paths, threads);
      EXPECT_EQ(many.events, one.events);
      if (settings.Deterministic()) {
        EXPECT_EQ(many.bytes, one.bytes);
      } else {
        EXPECT_EQ(DirectoryOf(many.bytes), DirectoryOf(one.bytes));
        EXPECT_EQ(FailuresOnTest(dir, many.bytes, settings.password), 0);
      }
    }
  }
}

TEST(ParallelSaveTest, FailedItemsAreReportedAndLeftOutAsOnOneThread) {
  for (const Settings& settings : {kSettings[0], kSettings[1]}) {
    SCOPED_TRACE(settings.name);
    ScratchDir dir;
    const auto paths = MakeTree(dir);
    const std::vector<std::string> vanish = {paths[3], paths[9]};
    // Windows has no named pipes in its folders: there, two failures instead of three.
    std::vector<std::string> pipes;
    if (!testing::kOnWindows) pipes.push_back(paths[6]);
    const Outcome one = Save(dir, settings, paths, 1, 0, vanish, pipes);
    for (const auto& path : pipes) std::filesystem::remove(path);
    MakeTree(dir);
    const Outcome many = Save(dir, settings, paths, 3, 0, vanish, pipes);
    EXPECT_EQ(std::count_if(one.events.begin(), one.events.end(),
                            [](const std::string& e) { return e.rfind("failure", 0) == 0; }),
              2 + static_cast<long>(pipes.size()));
    EXPECT_EQ(many.events, one.events);
    EXPECT_EQ(many.bytes, one.bytes);
  }
}

TEST(ParallelSaveTest, AbortEndsTheSaveAtTheSameReport) {
  for (const Settings& settings : {kSettings[0], kSettings[1], kSettings[3]}) {
    for (const int abort_at : {2, 6, 9}) {
      SCOPED_TRACE(std::string(settings.name) + " at " + std::to_string(abort_at));
      ScratchDir dir;
      const auto paths = MakeTree(dir);
      const Outcome one = Save(dir, settings, paths, 1, abort_at);
      const Outcome many = Save(dir, settings, paths, 2, abort_at);
      EXPECT_TRUE(one.aborted);
      EXPECT_TRUE(one.bytes.empty());
      EXPECT_EQ(many.aborted, one.aborted);
      EXPECT_EQ(many.events, one.events);
      EXPECT_EQ(many.bytes, one.bytes);
    }
  }
}

// Many small files: the workers' copies of the items are made a batch at a time while the save
// runs, and the workers run far ahead of the writer. A save, and one aborted late, equal those on
// one thread.
TEST(ParallelSaveTest, ManySmallFilesGiveTheSameArchiveAndEvents) {
  ScratchDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 450; ++i) {
    const std::string path = dir / ("s" + std::to_string(1000 + i));
    // Every 50th is large enough to report its progress: the late abort answers one of those.
    const size_t size = i % 50 == 49 ? 70000 : 30 + 41 * static_cast<size_t>(i % 29);
    testing::WriteFile(path,
                       testing::MakeCorpus(CorpusKind::kText, size, static_cast<uint32_t>(i)));
    testing::portable::SetModifiedTime(path, 1700000000);
    paths.push_back(path);
  }
  const Outcome one = Save(dir, kSettings[1], paths, 1);
  const auto reports = std::count_if(one.events.begin(), one.events.end(),
                                     [](const std::string& e) { return e.rfind("item", 0) == 0; });
  ASSERT_GT(reports, 8);
  for (const int abort_at : {0, static_cast<int>(reports * 3 / 4)}) {
    const Outcome serial = abort_at == 0 ? one : Save(dir, kSettings[1], paths, 1, abort_at);
    EXPECT_EQ(serial.aborted, abort_at != 0);
    for (const int threads : {2, 3}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, abort at " + std::to_string(abort_at));
      const Outcome many = Save(dir, kSettings[1], paths, threads, abort_at);
      EXPECT_EQ(many.aborted, serial.aborted);
      EXPECT_EQ(many.events, serial.events);
      EXPECT_EQ(many.bytes, serial.bytes);
    }
  }
}

// A buffer ahead is a stream like one in memory, whichever of its bytes the budget left to a file;
// its file goes with it, and so does its share of the budget.
TEST(ParallelSaveBufferTest, ReadsBackWhatWasWrittenAcrossMemoryAndFile) {
  ScratchDir dir;
  for (const int64_t budget_bytes : {int64_t{0}, AheadBudget::kPiece, 2 * AheadBudget::kPiece}) {
    SCOPED_TRACE(budget_bytes);
    auto budget = std::make_shared<AheadBudget>(budget_bytes);
    MemoryStream oracle;
    {
      AheadBuffer buffer(budget, dir.path().string());
      std::mt19937 rng(static_cast<uint32_t>(budget_bytes));
      // Writes in pieces of every size, with seeks back, cuts and extensions, as the insert
      // procedures make them (the best method cuts back and starts over).
      for (int step = 0; step < 40; ++step) {
        const uint32_t what = rng() % 10;
        if (what == 0) {
          const int64_t to = static_cast<int64_t>(rng() % static_cast<uint32_t>(oracle.Size() + 1));
          buffer.SetSize(to);
          oracle.SetSize(to);
        } else if (what == 1) {
          const int64_t to = oracle.Size() + static_cast<int64_t>(rng() % 5000);
          buffer.SetSize(to);
          oracle.SetSize(to);
        } else if (what == 2) {
          const int64_t to = static_cast<int64_t>(rng() % static_cast<uint32_t>(oracle.Size() + 1));
          buffer.SetPosition(to);
          oracle.SetPosition(to);
        } else {
          const auto piece = testing::RandomBytes(rng() % 150000, rng());
          buffer.WriteBuffer(piece);
          oracle.WriteBuffer(piece);
        }
        ASSERT_EQ(buffer.Position(), oracle.Position());
        ASSERT_EQ(buffer.Size(), oracle.Size());
      }
      std::vector<uint8_t> got(static_cast<size_t>(buffer.Size()));
      std::vector<uint8_t> want(got.size());
      buffer.SetPosition(0);
      oracle.SetPosition(0);
      buffer.ReadBuffer(got);
      oracle.ReadBuffer(want);
      EXPECT_TRUE(got == want);
      EXPECT_LE(budget->Left(), budget_bytes);
    }
    EXPECT_EQ(budget->Left(), budget_bytes);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

}  // namespace
}  // namespace vz
