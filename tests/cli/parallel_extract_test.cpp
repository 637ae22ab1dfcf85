// vzip -j N extract leaves the files and prints the lines that -j 1 does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "cli_test_support.h"
#include "corpus.h"

namespace vz::testing {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::string line = std::to_string(st.st_mode);
    if (S_ISREG(st.st_mode)) {
      const auto bytes = ReadFile(entry.path().string());
      line += " " + std::to_string(st.st_mtime) + " " + std::string(bytes.begin(), bytes.end());
    }
    tree[entry.path().string().substr(root.size())] = line;
  }
  return tree;
}

TEST(ParallelExtractCliTest, ThreadsLeaveTheFilesAndLinesOfOneThread) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  ScratchDir dir;
  const std::string source = dir / "src";
  for (int i = 0; i < 40; ++i) {
    const std::string folder = source + "/p" + std::to_string(i % 5);
    fs::create_directories(folder);
    const auto kind = i % 3 == 0 ? CorpusKind::kRandom : CorpusKind::kText;
    // Every fourth file is large enough for a worker; the others are extracted in between.
    const size_t size = i % 4 == 3 ? 150000 + 1000 * i : 500 + 3000 * i;
    WriteFile(folder + "/f" + std::to_string(i), MakeCorpus(kind, size, i));
  }
  fs::create_directories(source + "/empty");
  const std::string archive = dir / "a.zip";
  ASSERT_EQ(Shell("cd " + Quote(source) + " && zip -qr " + Quote(archive) + " .").status, 0);
  // One damaged byte in the middle of an item's data: that item fails, the others are placed.
  auto bytes = ReadFile(archive);
  bytes[bytes.size() / 2] ^= 0x55;
  const std::string damaged = dir / "damaged.zip";
  WriteFile(damaged, bytes);

  for (const std::string& zip : {archive, damaged}) {
    std::map<std::string, std::string> trees[2];
    std::string lines[2];
    int status[2];
    for (int run = 0; run < 2; ++run) {
      const std::string out = dir / ("out" + std::to_string(run));
      fs::remove_all(out);
      const auto r = Shell(Vzip(std::string(run == 0 ? "-j 1" : "-j 4") + " extract " + Quote(zip) +
                                " -d " + Quote(out)));
      status[run] = r.status;
      lines[run] = r.output;
      const std::string prefix = out;
      for (size_t at; (at = lines[run].find(prefix)) != std::string::npos;) {
        lines[run].replace(at, prefix.size(), "OUT");
      }
      trees[run] = Tree(out);
    }
    EXPECT_EQ(status[1], status[0]) << zip;
    EXPECT_EQ(lines[1], lines[0]) << zip;
    EXPECT_EQ(trees[1], trees[0]) << zip;
    EXPECT_GE(trees[0].size(), 40u) << zip;
  }
}

}  // namespace
}  // namespace vz::testing
