// vzip add against other zip tools: archives it writes must pass their tests and extract to the
// original bytes, and archives they wrote must survive an update by it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "cli_test_support.h"
#include "test_support.h"

namespace vz {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

using Result = testing::RunResult;

// Runs a shell command in folder with a UTF-8 locale, so that tools keep non-ASCII names.
Result Shell(const fs::path& folder, const std::string& command) {
  return testing::Shell("cd " + testing::Quote(folder.string()) + " && LC_ALL=C.UTF-8 " + command +
                        " </dev/null");
}

bool Have(const std::string& tool) {
  return testing::HaveTool(tool);
}

const std::string kVzip = VZIP_PATH;

std::vector<uint8_t> Text(size_t n, int seed) {
  std::vector<uint8_t> out;
  for (int line = 0; out.size() < n; ++line) {
    const std::string s = "record " + std::to_string(line * seed % 9973) + " of a text file\n";
    out.insert(out.end(), s.begin(), s.end());
  }
  out.resize(n);
  return out;
}

// A small tree of files of every kind: text, noise, empty, nested, non-ASCII names.
std::map<std::string, std::vector<uint8_t>> MakeTree(const fs::path& root) {
  std::map<std::string, std::vector<uint8_t>> files = {
      {"readme.txt", Text(30000, 7)},
      {"data/noise.bin", testing::RandomBytes(50000, 3)},
      {"data/empty.dat", {}},
      {"data/ünïcødé name.txt", Text(2000, 11)},
      {"sub/deeper/x.cfg", Text(700, 13)},
  };
  for (const auto& [name, data] : files) {
    fs::create_directories((root / name).parent_path());
    WriteFile((root / name).string(), data);
  }
  return files;
}

// Compares every file of the tree with its copy below folder; returns the first difference.
std::string Differences(const std::map<std::string, std::vector<uint8_t>>& files,
                        const fs::path& folder) {
  for (const auto& [name, data] : files) {
    if (!fs::exists(folder / name)) return name + " is missing";
    if (ReadFile((folder / name).string()) != data) return name + " differs";
  }
  return {};
}

struct Config {
  const char* label;
  const char* options;
  const char* password;
};

const Config kConfigs[] = {
    {"stored", "-m store", nullptr},
    {"deflate-normal", "-m deflate -l normal", nullptr},
    {"deflate-maximum", "-m deflate -l maximum -c 'a comment'", nullptr},
    {"deflate-fast", "-m deflate -l fast", nullptr},
    {"deflate-superfast", "-m deflate -l superfast -c 'x'", nullptr},
    {"best", "-m best", nullptr},
    {"best-password", "-m best -c 'locked'", "s3cret pass"},
    {"stored-password", "-m store", "pw"},
    {"deflate-password", "-m deflate -l maximum", "päss"},
};

class AddInteropTest : public ::testing::TestWithParam<Config> {};

TEST_P(AddInteropTest, OtherToolsTestAndExtractTheOriginalBytes) {
  const Config& c = GetParam();
  ScratchDir dir;
  const fs::path in = dir.path() / "in";
  const auto files = MakeTree(in);
  const std::string pw = c.password ? c.password : "";
  const std::string zip = (dir.path() / "a.zip").string();
  Result add = Shell(
      in, kVzip + " add " + zip + " . -r -p " + c.options + (c.password ? " -P '" + pw + "'" : ""));
  ASSERT_EQ(add.status, 0) << add.output;

  Result own = Shell(dir.path(), kVzip + " test a.zip" + (c.password ? " -P '" + pw + "'" : ""));
  EXPECT_EQ(own.status, 0) << own.output;
  fs::create_directory(dir.path() / "vz");
  Result vx =
      Shell(dir.path(), kVzip + " extract a.zip -d vz" + (c.password ? " -P '" + pw + "'" : ""));
  EXPECT_EQ(vx.status, 0) << vx.output;
  EXPECT_EQ(Differences(files, dir.path() / "vz"), "");

  if (Have("unzip")) {
    const std::string p = c.password ? " -P '" + pw + "'" : "";
    Result t = Shell(dir.path(), "unzip -t" + p + " a.zip");
    EXPECT_EQ(t.status, 0) << t.output;
    Result x = Shell(dir.path(), "unzip -q" + p + " -d unzip-out a.zip");
    EXPECT_EQ(x.status, 0) << x.output;
    EXPECT_EQ(Differences(files, dir.path() / "unzip-out"), "");
  }
  if (Have("7zz")) {
    const std::string p = c.password ? " '-p" + pw + "'" : "";
    Result t = Shell(dir.path(), "7zz t" + p + " a.zip");
    EXPECT_EQ(t.status, 0) << t.output;
    Result x = Shell(dir.path(), "7zz x -y" + p + " -o7z-out a.zip");
    EXPECT_EQ(x.status, 0) << x.output;
    EXPECT_EQ(Differences(files, dir.path() / "7z-out"), "");
  }
  if (Have("python3")) {
    if (!c.password) {
      Result t = Shell(dir.path(), "python3 -m zipfile -t a.zip");
      EXPECT_EQ(t.status, 0) << t.output;
      EXPECT_EQ(t.output.find("corrupt"), std::string::npos) << t.output;
    }
    Result x = Shell(dir.path(),
                     "python3 -c \"import sys, zipfile; "
                     "zipfile.ZipFile('a.zip').extractall('py-out', pwd=sys.argv[1]."
                     "encode() or None)\" '" +
                         pw + "'");
    EXPECT_EQ(x.status, 0) << x.output;
    EXPECT_EQ(Differences(files, dir.path() / "py-out"), "");
  }
  if (Have("bsdtar")) {
    Result t = Shell(dir.path(), "bsdtar -tf a.zip");
    EXPECT_EQ(t.status, 0) << t.output;
    fs::create_directory(dir.path() / "tar-out");
    const std::string p = c.password ? " --passphrase '" + pw + "'" : "";
    Result x = Shell(dir.path(), "bsdtar -xf a.zip" + p + " -C tar-out");
    EXPECT_EQ(x.status, 0) << x.output;
    EXPECT_EQ(Differences(files, dir.path() / "tar-out"), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Configs, AddInteropTest, ::testing::ValuesIn(kConfigs),
                         [](const auto& info) {
                           std::string name = info.param.label;
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

TEST(AddSpanTest, SpannedSetsReadBackAndJoinWithInfoZip) {
  ScratchDir dir;
  const fs::path in = dir.path() / "in";
  std::map<std::string, std::vector<uint8_t>> files;
  // Every item is smaller than a part: zip -s 0 cannot join items that span three parts, even in
  // sets it wrote itself (Info-ZIP 3.0).
  for (int i = 0; i < 12; ++i) {
    files["f" + std::to_string(i) + ".bin"] = testing::RandomBytes(20000 + 3000 * i, 40 + i);
    files["t" + std::to_string(i) + ".txt"] = Text(4000 * (i + 1), i + 2);
  }
  for (const auto& [name, data] : files) {
    fs::create_directories(in);
    WriteFile((in / name).string(), data);
  }
  Result add = Shell(in, kVzip + " add ../s.zip . -r -s 64k");
  ASSERT_EQ(add.status, 0) << add.output;
  EXPECT_TRUE(fs::exists(dir.path() / "s.z01"));
  EXPECT_TRUE(fs::exists(dir.path() / "s.z02"));
  EXPECT_EQ(fs::file_size(dir.path() / "s.z01"), 65536u);
  Result t = Shell(dir.path(), kVzip + " test s.zip");
  EXPECT_EQ(t.status, 0) << t.output;
  Result x = Shell(dir.path(), kVzip + " extract s.zip -d back");
  EXPECT_EQ(x.status, 0) << x.output;
  EXPECT_EQ(Differences(files, dir.path() / "back"), "");
  // A set is never updated.
  Result again = Shell(in, kVzip + " add ../s.zip f0.bin");
  EXPECT_EQ(again.status, 2) << again.output;
  EXPECT_NE(again.output.find("Cannot update an existing spanned disk set"), std::string::npos);

  if (!Have("zip") || !Have("unzip")) GTEST_SKIP() << "Info-ZIP zip/unzip not installed";
  Result join = Shell(dir.path(), "zip -s 0 s.zip --out joined.zip");
  ASSERT_EQ(join.status, 0) << join.output;
  Result ut = Shell(dir.path(), "unzip -t joined.zip");
  EXPECT_EQ(ut.status, 0) << ut.output;
  Result ux = Shell(dir.path(), "unzip -q -d joined-out joined.zip");
  EXPECT_EQ(ux.status, 0) << ux.output;
  EXPECT_EQ(Differences(files, dir.path() / "joined-out"), "");
}

// The stored bytes of every item, by name, found through the central directory.
std::map<std::string, std::vector<uint8_t>> RawItems(const std::vector<uint8_t>& zip) {
  auto le16 = [&](size_t at) { return static_cast<size_t>(zip.at(at) | (zip.at(at + 1) << 8)); };
  auto le32 = [&](size_t at) { return le16(at) | (le16(at + 2) << 16); };
  size_t end = zip.size() - 22;
  while (end > 0 && le32(end) != 0x06054B50u) --end;
  std::map<std::string, std::vector<uint8_t>> out;
  size_t p = le32(end + 16);
  for (size_t i = 0, n = le16(end + 10); i < n; ++i) {
    const size_t name_length = le16(p + 28);
    const std::string name(zip.begin() + static_cast<long>(p) + 46,
                           zip.begin() + static_cast<long>(p + 46 + name_length));
    const size_t local = le32(p + 42);
    const size_t data = local + 30 + le16(local + 26) + le16(local + 28);
    out[name].assign(zip.begin() + static_cast<long>(data),
                     zip.begin() + static_cast<long>(data + le32(p + 20)));
    p += 46 + name_length + le16(p + 30) + le16(p + 32);
  }
  return out;
}

TEST(AddUpdateTest, AddingToAnInfoZipArchiveKeepsItsItemsBytes) {
  if (!Have("zip") || !Have("unzip")) GTEST_SKIP() << "Info-ZIP zip/unzip not installed";
  ScratchDir dir;
  const fs::path in = dir.path() / "in";
  const auto files = MakeTree(in);
  ASSERT_EQ(Shell(in, "zip -q -r -9 ../orig.zip . -z < /dev/null").status, 0);
  const auto before = RawItems(ReadFile((dir.path() / "orig.zip").string()));
  WriteFile((dir.path() / "added.txt").string(), Text(5000, 3));
  Result add = Shell(dir.path(), kVzip + " add orig.zip added.txt");
  ASSERT_EQ(add.status, 0) << add.output;
  const auto after = RawItems(ReadFile((dir.path() / "orig.zip").string()));
  EXPECT_EQ(after.size(), before.size() + 1);
  for (const auto& [name, bytes] : before) {
    ASSERT_TRUE(after.contains(name)) << name;
    EXPECT_EQ(after.at(name), bytes) << name;
  }
  Result t = Shell(dir.path(), "unzip -t orig.zip");
  EXPECT_EQ(t.status, 0) << t.output;
  Result x = Shell(dir.path(), "unzip -q -d out orig.zip");
  EXPECT_EQ(x.status, 0) << x.output;
  EXPECT_EQ(Differences(files, dir.path() / "out"), "");

  // Freshening an item Info-ZIP made on Unix keeps it extractable with its permissions.
  auto changed = files;
  changed["readme.txt"] = Text(100, 5);
  WriteFile((in / "readme.txt").string(), changed["readme.txt"]);
  fs::permissions(in / "readme.txt", fs::perms(0640));
  ASSERT_EQ(Shell(in, kVzip + " add ../orig.zip readme.txt").status, 0);
  Result fresh = Shell(dir.path(), "unzip -q -d fresh orig.zip");
  EXPECT_EQ(fresh.status, 0) << fresh.output;
  EXPECT_EQ(Differences(changed, dir.path() / "fresh"), "");
  EXPECT_EQ(fs::status(dir.path() / "fresh/readme.txt").permissions(), fs::perms(0640));
}

TEST(AddCommandTest, NamesFreshensFailuresAndUsage) {
  ScratchDir dir;
  const fs::path in = dir.path() / "in";
  MakeTree(in);
  // Paths are stored as given ("./" dropped); -j stores file names alone.
  Result add = Shell(in, kVzip + " add ../n.zip readme.txt sub/deeper/x.cfg ./data/noise.bin");
  ASSERT_EQ(add.status, 0) << add.output;
  Result list = Shell(dir.path(), kVzip + " list n.zip");
  EXPECT_NE(list.output.find(" readme.txt\n"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find(" sub/deeper/x.cfg\n"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find(" data/noise.bin\n"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("3 items"), std::string::npos) << list.output;
  ASSERT_EQ(Shell(in, kVzip + " add ../j.zip -j sub/deeper/x.cfg").status, 0);
  EXPECT_NE(Shell(dir.path(), kVzip + " list j.zip").output.find(" x.cfg\n"), std::string::npos);

  // The same file again leaves the archive alone; a changed one is freshened.
  const auto first = ReadFile((dir.path() / "n.zip").string());
  EXPECT_EQ(Shell(in, kVzip + " add ../n.zip readme.txt").status, 0);
  EXPECT_EQ(ReadFile((dir.path() / "n.zip").string()), first);
  WriteFile((in / "readme.txt").string(), "changed");
  EXPECT_EQ(Shell(in, kVzip + " add ../n.zip readme.txt").status, 0);
  list = Shell(dir.path(), kVzip + " list n.zip");
  EXPECT_NE(list.output.find("       7  "), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("3 items"), std::string::npos) << list.output;

  // A missing file and a folder without -r are reported; the rest is added; status 1.
  Result partial = Shell(in, kVzip + " add ../p.zip nothing.txt data readme.txt");
  EXPECT_EQ(partial.status, 1);
  EXPECT_NE(partial.output.find("vzip: nothing.txt: File not found"), std::string::npos)
      << partial.output;
  EXPECT_NE(partial.output.find("vzip: data: is a folder"), std::string::npos) << partial.output;
  EXPECT_NE(Shell(dir.path(), kVzip + " list p.zip").output.find("1 item"), std::string::npos);

  // Usage errors and archives that cannot be opened: status 2.
  EXPECT_EQ(Shell(in, kVzip + " add").status, 2);
  EXPECT_EQ(Shell(in, kVzip + " add ../q.zip").status, 2);
  EXPECT_EQ(Shell(in, kVzip + " add ../q.zip readme.txt -m fastest").status, 2);
  EXPECT_EQ(Shell(in, kVzip + " add ../q.zip readme.txt -s 100").status, 2);
  EXPECT_FALSE(fs::exists(dir.path() / "q.zip"));
  WriteFile((dir.path() / "junk.zip").string(), std::string(100, 'j'));
  Result junk = Shell(in, kVzip + " add ../junk.zip readme.txt");
  EXPECT_EQ(junk.status, 2);
  EXPECT_NE(junk.output.find("Unhandled Archive Type"), std::string::npos) << junk.output;

  Result help = Shell(in, kVzip + " add --help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"-r", "-j", "-L", "-p", "-m", "-l", "-c", "-P", "-s", "store",
                             "deflate", "best", "normal", "maximum", "fast", "superfast"}) {
    EXPECT_NE(help.output.find(option), std::string::npos) << option;
  }
}

// The thread count is the machine's business: any count makes the same archive as one thread,
// for a new archive and for one updated with a changed file.
TEST(AddParallelTest, ThreadCountsMakeTheSameArchive) {
  ScratchDir dir;
  for (const std::string threads : {"1", "4"}) {
    // The same tree at the same times, then one file changed, for each count.
    const fs::path in = dir.path() / ("in" + threads);
    MakeTree(in);
    ASSERT_EQ(Shell(in, "find . -exec touch -h -d 2024-01-01T12:00:00 {} +").status, 0);
    const std::string zip = "../" + threads + ".zip";
    ASSERT_EQ(Shell(in, kVzip + " -j " + threads + " add " + zip + " . -r").status, 0);
    WriteFile((in / "readme.txt").string(), Text(40000, 9));
    ASSERT_EQ(Shell(in, "touch -d 2025-01-01T12:00:00 readme.txt").status, 0);
    ASSERT_EQ(Shell(in, kVzip + " -j " + threads + " add " + zip + " . -r -l maximum").status, 0);
  }
  const auto one = ReadFile((dir.path() / "1.zip").string());
  EXPECT_FALSE(one.empty());
  EXPECT_TRUE(one == ReadFile((dir.path() / "4.zip").string()));
}

}  // namespace
}  // namespace vz
