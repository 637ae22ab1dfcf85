// vzip list, test and extract on archives made by other zip tools in the test itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli_test_support.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

namespace fs = std::filesystem;
using testing::HaveTool;
using testing::Quote;
using testing::Shell;
using testing::Vzip;

// A small add-on tree: text, random bytes, repetitive data, an empty file, a deep folder, a
// non-ASCII name, and distinct times and permissions.
struct SourceTree {
  testing::ScratchDir dir;
  std::string root = dir / "src";
  std::map<std::string, std::vector<uint8_t>> files;

  SourceTree() {
    std::string text;
    for (int i = 0; i < 4000; ++i)
      text += "Scenery object " + std::to_string(i * 7919 % 1000) + "\n";
    files["readme.txt"] = {text.begin(), text.end()};
    files["texture/ground.bmp"] = testing::RandomBytes(70000, 21);
    files["scenery/deep/er/library.bgl"] = std::vector<uint8_t>(90000, 0x5A);
    files["empty.cfg"] = {};
    files["caf\xC3\xA9.txt"] = {'c', 'a', 'f', 'e'};
    int n = 0;
    for (const auto& [name, data] : files) {
      const std::string path = root + "/" + name;
      fs::create_directories(fs::path(path).parent_path());
      testing::WriteFile(path, data);
      // 2024-03-15 10:20:30 + n hours, local time (even seconds survive DOS times).
      struct tm t {};
      t.tm_year = 124;
      t.tm_mon = 2;
      t.tm_mday = 15;
      t.tm_hour = 10 + n;
      t.tm_min = 20;
      t.tm_sec = 30;
      t.tm_isdst = -1;
      const auto when =
          fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(mktime(&t)));
      fs::last_write_time(path, when);
      ::chmod(path.c_str(), n % 2 ? 0640 : 0755);
      ++n;
    }
  }
  std::string Path(const std::string& name) const { return root + "/" + name; }
  std::string ArchivePath(const std::string& name) const { return dir / name; }
};

// Extracts with vzip into a fresh folder and checks every file's bytes, time and (when asked)
// permissions.
void ExpectExtracts(const SourceTree& tree, const std::string& archive, bool check_modes,
                    const std::string& extra_args = "") {
  const std::string out = tree.dir / ("out-" + fs::path(archive).filename().string());
  const auto r = Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(out) + " " + extra_args));
  ASSERT_EQ(r.status, 0) << archive << "\n" << r.output;
  for (const auto& [name, data] : tree.files) {
    const std::string got = out + "/" + name;
    ASSERT_TRUE(fs::exists(got)) << archive << ": " << name;
    EXPECT_EQ(testing::ReadFile(got), data) << archive << ": " << name;
    const auto want_time = fs::last_write_time(tree.Path(name));
    const auto got_time = fs::last_write_time(got);
    EXPECT_LE(std::chrono::abs(want_time - got_time), std::chrono::seconds(2))
        << archive << ": " << name;
    if (check_modes) {
      struct stat a {
      }, b{};
      ::stat(tree.Path(name).c_str(), &a);
      ::stat(got.c_str(), &b);
      EXPECT_EQ(a.st_mode & 0777, b.st_mode & 0777) << archive << ": " << name;
    }
  }
}

std::string SourceList(const SourceTree& tree) {
  std::string list;
  for (const auto& [name, data] : tree.files) list += " " + Quote(name);
  return list;
}

TEST(ReadInteropTest, InfoZipEveryLevelWithCommentsAndTimes) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  SourceTree tree;
  for (int level = 0; level <= 9; ++level) {
    const std::string archive = tree.ArchivePath("level" + std::to_string(level) + ".zip");
    ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q -X -" + std::to_string(level) + " " +
                    Quote(archive) + SourceList(tree))
                  .status,
              0);
    ExpectExtracts(tree, archive, true);
  }
  // An archive comment and file comments.
  const std::string commented = tree.ArchivePath("commented.zip");
  ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q " + Quote(commented) + SourceList(tree) +
                  " && printf 'file one\\nfile two\\n' | zip -q -c " + Quote(commented) +
                  " readme.txt empty.cfg && echo 'Freeware scenery, enjoy' | zip -q -z " +
                  Quote(commented))
                .status,
            0);
  ExpectExtracts(tree, commented, true);
  const auto list = Shell(Vzip("list " + Quote(commented)));
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.output.rfind("Freeware scenery, enjoy", 0), 0u) << list.output;
}

TEST(ReadInteropTest, InfoZipEncryptedSplitAndSelfExtracting) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  SourceTree tree;
  const std::string encrypted = tree.ArchivePath("secret.zip");
  ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q -P 'pa ss' " + Quote(encrypted) +
                  SourceList(tree))
                .status,
            0);
  ExpectExtracts(tree, encrypted, true, "-P 'pa ss'");
  // A wrong password fails every encrypted item, and says so.
  const auto wrong = Shell(Vzip("extract " + Quote(encrypted) + " -d " + Quote(tree.dir / "wrong") +
                                " -P nope </dev/null"));
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.output.find("Cannot extract file - invalid password"), std::string::npos)
      << wrong.output;

  const std::string split = tree.ArchivePath("split.zip");
  ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q -s 64k " + Quote(split) + SourceList(tree))
                .status,
            0);
  ASSERT_TRUE(fs::exists(tree.ArchivePath("split.z01")));
  ExpectExtracts(tree, split, true);
  EXPECT_EQ(Shell(Vzip("test " + Quote(split))).status, 0);

  // A self-extracting archive: a 40,000-byte stub in front, offsets adjusted by zip -A.
  const std::string plain = tree.ArchivePath("plain.zip");
  ASSERT_EQ(
      Shell("cd " + Quote(tree.root) + " && zip -q " + Quote(plain) + SourceList(tree)).status, 0);
  std::vector<uint8_t> sfx = {'M', 'Z'};
  sfx.resize(40000, 0x90);
  const auto zip_bytes = testing::ReadFile(plain);
  sfx.insert(sfx.end(), zip_bytes.begin(), zip_bytes.end());
  const std::string exe = tree.ArchivePath("setup.exe");
  testing::WriteFile(exe, sfx);
  ASSERT_EQ(Shell("zip -q -A " + Quote(exe)).status, 0);
  ExpectExtracts(tree, exe, true);
}

TEST(ReadInteropTest, SevenZipDeflateDeflate64AndZipCrypto) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  SourceTree tree;
  const std::vector<std::pair<std::string, std::string>> variants = {
      {"7z-deflate.zip", "-mm=Deflate -mx=9"},
      {"7z-deflate64.zip", "-mm=Deflate64 -mx=9"},
      {"7z-store.zip", "-mm=Copy"},
      {"7z-crypto.zip", "-mm=Deflate -mem=ZipCrypto -p7secret"},
  };
  for (const auto& [name, options] : variants) {
    const std::string archive = tree.ArchivePath(name);
    ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && 7zz a -tzip -bd -bso0 " + options + " " +
                    Quote(archive) + SourceList(tree))
                  .status,
              0)
        << name;
    ExpectExtracts(tree, archive, false, name == "7z-crypto.zip" ? "-P 7secret" : "");
  }
}

TEST(ReadInteropTest, PythonZipfileAndBsdtar) {
  SourceTree tree;
  if (HaveTool("python3")) {
    for (const char* method : {"ZIP_STORED", "ZIP_DEFLATED"}) {
      const std::string archive = tree.ArchivePath(std::string("py-") + method + ".zip");
      const std::string script =
          "import os, sys, zipfile\n"
          "root, out = sys.argv[1], sys.argv[2]\n"
          "with zipfile.ZipFile(out, 'w', zipfile." +
          std::string(method) +
          ") as z:\n"
          "    for base, dirs, names in os.walk(root):\n"
          "        for n in sorted(names):\n"
          "            p = os.path.join(base, n)\n"
          "            z.write(p, os.path.relpath(p, root))\n";
      testing::WriteFile(tree.dir / "make.py", script);
      ASSERT_EQ(Shell("python3 " + Quote(tree.dir / "make.py") + " " + Quote(tree.root) + " " +
                      Quote(archive))
                    .status,
                0);
      ExpectExtracts(tree, archive, true);
    }
  }
  if (HaveTool("bsdtar")) {
    const std::string archive = tree.ArchivePath("bsdtar.zip");
    ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && bsdtar --format zip -cf " + Quote(archive) +
                    SourceList(tree))
                  .status,
              0);
    ExpectExtracts(tree, archive, true);
    EXPECT_EQ(Shell(Vzip("test " + Quote(archive))).status, 0);
  }
}

// (name, size, compressed size, crc) of every item.
using Listing = std::set<std::tuple<std::string, long long, long long, std::string>>;

// Reads the item lines of a listing with a pattern whose groups are size, compressed size, CRC
// and name, in that order.
Listing ParseListing(const std::string& text, const std::regex& line) {
  Listing out;
  std::istringstream in(text);
  std::string l;
  std::smatch m;
  while (std::getline(in, l)) {
    if (std::regex_match(l, m, line)) out.insert({m[4], std::stoll(m[1]), std::stoll(m[2]), m[3]});
  }
  return out;
}

const std::regex kVzipLine(R"(^\s*(\d+)\s+(\d+)\s+.+?\s+-?\d+%\s+([0-9a-f]{8})\s+\S+ \S+\s+(.+)$)");
const std::regex kUnzipLine(
    R"(^\s*(\d+)\s+\S+\s+(\d+)\s+-?\d+%\s+\S+\s+\S+\s+([0-9a-f]{8})\s+(.+)$)");

TEST(ReadInteropTest, ListAgreesWithUnzip) {
  if (!HaveTool("zip") || !HaveTool("unzip")) GTEST_SKIP() << "zip or unzip is not installed";
  SourceTree tree;
  const std::string archive = tree.ArchivePath("list.zip");
  ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q -r " + Quote(archive) + " .").status, 0);
  const auto ours = Shell(Vzip("list " + Quote(archive)));
  ASSERT_EQ(ours.status, 0);
  const auto theirs = Shell("LC_ALL=C.UTF-8 unzip -v " + Quote(archive));
  const Listing a = ParseListing(ours.output, kVzipLine);
  const Listing b = ParseListing(theirs.output, kUnzipLine);
  EXPECT_EQ(a.size(), tree.files.size() + 4) << ours.output;  // files and four folder entries
  EXPECT_EQ(a, b) << ours.output << "\n---\n" << theirs.output;
}

TEST(ReadInteropTest, UsageAndUnreadableArchives) {
  SourceTree tree;
  EXPECT_EQ(Shell(Vzip("")).status, 2);
  EXPECT_EQ(Shell(Vzip("frobnicate")).status, 2);
  EXPECT_EQ(Shell(Vzip("extract")).status, 2);
  EXPECT_EQ(Shell(Vzip("extract a.zip -q")).status, 2);
  for (const char* command : {"list", "test", "extract"}) {
    const auto help = Shell(Vzip(std::string(command) + " --help"));
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: vzip"), std::string::npos);
  }
  const auto missing = Shell(Vzip("list " + Quote(tree.dir / "missing.zip")));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("File not found"), std::string::npos) << missing.output;
  testing::WriteFile(tree.dir / "junk.zip", testing::RandomBytes(3000, 5));
  const auto junk = Shell(Vzip("test " + Quote(tree.dir / "junk.zip")));
  EXPECT_EQ(junk.status, 2);
  EXPECT_NE(junk.output.find("Unhandled Archive Type"), std::string::npos) << junk.output;
}

TEST(ReadInteropTest, ExistingFilesAreKeptWithoutATerminalUnlessOverwriting) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  SourceTree tree;
  const std::string archive = tree.ArchivePath("o.zip");
  ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q " + Quote(archive) + " readme.txt").status,
            0);
  const std::string out = tree.dir / "o";
  fs::create_directories(out);
  testing::WriteFile(out + "/readme.txt", "mine");
  EXPECT_EQ(Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(out) + " </dev/null")).status,
            0);
  EXPECT_EQ(testing::ReadFile(out + "/readme.txt"), testing::Bytes("mine"));
  EXPECT_EQ(Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(out) + " -n")).status, 0);
  EXPECT_EQ(testing::ReadFile(out + "/readme.txt"), testing::Bytes("mine"));
  EXPECT_EQ(Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(out) + " -o")).status, 0);
  EXPECT_EQ(testing::ReadFile(out + "/readme.txt"), tree.files["readme.txt"]);
  // Junk paths.
  const std::string flat = tree.dir / "flat";
  ASSERT_EQ(Shell("cd " + Quote(tree.root) + " && zip -q " + Quote(archive) +
                  " scenery/deep/er/library.bgl")
                .status,
            0);
  EXPECT_EQ(Shell(Vzip("extract " + Quote(archive) + " -j -d " + Quote(flat))).status, 0);
  EXPECT_TRUE(fs::exists(flat + "/library.bgl"));
}

}  // namespace
}  // namespace vz
