// File services over a real scratch folder: derived attributes, copies, listings, work files and
// free space.
#include "platform/fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "test_support.h"

namespace vz::platform {
namespace {

using vz::testing::ScopedEnv;
using vz::testing::ScratchDir;
using vz::testing::WriteFile;

uint32_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(FsTest, AttributesAreDerivedFromTypeModeAndName) {
  ScratchDir dir;
  WriteFile(dir / "plain.txt", "x");
  WriteFile(dir / ".hidden", "x");
  WriteFile(dir / "locked.txt", "x");
  ::chmod((dir / "locked.txt").c_str(), 0444);
  MakeFolder(dir / "sub");
  MakeFolder(dir / ".cache");

  struct Case {
    const char* name;
    uint32_t attributes;
  } cases[] = {
      {"plain.txt", kFaArchive},
      {".hidden", kFaArchive | kFaHidden},
      {"locked.txt", kFaArchive | kFaReadOnly},
      {"sub", kFaDirectory},
      {".cache", kFaDirectory | kFaHidden},
      {"sub/", kFaDirectory},
  };
  for (const auto& c : cases) {
    const auto attributes = DosAttributesOf(dir / c.name);
    ASSERT_TRUE(attributes.has_value()) << c.name;
    EXPECT_EQ(*attributes, c.attributes) << c.name;
  }
  EXPECT_FALSE(DosAttributesOf(dir / "missing").has_value());
  // The folder "." is not a hidden one.
  EXPECT_EQ(DosAttributesOf(dir / "sub/."), kFaDirectory);
}

TEST(FsTest, ReadOnlyBitRemovesEveryWritePermissionAndClearingGivesOwnerWriteBack) {
  VZ_SKIP_ON_WINDOWS("POSIX permissions");
  ScratchDir dir;
  const std::string path = dir / "f.txt";
  WriteFile(path, "x");
  ::chmod(path.c_str(), 0666);
  ASSERT_EQ(SetDosAttributes(path, kFaReadOnly | kFaArchive), 0);
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_EQ(DosAttributesOf(path), kFaReadOnly | kFaArchive);
  ASSERT_EQ(SetDosAttributes(path, kFaArchive), 0);
  EXPECT_EQ(ModeOf(path), 0644u);
  EXPECT_EQ(SetDosAttributes(dir / "missing", 0), ENOENT);
}

TEST(FsTest, PermissionsNeverSetIdOrStickyBits) {
  VZ_SKIP_ON_WINDOWS("POSIX permissions");
  ScratchDir dir;
  const std::string path = dir / "f";
  WriteFile(path, "x");
  ASSERT_EQ(SetPermissions(path, 07755), 0);
  EXPECT_EQ(ModeOf(path), 0755u);
}

TEST(FsTest, CopyRenameDeleteAndFolders) {
  ScratchDir dir;
  const auto data = vz::testing::RandomBytes(200'000);
  WriteFile(dir / "a", data);
  ASSERT_EQ(CopyFile(dir / "a", dir / "b", true), 0);
  EXPECT_EQ(vz::testing::ReadFile(dir / "b"), data);
  EXPECT_EQ(CopyFile(dir / "a", dir / "b", true), EEXIST);
  WriteFile(dir / "c", "old contents that are longer");
  ASSERT_EQ(CopyFile(dir / "a", dir / "c", false), 0);
  EXPECT_EQ(vz::testing::ReadFile(dir / "c"), data);
  EXPECT_EQ(CopyFile(dir / "missing", dir / "d", false), ENOENT);
  EXPECT_FALSE(PathExists(dir / "d"));

  ASSERT_EQ(RenameFile(dir / "b", dir / "e"), 0);
  EXPECT_FALSE(PathExists(dir / "b"));
  EXPECT_TRUE(IsRegularFile(dir / "e"));
  ASSERT_EQ(DeleteFile(dir / "e"), 0);
  EXPECT_EQ(DeleteFile(dir / "e"), ENOENT);

  ASSERT_EQ(MakeFolder(dir / "f"), 0);
  EXPECT_EQ(MakeFolder(dir / "f"), EEXIST);
  EXPECT_TRUE(IsDirectory(dir / "f"));
  EXPECT_FALSE(IsRegularFile(dir / "f"));
  EXPECT_EQ(MakeFolder(dir / "a/under-a-file"), testing::kOnWindows ? ENOENT : ENOTDIR);
  ASSERT_EQ(RemoveFolder(dir / "f"), 0);
  EXPECT_FALSE(PathExists(dir / "f"));
}

TEST(FsTest, StatReportsSizeAndModificationTime) {
  ScratchDir dir;
  WriteFile(dir / "f", std::string(1234, 'x'));
  ASSERT_EQ(SetModificationTime(dir / "f", 1'000'000'000), 0);
  const auto status = StatPath(dir / "f");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->size, 1234);
  EXPECT_EQ(status->mtime, 1'000'000'000);
  EXPECT_TRUE(status->is_regular);
  EXPECT_EQ(SetModificationTime(dir / "missing", 0), ENOENT);
  EXPECT_FALSE(StatPath("").has_value());
}

TEST(FsTest, ListingIsSortedWithoutDotEntriesAndMarksLinks) {
  ScratchDir dir;
  WriteFile(dir / "b.txt", "x");
  WriteFile(dir / "A.txt", "x");
  WriteFile(dir / ".h", "x");
  MakeFolder(dir / "c");
  VZ_SKIP_ON_WINDOWS("symbolic links");
  ASSERT_TRUE(testing::portable::MakeSymlink(dir / "c", dir / "link"));
  ASSERT_TRUE(testing::portable::MakeSymlink(dir / "nowhere", dir / "dangling"));

  const auto entries = ListFolder(dir.path().string());
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".h", "A.txt", "b.txt", "c", "dangling", "link"}));
  EXPECT_EQ(entries[0].attributes, kFaArchive | kFaHidden);
  EXPECT_EQ(entries[3].attributes, kFaDirectory);
  EXPECT_FALSE(entries[3].is_link);
  EXPECT_TRUE(entries[4].is_link);
  EXPECT_EQ(entries[5].attributes, kFaDirectory);
  EXPECT_TRUE(entries[5].is_link);
  EXPECT_TRUE(ListFolder(dir / "missing").empty());
}

TEST(FsTest, TempFolderFollowsTmpdirOnEveryCall) {
  VZ_SKIP_ON_WINDOWS("TMPDIR and /tmp");
  ScratchDir dir;
  {
    ScopedEnv env("TMPDIR", dir.path().string());
    EXPECT_EQ(TempFolder(), dir.path().string());
  }
  {
    ScopedEnv env("TMPDIR", "");
    EXPECT_EQ(TempFolder(), "/tmp");
  }
}

TEST(FsTest, UniqueFilesAreNewEmptyAndPrivate) {
  VZ_SKIP_ON_WINDOWS("POSIX permissions");
  ScratchDir dir;
  const auto a = CreateUniqueFile(dir.path().string(), "VMS");
  const auto b = CreateUniqueFile(dir.path().string() + "/", "VMS");
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(a->rfind(dir / "VMS", 0), 0u) << *a;
  EXPECT_EQ(StatPath(*a)->size, 0);
  EXPECT_EQ(ModeOf(*a), 0600u);

  // A "folder" that is a regular file cannot hold one, not even for root.
  WriteFile(dir / "file", "x");
  int error = 0;
  std::string attempted;
  EXPECT_FALSE(CreateUniqueFile(dir / "file", "VMS", &error, &attempted).has_value());
  EXPECT_EQ(error, ENOTDIR);
  EXPECT_EQ(attempted, dir / "file/VMSXXXXXX");
}

TEST(FsTest, FreeBytesMeasuresTheNearestExistingFolder) {
  ScratchDir dir;
  EXPECT_GT(FreeBytes(dir.path().string()), 0);
  EXPECT_EQ(FreeBytes(dir / "not/yet/there.zip"), FreeBytes(dir.path().string()));
  EXPECT_EQ(FreeBytes("no-such-relative-name"), -1);
  EXPECT_EQ(FreeBytes(""), -1);
}

TEST(FsTest, CurrentFolderIsAbsolute) {
  VZ_SKIP_ON_WINDOWS("POSIX paths");
  const std::string here = CurrentFolder();
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(here[0], '/');
}

}  // namespace
}  // namespace vz::platform
