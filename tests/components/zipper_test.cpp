#include "components/zipper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "components/unzipper.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

int UnZipperItemCount(const std::string& path) {
  UnZipper check;
  check.OpenArchive(path);
  return check.ItemCount();
}

struct CountingMeter : MeterLink {
  std::vector<int> values;
  int resets = 0;
  void DoProgress(uint8_t progress) override { values.push_back(progress); }
  void Reset() override { ++resets; }
};

TEST(ZipperTest, NewZipAppearsWithItsFirstItemAndOtherExtensionsAreRefused) {
  ScratchDir dir;
  Zipper zipper;
  zipper.SetFileName(dir / "new.zip");
  EXPECT_EQ(zipper.GetArchiveType(), atZip);
  // Nothing is on disk until an item is stored: not when opened, not after a save of nothing,
  // not after a save whose only item failed.
  zipper.Save();
  zipper.AddFileList({dir / "missing.txt"});
  zipper.Save();
  EXPECT_FALSE(std::filesystem::exists(dir / "new.zip"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
  WriteFile(dir / "a.txt", "a");
  zipper.AddFiles(dir / "a.txt", 0);
  zipper.Save();
  EXPECT_EQ(UnZipperItemCount(dir / "new.zip"), 1);

  Zipper other;
  EXPECT_THROW(other.SetFileName(dir / "new.exe"), UnhandledTypeError);
  EXPECT_FALSE(std::filesystem::exists(dir / "new.exe"));
  EXPECT_EQ(other.GetArchive(), nullptr);
  EXPECT_THROW(other.AddFiles(dir / "x", 0), NoArchiveError);
  EXPECT_THROW(other.SetZipComment("x"), NoArchiveError);
  EXPECT_NO_THROW(other.Save());
}

TEST(ZipperTest, AutoSaveWritesOnEveryAdditionAndTheFinalSaveNothingMore) {
  ScratchDir dir;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(dir / name, std::string(name));
  Zipper zipper;
  zipper.SetAutoSave(true);
  CountingMeter save_meter;
  zipper.SetArchiveSaveProgressMeter(&save_meter);
  int saves = 0;
  int changes = 0;
  zipper.OnSave = [&](void* sender) {
    EXPECT_EQ(sender, &zipper);
    ++saves;
  };
  zipper.OnChange = [&](void*) { ++changes; };
  zipper.SetFileName(dir / "auto.zip");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) zipper.AddFiles(dir / name, 0);
  EXPECT_EQ(saves, 3);
  zipper.Save();
  EXPECT_EQ(saves, 3);
  EXPECT_EQ(changes, 1 + 3 + 1);
  EXPECT_FALSE(save_meter.values.empty());
  EXPECT_EQ(save_meter.values.back(), 100);
  EXPECT_EQ(zipper.ItemCount(), 3);
  // The default store options strip the root and keep the folders.
  EXPECT_EQ(zipper.GetItem(0)->StoredName(), (dir / "a.txt").substr(1));

  UnZipper check;
  check.OpenArchive(dir / "auto.zip");
  EXPECT_EQ(check.ItemCount(), 3);
}

TEST(ZipperTest, FreshenReplacesOnlyWhatChangedAndAConfirmedSaveCanBeRefused) {
  ScratchDir dir;
  WriteFile(dir / "f.txt", std::string(100, 'a'));
  Zipper zipper;
  zipper.SetStoreOptions(soStripDrive | soRemoveDots | soStripPath | soFreshen);
  zipper.SetFileName(dir / "fresh.zip");
  zipper.AddFiles(dir / "f.txt", 0);
  zipper.Save();
  const std::vector<uint8_t> first = ReadFile(dir / "fresh.zip");
  int failures = 0;
  zipper.OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
    ++failures;
  };
  zipper.AddFiles(dir / "f.txt", 0);  // unchanged: nothing happens
  zipper.Save();
  EXPECT_EQ(ReadFile(dir / "fresh.zip"), first);
  EXPECT_EQ(failures, 0);

  WriteFile(dir / "f.txt", std::string(150, 'b'));
  zipper.AddFiles(dir / "f.txt", 0);
  ASSERT_EQ(zipper.ItemCount(), 1);
  EXPECT_EQ(zipper.GetItem(0)->PendingAction(), iaFreshen);
  bool asked = false;
  zipper.OnConfirmSave = [&](void*, bool& confirm) {
    asked = true;
    confirm = false;
  };
  zipper.Save();
  EXPECT_TRUE(asked);
  EXPECT_EQ(ReadFile(dir / "fresh.zip"), first);
  zipper.OnConfirmSave = nullptr;
  zipper.Save();
  EXPECT_EQ(zipper.GetItem(0)->UncompressedSize(), 150);
  EXPECT_EQ(failures, 0);
}

TEST(ZipperTest, CommentIsSetAndRemovedAndReopeningLoadsTheSavedArchive) {
  ScratchDir dir;
  WriteFile(dir / "f.txt", "text");
  Zipper zipper;
  zipper.SetCompressionMethodToUse(smStored);
  zipper.SetFileName(dir / "c.zip");
  zipper.AddFiles(dir / "f.txt", 0);
  zipper.SetZipComment("a comment");
  zipper.Save();
  // Setting the same name again saves, frees and loads the file.
  zipper.SetFileName(dir / "c.zip");
  EXPECT_EQ(zipper.GetZipArchive()->ZipComment(), "a comment");
  EXPECT_EQ(zipper.GetItem(0)->CompressionMethod(), 0);
  zipper.SetZipComment("");
  zipper.CloseArchive();  // the pending change is saved on the way out
  UnZipper check;
  check.OpenArchive(dir / "c.zip");
  EXPECT_EQ(check.GetZipArchive()->ZipComment(), "");
  EXPECT_EQ(check.ItemCount(), 1);
}

TEST(ZipperTest, RelativeNamesAreTakenAgainstTheCurrentFolder) {
  ScratchDir dir;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  Zipper zipper;
  zipper.SetFileName("rel.zip");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(zipper.FileName(), (dir.path() / "rel.zip").string());
  WriteFile(dir / "f.txt", "f");
  zipper.AddFiles(dir / "f.txt", 0);
  zipper.Save();
  EXPECT_TRUE(std::filesystem::exists(dir / "rel.zip"));
}

}  // namespace
}  // namespace vz
