#include "archive/archive.h"

#include <gtest/gtest.h>

#include "archive/utils.h"
#include "archive/zip_archive.h"
#include "archive/zip_proc.h"
#include "platform/fs.h"
#include "test_support.h"

namespace vz {
namespace {

std::unique_ptr<ArchiveItem> Named(const std::string& name, ItemAction action = iaNone) {
  auto item = std::make_unique<ZipItem>();
  item->SetStoredName(name);
  item->SetPendingAction(action);
  return item;
}

TEST(ArchiveListTest, NamesCompareWithoutAsciiCase) {
  ArchiveList list;
  list.Add(Named("docs/a.txt"));
  EXPECT_EQ(list.IndexOfName("DOCS/A.TXT"), 0);
  EXPECT_TRUE(list.HasLiveName("Docs/A.txt"));
  EXPECT_EQ(list.IndexOfName("docs/b.txt"), -1);
  // Only ASCII letters fold: the hash and the comparison agree on that.
  list.Add(Named("\xC3\xA9.txt"));
  EXPECT_EQ(list.IndexOfName("\xC3\x89.TXT"), -1);
  EXPECT_EQ(ArchiveList::NameHash("abc"), ArchiveList::NameHash("ABC"));
}

TEST(ArchiveListTest, DuplicatesFindTheLaterAndSurviveDeletes) {
  for (int deleted : {0, 1}) {
    ArchiveList list;
    list.Add(Named("x.txt"));
    list.Add(Named("X.TXT"));
    EXPECT_EQ(list.IndexOfName("x.txt"), 1);
    list.Delete(deleted);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.IndexOfName("x.txt"), 0) << deleted;
  }
}

TEST(ArchiveListTest, DeletedItemsAreNotLiveAndRenamesRehash) {
  ArchiveList list;
  list.Add(Named("gone.txt", iaDelete));
  EXPECT_FALSE(list.HasLiveName("gone.txt"));
  EXPECT_EQ(list.IndexOfName("gone.txt"), 0);
  // Many items spread over the buckets; renaming one moves it to its new name's chain.
  for (int i = 0; i < 3000; ++i) list.Add(Named("f" + std::to_string(i)));
  list.Rename(list.Items(17), "renamed/file");
  EXPECT_EQ(list.IndexOfName("RENAMED/FILE"), 17);
  EXPECT_EQ(list.IndexOfName("f16"), -1);
  EXPECT_EQ(list.IndexOfName("f2999"), 3000);
  list.Delete(17);
  EXPECT_EQ(list.IndexOfName("renamed/file"), -1);
  EXPECT_EQ(list.IndexOfName("f2999"), 2999);
}

TEST(ItemMaskTest, ItemsMatchMasksAndMaskLists) {
  struct Case {
    const char* name;
    const char* masks;
    bool match;
  };
  const Case cases[] = {
      {"readme.txt", "*.*", true},         {"readme", "*.*", true},
      {"docs/a.txt", "docs/*.txt", true},  {"DOCS/A.TXT", "docs/*.txt", true},
      {"docs\\a.txt", "docs/*.txt", true}, {"a.txt", "docs/*.txt", false},
      {"a.TXT", "*.bgl; *.txt", true},     {"a.txt", "", false},
      {"a.txt.bak", "*.txt", false},
  };
  for (const Case& c : cases) {
    auto item = Named(c.name);
    EXPECT_EQ(MatchesMaskList(*item, c.masks), c.match) << c.name << " ~ " << c.masks;
  }
}

TEST(ArchiveAddTest, ANameTakenInThisSaveIsRefusedAndTheArchiveIsNeverItsOwnInput) {
  testing::ScratchDir dir;
  const char* files[] = {"a/readme", "b/readme", "old.txt", "c/old.txt"};
  for (size_t i = 0; i < std::size(files); ++i) {
    std::filesystem::create_directories(std::filesystem::path(dir / files[i]).parent_path());
    testing::WriteFile(dir / files[i], std::string(10 + i, 'x'));
  }
  ZipArchive zip(dir / "x.zip", kFmCreate);
  InstallInsertionProcs(zip);
  zip.SetBaseDirectory("");
  zip.SetStoreOptions(soStripPath | soFreshen);
  zip.Add(zip.NewItem(dir / "old.txt"));
  zip.Save();  // old.txt was in the archive before the adds below
  testing::WriteFile(dir / "old.txt", "changed since");
  std::filesystem::create_symlink(dir / "x.zip", dir / "link.zip");
  std::vector<int32_t> failures;
  zip.OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType type, ErrorClass, int32_t code) {
    EXPECT_EQ(type, ptAdd);
    failures.push_back(code);
  };
  struct Step {
    const char* file;
    int32_t failure;  // 0: none
    const char* name;
    ItemAction action;  // of the item of that name afterwards; iaFailed: no such item
  };
  const Step steps[] = {
      {"a/readme", 0, "readme", iaAdd},
      {"b/readme", 7, "readme", iaAdd},  // the first one stays
      {"old.txt", 0, "old.txt", iaFreshen},
      {"c/old.txt", 7, "old.txt", iaFreshen},
      {"link.zip", 0, "link.zip", iaFailed},  // the archive itself, through a link
      {"x.zip", 0, "x.zip", iaFailed},
  };
  for (const Step& step : steps) {
    failures.clear();
    zip.Add(zip.NewItem(dir / step.file));
    EXPECT_EQ(failures, step.failure ? std::vector<int32_t>{step.failure} : std::vector<int32_t>{})
        << step.file;
    const int index = zip.IndexOfName(*Named(step.name));
    if (step.action == iaFailed) {
      EXPECT_EQ(index, -1) << step.file;
    } else {
      ASSERT_NE(index, -1) << step.file;
      EXPECT_EQ(zip.Items(index)->PendingAction(), step.action) << step.file;
    }
  }
  EXPECT_EQ(zip.ItemCount(), 2);
  zip.Save();
  EXPECT_EQ(zip.Items(zip.IndexOfName(*Named("readme")))->UncompressedSize(), 10);
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
  EXPECT_EQ(dotted, dir.path().string() + "/a/b/c.txt");
}

TEST(ResolveExtractPathTest, KeepsOrDropsFoldersAndAsksBeforeOverwriting) {
  testing::ScratchDir dir;
  const std::string base = dir.path().string();
  std::string name = "a\\b/c.txt";
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs | eoRestorePath, nullptr));
  EXPECT_EQ(name, base + "/a/b/c.txt");
  EXPECT_TRUE(FolderExists(base + "/a/b"));

  name = "x/y/z.txt";
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs, nullptr));
  EXPECT_EQ(name, base + "/z.txt");

  name = "new/z.txt";
  EXPECT_THROW(ResolveExtractPath(base, name, eoRestorePath, nullptr), NoSuchDirectoryError);

  testing::WriteFile(base + "/z.txt", "old");
  int asked = 0;
  name = "z.txt";
  const ConfirmOverwriteEvent refuse = [&](std::string& path, bool& confirm) {
    ++asked;
    EXPECT_EQ(path, base + "/z.txt");
    confirm = false;
  };
  EXPECT_FALSE(ResolveExtractPath(base, name, eoCreateDirs, refuse));
  EXPECT_EQ(name, "z.txt");
  const ConfirmOverwriteEvent rename = [&](std::string& path, bool&) { path += ".new"; };
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs, rename));
  EXPECT_EQ(name, base + "/z.txt.new");
  // A file that does not exist yet is not asked about.
  name = "fresh.txt";
  EXPECT_TRUE(ResolveExtractPath(base, name, eoCreateDirs, refuse));
  EXPECT_EQ(asked, 1);
}

TEST(ResolveExtractPathTest, NeverGoesThroughALinkBelowTheDestination) {
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
