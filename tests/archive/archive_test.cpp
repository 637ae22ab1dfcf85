#include "archive/archive.h"

#include <gtest/gtest.h>

#include "archive/item_procedures.h"
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

// Names compare as the platform's file names: "\" as "/", letter case only where it is ignored.
TEST(ArchiveListTest, NamesCompareAsThePlatformsFileNames) {
  constexpr bool kFold = platform::kFileNamesIgnoreCase;
  ArchiveList list;
  list.Add(Named("docs/a.txt"));
  EXPECT_EQ(list.IndexOfName("docs\\a.txt"), 0);
  EXPECT_EQ(list.IndexOfName("DOCS/A.TXT"), kFold ? 0 : -1);
  EXPECT_EQ(list.HasLiveName("Docs/A.txt"), kFold);
  EXPECT_EQ(list.IndexOfName("docs/b.txt"), -1);
  // Only ASCII letters fold: the hash and the comparison agree on that.
  list.Add(Named("\xC3\xA9.txt"));
  EXPECT_EQ(list.IndexOfName("\xC3\x89.TXT"), -1);
  EXPECT_EQ(ArchiveList::NameHash("abc") == ArchiveList::NameHash("ABC"), kFold);
  EXPECT_EQ(ArchiveList::NameHash("a\\b"), ArchiveList::NameHash("a/b"));
}

TEST(ArchiveListTest, DuplicatesFindTheLaterAndSurviveDeletes) {
  for (int deleted : {0, 1}) {
    ArchiveList list;
    list.Add(Named("x.txt"));
    list.Add(Named("x.txt"));
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
  EXPECT_EQ(list.IndexOfName("renamed/file"), 17);
  EXPECT_EQ(list.IndexOfName("f16"), -1);
  EXPECT_EQ(list.IndexOfName("f2999"), 3000);
  list.Delete(17);
  EXPECT_EQ(list.IndexOfName("renamed/file"), -1);
  EXPECT_EQ(list.IndexOfName("f2999"), 2999);
}

TEST(ItemMaskTest, ItemsMatchMasksAndMaskLists) {
  constexpr bool kFold = platform::kFileNamesIgnoreCase;
  struct Case {
    const char* name;
    const char* masks;
    bool match;
  };
  const Case cases[] = {
      {"readme.txt", "*.*", true},
      {"readme", "*.*", true},
      {"docs/a.txt", "docs/*.txt", true},
      {"DOCS/A.TXT", "docs/*.txt", kFold},
      {"docs\\a.txt", "docs/*.txt", true},
      {"a.txt", "docs/*.txt", false},
      {"a.TXT", "*.bgl; *.txt", kFold},
      {"a.txt", "*.bgl; *.txt", true},
      {"a.txt", "", false},
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
  // Windows gives links only to whom it allows them; there the link's step is left out.
  std::error_code no_link;
  std::filesystem::create_symlink(dir / "x.zip", dir / "link.zip", no_link);
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
    if (no_link && std::string(step.file) == "link.zip") continue;
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

}  // namespace
}  // namespace vz
