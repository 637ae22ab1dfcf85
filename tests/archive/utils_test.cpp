// Path splitting and masks in both path forms (the Windows examples the engine was specified with,
// and their POSIX counterparts), file searches over a real folder tree, work-file names, times.
#include "archive/utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "platform/runtime_errors.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::ScopedEnv;
using testing::ScratchDir;
using testing::WriteFile;
constexpr PathStyle kWin = PathStyle::kWindows;
constexpr PathStyle kPosix = PathStyle::kPosix;

TEST(PathTest, KindOfPath) {
  struct Case {
    const char* path;
    PathStyle style;
    PathKind kind;
  } cases[] = {
      {"a.txt", kWin, pkBare},
      {"sub/a.txt", kWin, pkRelative},
      {"sub\\a.txt", kWin, pkRelative},
      {"C:a.txt", kWin, pkAbsolute},
      {"\\\\srv\\sh\\a.txt", kWin, pkAbsolute},
      {"\\a.txt", kWin, pkRelative},
      {"a.txt", kPosix, pkBare},
      {"sub/a.txt", kPosix, pkRelative},
      {"/a.txt", kPosix, pkAbsolute},
      {"sub\\a.txt", kPosix, pkBare},
      {"C:a.txt", kPosix, pkBare},
      {"", kPosix, pkBare},
  };
  for (const auto& c : cases) EXPECT_EQ(PathKindOf(c.path, c.style), c.kind) << c.path;
  EXPECT_EQ(PathKindOf(testing::kOnWindows ? "C:\\x" : "/x"), pkAbsolute);  // the native form
}

TEST(PathTest, AppendSeparatorAndFindNthSeparator) {
  struct Case {
    const char* path;
    PathStyle style;
    const char* expected;
  } cases[] = {
      {"C:", kWin, "C:"},    {"C:\\x", kWin, "C:\\x\\"},
      {"", kWin, ""},        {"C:\\x\\", kWin, "C:\\x\\"},
      {"/x", kPosix, "/x/"}, {"/", kPosix, "/"},
      {"", kPosix, ""},      {"a", kPosix, "a/"},
      {"a:", kPosix, "a:/"},
  };
  for (const auto& c : cases) EXPECT_EQ(AppendBackslash(c.path, c.style), c.expected) << c.path;

  EXPECT_EQ(NthBackslash("\\\\srv\\share\\dir\\", 4, kWin), 11u);
  EXPECT_EQ(NthBackslash("\\\\srv\\share\\dir\\", 1, kWin), 0u);
  EXPECT_EQ(NthBackslash("a\\b", 3, kWin), 3u);
  EXPECT_EQ(NthBackslash("/a/b", 2, kPosix), 2u);
  EXPECT_EQ(NthBackslash("/a\\b", 2, kPosix), 4u);
}

TEST(PathTest, SplitFileSpec) {
  struct Case {
    const char* spec;
    PathStyle style;
    const char* drive;
    const char* folder;
    const char* file;
  } cases[] = {
      {"\\\\srv\\share\\dir\\f.txt", kWin, "\\\\srv\\share", "dir\\", "f.txt"},
      {"C:\\dir\\f.txt", kWin, "C:", "dir\\", "f.txt"},
      {"f.txt", kWin, "", "", "f.txt"},
      {"C:/dir/f.txt", kWin, "C:", "dir\\", "f.txt"},
      {"C:f.txt", kWin, "C:", "", "f.txt"},
      {"\\dir\\f.txt", kWin, "", "\\dir\\", "f.txt"},
      {"dir\\sub\\", kWin, "", "dir\\sub\\", ""},
      {"\\\\srv\\share\\f.txt", kWin, "\\\\srv\\share", "", "f.txt"},
      {"/dir/f.txt", kPosix, "/", "dir/", "f.txt"},
      {"/f.txt", kPosix, "/", "", "f.txt"},
      {"f.txt", kPosix, "", "", "f.txt"},
      {"dir/sub/f.txt", kPosix, "", "dir/sub/", "f.txt"},
      {"a\\b.txt", kPosix, "", "", "a\\b.txt"},
      {"C:/x", kPosix, "", "C:/", "x"},
  };
  for (const auto& c : cases) {
    const FileSpecParts parts = SplitFileSpec(c.spec, c.style);
    EXPECT_EQ(parts.drive, c.drive) << c.spec;
    EXPECT_EQ(parts.folder, c.folder) << c.spec;
    EXPECT_EQ(parts.file_name, c.file) << c.spec;
  }
}

TEST(PathTest, FoldersDrivesAndDots) {
  std::vector<std::string> list = {"kept"};
  SplitFolders("a\\b\\c\\", list, kWin);
  SplitFolders("", list, kWin);
  SplitFolders("d/e", list, kPosix);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "a", "b", "c", "d", "e"}));

  struct Case {
    const char* path;
    PathStyle style;
    const char* without_drive;
  } cases[] = {
      {"C:\\Addons\\Scenery\\a.bgl", kWin, "Addons\\Scenery\\a.bgl"},
      {"\\\\srv\\sh\\x\\y", kWin, "x\\y"},
      {"a\\b", kWin, "a\\b"},
      {"/home/u/a.txt", kPosix, "home/u/a.txt"},
      {"rel/a.txt", kPosix, "rel/a.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutDrive(c.path, c.style), c.without_drive) << c.path;

  EXPECT_EQ(WithoutLeadingDots("..\\..\\a\\..\\b", kWin), "a\\..\\b");
  EXPECT_EQ(WithoutLeadingDots("../../a", kPosix), "a");
  EXPECT_EQ(WithoutLeadingDots("..a/b", kPosix), "..a/b");
  EXPECT_EQ(WithoutLeadingDots("..\\a", kPosix), "..\\a");
  EXPECT_EQ(ToBackslashes("a/b\\c/"), "a\\b\\c\\");
  EXPECT_EQ(ToSlashes("a/b\\c\\"), "a/b/c/");
  EXPECT_EQ(ShortPathOf("/some/Long Name.txt"), "/some/Long Name.txt");
  EXPECT_EQ(DriveLetterOf("C:\\x", kWin), 'C');
  EXPECT_EQ(DriveLetterOf("\\\\srv\\x", kWin), 'A');
  EXPECT_EQ(DriveLetterOf("/x:y", kPosix), 'A');
}

TEST(MaskTest, MatchPattern) {
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  } cases[] = {
      {"AB", "*A*B", true},
      {"ABC", "A?C", true},
      {"AC", "A?C", false},
      {"README.TXT", "*.TXT", true},
      {"README.TXT.BAK", "*.TXT", false},
      {"README", "*", true},
      {"README", "*.*", true},
      {"README", "*.?*", false},
      {"", "?", false},
      {"", "*", false},
      {"", "", true},
      {"A", "", false},
      {"A", "A*", true},
      {"A", "A**", true},
      {"ABCABD", "*AB?", true},
      {"ABCABX", "*AB?D", false},
      {"ab", "AB", false},  // exact: callers upper-case
      {"X.TXT", "*.HTM", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchPattern(c.text, c.pattern), c.match) << c.text << " vs " << c.pattern;
  }
  EXPECT_TRUE(MatchPattern("XABC", 1, "ABC", 0));
  EXPECT_TRUE(MatchPattern("ABC", 0, "XABC", 1));
  EXPECT_FALSE(MatchPattern("ABC", 0, "X*.*", 1));  // the "*.*" shortcut applies only at the start
  EXPECT_TRUE(MatchPattern("ABC", 3, "", 0));
}

TEST(MaskTest, ManyStarsStayFast) {
  // Trying every split recursively takes exponential time here; an archive name is untrusted.
  const std::string text(20000, 'A');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MatchPattern(text, "*A*A*A*A*A*A*A*A*A*A*B"));
  EXPECT_TRUE(MatchPattern(text + "B", "*A*A*A*A*A*A*A*A*A*A*B"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(ResolveDotsTest, DotsAndEmptyPartsGoAndDotDotTakesAFolderAway) {
  const struct {
    const char* name;
    const char* resolved;
    bool climbs;
  } cases[] = {
      {"a/b/../b/f.txt", "a/b/f.txt", false},
      {"a//b/./f.txt", "a/b/f.txt", false},
      {"./a/", "a/", false},
      {"a/..", "", false},
      {"a/../../f", "f", true},
      {"../f", "f", true},
      {"f", "f", false},
      {"a/b/../../..", "", true},
  };
  for (const auto& c : cases) {
    bool climbs = false;
    EXPECT_EQ(ResolveDots(c.name, climbs), c.resolved) << c.name;
    EXPECT_EQ(climbs, c.climbs) << c.name;
    EXPECT_EQ(HasDotDotPart(c.name), std::string(c.name).find("..") != std::string::npos) << c.name;
  }
}

TEST(MaskTest, MatchFileMaskComparesLettersAsFileNamesDo) {
  constexpr bool kFold = platform::kFileNamesIgnoreCase;
  struct Case {
    const char* name;
    const char* mask;
    PathStyle style;
    bool match;
  } cases[] = {
      {"DOCS\\A.TXT", "docs\\*.txt", kWin, kFold},
      {"docs\\a.txt", "docs\\*.txt", kWin, true},
      {"docs\\sub\\a.txt", "docs\\*.txt", kWin, false},
      {"docs\\a.txt", "*.txt", kWin, true},
      {"a.txt", "docs\\*.txt", kWin, false},
      {"docs\\x", "d?cs\\*", kWin, true},
      {"docs\\a.txt", "other\\*.txt", kWin, false},
      {"C:a.txt", "c:*.TXT", kWin, kFold},
      {"C:a.txt", "C:*.txt", kWin, true},
      {"DOCS/A.TXT", "docs/*.txt", kPosix, kFold},
      {"docs/a.txt", "*.TXT", kPosix, kFold},
      {"a.txt", "docs/*.txt", kPosix, false},
      {"docs\\a.txt", "docs\\*.txt", kPosix, true},  // one name with a backslash in it
      {"\xC4.TXT", "\xE4.txt", kPosix, false},       // only ASCII letters fold
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchFileMask(c.name, c.mask, c.style), c.match) << c.name << " vs " << c.mask;
  }
}

TEST(UtilsTest, SpanPartNames) {
  struct Case {
    const char* name;
    int number;
    PathStyle style;
    const char* expected;
  } cases[] = {
      {"set.zip", 0, kPosix, "set.z01"},
      {"set.zip", 1, kPosix, "set.z02"},
      {"/d/set.zip", 9, kPosix, "/d/set.z10"},
      {"archive", 4, kPosix, "archive.05"},
      {"archive", 99, kPosix, "archive.00"},
      {"dir.v2/set", 0, kPosix, "dir.v2/set.01"},
      {"set.zipx", 0, kPosix, "set.zipx.01"},
      {"set.", 0, kPosix, "set.01"},
      {"C:\\dir.x\\set", 0, kWin, "C:\\dir.x\\set.01"},
      {"C:\\dir\\set.zip", 2, kWin, "C:\\dir\\set.z03"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpanPartName(c.name, c.number, c.style), c.expected) << c.name << " " << c.number;
  }
}

TEST(UtilsTest, DrivesOnThisSystem) {
  ScratchDir dir;
  EXPECT_EQ(FreeSpaceOf("relative/path.zip"), -1);
  EXPECT_EQ(FreeSpaceOf("bare.zip"), -1);
  const int64_t free_space = FreeSpaceOf(dir / "new.zip");
  EXPECT_GT(free_space, 0);
  EXPECT_LE(free_space, 0x7FFFFFFF);
  EXPECT_FALSE(IsRemovableDrive(dir / "new.zip"));
  EXPECT_EQ(SetVolumeName("PKBACK# 001", 'A'), 0);
}

TEST(FolderTest, FolderExistsAndForceFolders) {
  ScratchDir dir;
  WriteFile(dir / "file", "x");
  EXPECT_TRUE(FolderExists(dir.path().string()));
  EXPECT_FALSE(FolderExists(dir / "file"));
  EXPECT_FALSE(FolderExists(dir / "missing"));
  EXPECT_FALSE(FolderExists(dir / "*"));
  EXPECT_FALSE(FolderExists(""));

  ForceFolders(dir / "a/b/c");
  EXPECT_TRUE(FolderExists(dir / "a"));
  EXPECT_TRUE(FolderExists(dir / "a/b/c"));
  ForceFolders(dir / "a/b/c");  // already there: nothing happens
  ForceFolders(dir / "a//d/");
  EXPECT_TRUE(FolderExists(dir / "a/d"));

  try {
    ForceFolders(dir / "file/sub");
    FAIL() << "expected InOutError";
  } catch (const InOutError& e) {
    EXPECT_EQ(e.OsCode(), EEXIST) << e.what();
  }
  try {
    ForceFolders(dir / "file");
    FAIL() << "expected InOutError";
  } catch (const InOutError& e) {
    EXPECT_EQ(e.OsCode(), EEXIST) << e.what();
  }
}

// A folder tree with hidden files, hidden folders and a link back to the top.
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path().string() + "/";
    for (const char* name : {"a.txt", "b.TXT", "c.dat", ".hidden.txt", "readme", "sub/x.txt",
                             "sub/.h.txt", "sub/deeper/y.txt", ".hid/z.txt", "x.html"}) {
      ForceFolders(SplitFileSpec(root_ + name).drive + SplitFileSpec(root_ + name).folder);
      WriteFile(root_ + name, "x");
    }
    testing::portable::MakeSymlink(dir_.path(), root_ + "sub/loop");
  }
  std::vector<std::string> Find(const std::string& mask, uint32_t attr, bool recurse) {
    std::vector<std::string> list;
    FindMatchingFiles(mask, attr, list, recurse);
    return list;
  }
  std::vector<std::string> Rooted(std::vector<std::string> names) {
    for (auto& n : names) n = root_ + testing::portable::Native(n);
    return names;
  }

  ScratchDir dir_;
  std::string root_;
};

TEST_F(SearchTest, FolderWithoutRecursion) {
  EXPECT_EQ(Find(root_ + "*.txt", kFaArchive, false), Rooted({"a.txt", "b.TXT"}));
  EXPECT_EQ(Find(root_ + "*.txt", kFaArchive | kFaHidden, false),
            Rooted({".hidden.txt", "a.txt", "b.TXT"}));
  EXPECT_EQ(Find(root_ + "*.*", 0, false), Rooted({"a.txt", "b.TXT", "c.dat", "readme", "x.html"}));
  EXPECT_EQ(Find(root_ + "*.htm", 0, false), Rooted({}));
  EXPECT_EQ(Find(root_ + "?.dat", 0, false), Rooted({"c.dat"}));
  EXPECT_EQ(Find(root_ + "s*", kFaDirectory, false), Rooted({"sub"}));
  EXPECT_EQ(Find(root_ + "s*", 0, false), Rooted({}));
  EXPECT_EQ(Find(root_ + "missing/*.txt", kFaAnyFile, true), Rooted({}));
}

TEST_F(SearchTest, PlainNamesFindTheFileAsSpelledOrAnyCase) {
  EXPECT_EQ(Find(root_ + "c.dat", 0, false), Rooted({"c.dat"}));
  // No exact spelling: any case. (A file system blind to case finds it as spelled.)
  if (!testing::kOnWindows) {
    EXPECT_EQ(Find(root_ + "C.DAT", 0, false), Rooted({"c.dat"}));
  }
  EXPECT_EQ(Find(root_ + ".hidden.txt", 0, false), Rooted({}));
  EXPECT_EQ(Find(root_ + ".hidden.txt", kFaHidden, false), Rooted({".hidden.txt"}));
  EXPECT_EQ(Find(root_ + "sub", 0, false), Rooted({}));
  EXPECT_EQ(Find(root_ + "sub", kFaDirectory, false), Rooted({"sub"}));
  EXPECT_EQ(Find(root_ + ".", kFaDirectory, false), Rooted({}));
  EXPECT_EQ(Find(root_ + "nothing.txt", kFaAnyFile, false), Rooted({}));
}

TEST_F(SearchTest, RecursionVisitsSubfoldersAfterTheFolderAndSkipsLinks) {
  EXPECT_EQ(Find(root_ + "*.txt", 0, true),
            Rooted({"a.txt", "b.TXT", "sub/x.txt", "sub/deeper/y.txt"}));
  EXPECT_EQ(Find(root_ + "*.txt", kFaHidden, true),
            Rooted({".hidden.txt", "a.txt", "b.TXT", ".hid/z.txt", "sub/.h.txt", "sub/x.txt",
                    "sub/deeper/y.txt"}));
}

TEST_F(SearchTest, RelativeMasksGiveRelativeNames) {
  const std::string previous = platform::CurrentFolder();
  ASSERT_EQ(::chdir(root_.c_str()), 0);
  std::vector<std::string> list;
  FindMatchingFiles("sub/*.txt", 0, list, true);
  FindMatchingFiles("*.dat", 0, list, false);
  FindMatchingFilesList(" *.dat ;; sub/deeper/*.txt\t", 0, list, false);
  ASSERT_EQ(::chdir(previous.c_str()), 0);
  // The names keep the masks' own separators; the folders found below them get native ones.
  EXPECT_EQ(list, (std::vector<std::string>{"sub/x.txt",
                                            "sub/deeper" + testing::portable::Native("/y.txt"),
                                            "c.dat", "c.dat", "sub/deeper/y.txt"}));
}

TEST(WorkFileTest, TempFileNames) {
  ScratchDir dir;
  ScratchDir tmp;
  ScopedEnv env("TMPDIR", tmp.path().string());

  const std::string in_folder = TempFileName(dir.path().string(), true);
  EXPECT_EQ(in_folder.rfind(dir / "VMS", 0), 0u) << in_folder;
  EXPECT_TRUE(platform::IsRegularFile(in_folder));
  EXPECT_NE(TempFileName(dir.path().string(), true), in_folder);

  const std::string fallback = TempFileName(dir / "missing", true);
  EXPECT_EQ(fallback.rfind(tmp / "VMS", 0), 0u) << fallback;

  EXPECT_EQ(TempFileName(dir.path().string(), false), dir / "VMS1.TMP");
  EXPECT_FALSE(platform::PathExists(dir / "VMS1.TMP"));
  EXPECT_EQ(TempFileName("", false), tmp / "VMS1.TMP");

  WriteFile(dir / "file", "x");
  ScopedEnv broken("TMPDIR", dir / "file");
  EXPECT_THROW(TempFileName("", true), InOutError);
}

TEST(FileTimeTest, DosTimeRoundTripsThroughTheFile) {
  ScratchDir dir;
  const std::string path = dir / "f.txt";
  WriteFile(path, "12345");
  for (const uint32_t dos : {0x5C9B6A4Du, 0x00210000u, 0x58E67BBDu}) {
    ASSERT_EQ(SetFileDosTime(path, dos), 0);
    EXPECT_EQ(FileDosTime(path), dos);
  }
  EXPECT_EQ(SetFileDosTime(path, 0x5C800000u), EINVAL);  // month 0
  EXPECT_EQ(SetFileDosTime(dir / "missing", 0x5C9B6A4Du), ENOENT);
  EXPECT_EQ(FileDosTime(dir / "missing"), 0u);
  EXPECT_EQ(FileSizeOf(path), 5);
  EXPECT_EQ(FileSizeOf(dir / "missing"), -1);
  EXPECT_EQ(FileSizeOf(dir.path().string()), 0);
}

}  // namespace
}  // namespace vz
