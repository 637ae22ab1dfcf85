// A program killed outright (SIGKILL, which no handler sees) while it extracts new files leaves
// no part of a file behind: what it placed is whole, and the file it was writing is nowhere. Where
// the system makes named work files only, the one being written stays behind as such a file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "components/unzipper.h"
#include "corpus.h"
#include "platform/folder.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

namespace fs = std::filesystem;

TEST(KilledExtractionTest, LeavesNoPartOfAFileBehind) {
  // Small files before and after a large one, in two folders.
  std::map<std::string, std::vector<uint8_t>> items;
  testing::ZipBuilder zip;
  auto add = [&](const std::string& name, std::vector<uint8_t> data) {
    testing::ZipEntry e;
    e.name = name;
    e.crc = Crc32Of(data);
    e.uncompressed_size = static_cast<int64_t>(data.size());
    e.method = 8;
    e.data = testing::RawDeflate(data);
    zip.entries.push_back(e);
    items[name] = std::move(data);
  };
  for (int i = 0; i < 40; ++i) {
    add((i < 20 ? "a/" : "b/") + std::to_string(i) + ".txt",
        testing::MakeCorpus(testing::CorpusKind::kText, 500, static_cast<uint32_t>(i)));
    if (i == 19) add("a/big.bin", testing::MakeCorpus(testing::CorpusKind::kText, 8 << 20, 99));
  }
  struct Case {
    const char* label;
    int threads;
    bool named_only;  // the system offers no unnamed files
    size_t strays;    // files left that are no item, or not whole
  };
  const Case cases[] = {
      {"on one thread", 1, false, 0},
      {"with workers decoding ahead", 2, false, 0},
      {"with named work files only", 1, true, 1},
  };
  testing::ScratchDir dir;
  testing::WriteFile(dir / "add-on.zip", zip.Build());
  for (const Case& c : cases) {
    const std::string dest = dir / c.label;
    fs::create_directory(dest);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Extracts until the large file is half written, tells the parent, and waits to be killed.
      if (c.named_only) platform::ForgoUnnamedFiles();
      UnZipper unzipper;
      unzipper.EditSettings([&](ComponentSettings& s) {
        s.SetThreadCount(c.threads);
        s.SetExtractOptions(eoCreateDirs | eoRestorePath);
        s.SetBaseDirectory(dest);
      });
      unzipper.OnArchiveItemProgress = [&](void*, ArchiveItem* item, uint8_t percent, bool&) {
        if (item == nullptr || item->StoredName() != "a/big.bin" || percent < 50) return;
        const char byte = 1;
        if (::write(ready[1], &byte, 1) == 1) ::pause();
      };
      unzipper.SetFileName(dir / "add-on.zip");
      unzipper.ExtractFiles("*");
      ::_exit(3);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool reached = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(reached) << c.label << ": the extraction ended before the large file";
    size_t whole = 0;
    size_t strays = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dest)) {
      if (!entry.is_regular_file()) continue;
      const auto item = items.find(fs::relative(entry.path(), dest).generic_string());
      const bool is_whole =
          item != items.end() && testing::ReadFile(entry.path().string()) == item->second;
      (is_whole ? whole : strays) += 1;
    }
    EXPECT_EQ(strays, c.strays) << c.label;
    EXPECT_GE(whole, 20u) << c.label;  // the files before the large one
  }
}

}  // namespace
}  // namespace vz
