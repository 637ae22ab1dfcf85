#include "archive/extract_target.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/utils.h"
#include "errors/errors.h"
#include "platform/fs.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::portable::Native;

// What an archive's item comes to: a file to write (its path below the destination), no file (a
// folder entry, made or not), or a refusal with the message code the item is reported with.
TEST(ResolveItemTargetTest, EachKindOfItemLandsWhereItsNameSays) {
  const ExtractOptions keep = eoCreateDirs | eoRestorePath;
  struct Case {
    const char* name;
    bool is_folder;
    bool holds_data;
    ExtractOptions options;
    const char* file;    // below the destination; null: no file is written
    const char* folder;  // a folder that exists afterwards, or null
    int32_t error = 0;   // the refusal's message code
  };
  const Case cases[] = {
      {"a/b.txt", false, true, keep, "/a/b.txt", "a"},
      {"a/b.txt", false, true, eoCreateDirs, "/b.txt", nullptr},
      {"a\\b\\c.txt", false, true, keep, "/a/b/c.txt", "a/b"},
      {"d/e/", false, false, keep, nullptr, "d/e"},
      {"d\\f\\", false, false, keep, nullptr, "d/f"},
      {"g", true, false, keep, nullptr, "g"},
      {"h/", false, false, eoCreateDirs, nullptr, nullptr},  // paths dropped: nothing to make
      {"/", false, false, eoCreateDirs, nullptr, nullptr},   // no name, no data, no paths: nothing
      {"/", false, false, keep, nullptr, nullptr, UnsafeNameError::kCode},
      {"//", false, true, keep, nullptr, nullptr, UnsafeNameError::kCode},
      {"../x/", false, false, keep, nullptr, nullptr, UnsafeNameError::kCode},
      {"x/../../y", false, true, keep, nullptr, nullptr, UnsafeNameError::kCode},
      {"a", false, true, keep, nullptr, nullptr, -1},  // the folder "a" is in the way
  };
  testing::ScratchDir dir;
  const std::string base = dir.path().string();
  FolderCache folders;
  for (const Case& c : cases) {
    ExtractTarget target;
    try {
      const bool file = ResolveItemTarget(base, c.name, c.is_folder, c.holds_data, c.options,
                                          nullptr, target, &folders);
      EXPECT_EQ(c.error, 0) << c.name << " was accepted";
      EXPECT_EQ(file, c.file != nullptr) << c.name;
      if (file) {
        EXPECT_EQ(target.path, base + Native(c.file)) << c.name;
      }
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.ErrorCode(), c.error) << c.name << ": " << e.what();
    } catch (const std::exception& e) {
      EXPECT_EQ(c.error, -1) << c.name << ": " << e.what();
    }
    if (c.folder != nullptr) {
      EXPECT_TRUE(FolderExists(base + "/" + c.folder)) << c.name;
    }
  }
  // Nothing was made for the refused names, and folder entries made folders only.
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));
  EXPECT_FALSE(std::filesystem::exists(dir / "h"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    EXPECT_TRUE(entry.is_directory()) << entry.path();
  }
}

// Each refusal keeps the table's text and says which part of the name is at fault.
TEST(ResolveExtractPathTest, RefusesNamesThatLeaveTheDestination) {
  testing::ScratchDir dir;
  const struct {
    const char* name;
    const char* cause;
  } unsafe[] = {
      {"../evil.txt", "\"..\" in \"..\""},
      {"a/./b/../c", "\"..\" in \"a/./b/..\""},
      {"/etc/passwd", "begins at the root"},
      {"\\etc\\passwd", "begins at the root"},
      {"C:evil.txt", "drive (\"C:\")"},
      {"c:/evil.txt", "drive (\"c:\")"},
      {"a/..", "\"..\" in \"a/..\""},
      {"..\\evil.txt", "\"..\" in \"..\""},
      {".", "ends in \".\""},
      {"", "the name is empty"},
  };
  for (const auto& c : unsafe) {
    for (ExtractOptions options :
         {ExtractOptions(eoCreateDirs | eoRestorePath), ExtractOptions(eoCreateDirs)}) {
      std::string n = c.name;
      try {
        ResolveExtractPath(dir.path().string(), n, options, nullptr);
        ADD_FAILURE() << "accepted " << c.name;
      } catch (const ArchiveError& e) {
        EXPECT_EQ(e.ErrorCode(), 45) << c.name;
        EXPECT_EQ(
            std::string(e.what()).rfind("Unsafe file name - outside the destination folder: ", 0),
            0u)
            << e.what();
        EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
      }
    }
  }
  // Nothing was created on the way.
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  // "." components inside a name are dropped.
  std::string dotted = "a/./b/./c.txt";
  EXPECT_TRUE(
      ResolveExtractPath(dir.path().string(), dotted, eoCreateDirs | eoRestorePath, nullptr));
  EXPECT_EQ(dotted, dir.path().string() + Native("/a/b/c.txt"));
}

TEST(ResolveExtractPathTest, KeepsOrDropsFoldersAndAsksBeforeOverwriting) {
  testing::ScratchDir dir;
  const std::string base = dir.path().string();
  std::string name = "a\\b/c.txt";
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs | eoRestorePath, nullptr));
  EXPECT_EQ(name, base + Native("/a/b/c.txt"));
  EXPECT_TRUE(FolderExists(base + "/a/b"));

  name = "x/y/z.txt";
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs, nullptr));
  EXPECT_EQ(name, base + Native("/z.txt"));

  name = "new/z.txt";
  EXPECT_THROW(ResolveExtractPath(base, name, eoRestorePath, nullptr), NoSuchDirectoryError);

  testing::WriteFile(base + "/z.txt", "old");
  int asked = 0;
  name = "z.txt";
  const ConfirmOverwriteEvent refuse = [&](std::string& path, bool& confirm) {
    ++asked;
    EXPECT_EQ(path, base + Native("/z.txt"));
    confirm = false;
  };
  EXPECT_FALSE(ResolveExtractPath(base, name, eoCreateDirs, refuse));
  EXPECT_EQ(name, "z.txt");
  const ConfirmOverwriteEvent rename = [&](std::string& path, bool&) { path += ".new"; };
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs, rename));
  EXPECT_EQ(name, base + Native("/z.txt.new"));
  // A file that does not exist yet is not asked about.
  name = "fresh.txt";
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs, refuse));
  EXPECT_EQ(asked, 1);
}

TEST(ResolveExtractPathTest, NeverGoesThroughALinkBelowTheDestination) {
  VZ_SKIP_ON_WINDOWS("symbolic links, which Wine makes not");
  testing::ScratchDir dir;
  const std::string outside = dir / "outside";
  const std::string dest = dir / "dest";
  std::filesystem::create_directories(dest + "/real");
  std::filesystem::create_directory(outside);
  std::filesystem::create_directory_symlink(outside, dest + "/up");
  std::filesystem::create_directory_symlink(outside, dest + "/real/deeper");
  std::filesystem::create_symlink(outside + "/file", dest + "/file-link");
  std::filesystem::create_directory_symlink(dest, dir / "dest-link");
  const ExtractOptions keep = eoCreateDirs | eoRestorePath;
  struct Case {
    std::string base;
    const char* name;
    ExtractOptions options;
    const char* resolved;  // below base; null: refused with code 45
  };
  const Case cases[] = {
      {dest, "up/file", keep, nullptr},
      {dest, "up/new/file", keep, nullptr},
      {dest, "real/deeper/file", keep, nullptr},
      {dest, "up\\file", keep, nullptr},
      {dest, "up/file", eoCreateDirs, "/file"},        // paths dropped: no folder to go through
      {dest, "file-link", keep, "/file-link"},         // the link itself is replaced, not followed
      {dir / "dest-link", "real/x", keep, "/real/x"},  // the destination is the caller's choice
  };
  for (const Case& c : cases) {
    std::string name = c.name;
    if (c.resolved == nullptr) {
      try {
        ResolveExtractPath(c.base, name, c.options, nullptr);
        ADD_FAILURE() << "accepted " << c.name;
      } catch (const ArchiveError& e) {
        EXPECT_EQ(e.ErrorCode(), 45) << c.name;
      }
    } else {
      EXPECT_TRUE(ResolveExtractPath(c.base, name, c.options, nullptr)) << c.name;
      EXPECT_EQ(name, c.base + c.resolved);
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(outside));
}

// Folders held across items are the ones OpenFolderBeneath opens now: a folder moved away and a
// link put in its place, or a folder removed, are noticed before the next use; the number held
// stays bounded.
TEST(FolderCacheTest, HeldFoldersAreTheOnesThePathLeadsToNow) {
  VZ_SKIP_ON_WINDOWS("symbolic links, which Wine makes not");
  testing::ScratchDir dir;
  const std::string dest = dir / "dest";
  const std::string outside = dir / "outside";
  std::filesystem::create_directories(dest);
  std::filesystem::create_directories(outside);
  FolderCache cache;
  // Opens relative through the cache; a fresh open must find the same folder, or refuse as well.
  auto identity = [](const std::function<const platform::Folder*()>& opening) {
    try {
      return opening()->Identity();
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.ErrorCode(), 45);
      return std::optional<platform::FileIdentity>();
    }
  };
  auto open = [&](const std::string& relative) {
    const platform::Folder* held = nullptr;
    const auto cached = identity([&] { return held = cache.Open(dest, relative, true).get(); });
    platform::Folder fresh;
    EXPECT_EQ(cached, identity([&] {
                fresh = OpenFolderBeneath(dest, relative, false);
                return &fresh;
              }))
        << relative;
    return held;
  };
  const platform::Folder* deep = open("a/b");
  EXPECT_EQ(open("a/b"), deep);  // held, not opened again
  EXPECT_EQ(cache.Size(), 3u);   // the destination, a and a/b
  open("c");

  std::filesystem::rename(dest + "/a", dest + "/moved");
  std::filesystem::create_directory_symlink(outside, dest + "/a");
  EXPECT_EQ(open("a/b"), nullptr);
  EXPECT_EQ(open("a"), nullptr);
  std::filesystem::remove(dest + "/a");
  open("a/b");  // made anew
  EXPECT_TRUE(std::filesystem::is_directory(dest + "/a/b"));

  std::filesystem::remove(dest + "/c");
  open("c");
  EXPECT_TRUE(std::filesystem::is_directory(dest + "/c"));

  for (size_t i = 0; i < FolderCache::kMaxFolders + 10; ++i) open("many/" + std::to_string(i));
  EXPECT_LE(cache.Size(), FolderCache::kMaxFolders);
  open("a/b");
  EXPECT_TRUE(std::filesystem::is_empty(outside));
}

}  // namespace
}  // namespace vz
