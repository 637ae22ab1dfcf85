#include "components/zipper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "components/unzipper.h"
#include "test_support.h"
#include "zip_builder.h"

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
  zipper.EditSettings([&](ComponentSettings& s) { s.SetAutoSave(true); });
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
  EXPECT_EQ(zipper.GetItem(0)->StoredName(),
            std::filesystem::path(dir / "a.txt").relative_path().generic_string());

  UnZipper check;
  check.OpenArchive(dir / "auto.zip");
  EXPECT_EQ(check.ItemCount(), 3);
}

TEST(ZipperTest, FreshenReplacesOnlyWhatChangedAndAConfirmedSaveCanBeRefused) {
  ScratchDir dir;
  WriteFile(dir / "f.txt", std::string(100, 'a'));
  Zipper zipper;
  zipper.EditSettings([&](ComponentSettings& s) {
    s.SetStoreOptions(soStripDrive | soRemoveDots | soStripPath | soFreshen);
  });
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
  zipper.EditSettings([&](ComponentSettings& s) { s.SetCompressionMethodToUse(smStored); });
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

std::vector<std::unique_ptr<CustomZipBrowser>> BothComponents() {
  std::vector<std::unique_ptr<CustomZipBrowser>> both;
  both.push_back(std::make_unique<Zipper>());
  both.push_back(std::make_unique<UnZipper>());
  return both;
}

TEST(ZipperTest, ArchivesThatFailedToOpenAreNeverWritten) {
  testing::ZipBuilder b;
  b.entries.resize(1);
  b.entries[0].name = "a.txt";
  b.entries[0].data = testing::Bytes("a");
  const std::vector<uint8_t> good = b.Build();
  std::vector<uint8_t> damaged = good;
  damaged[30 + 5 + 1 + 3] ^= 0xFF;  // the first central header's signature
  struct Case {
    const char* label;
    std::vector<uint8_t> bytes;
    bool base_gone;  // the base folder no longer exists
  };
  const Case cases[] = {
      {"first central header damaged", damaged, false},
      {"base folder gone", good, true},
  };
  for (const Case& c : cases) {
    for (auto& component : BothComponents()) {
      ScratchDir dir;
      WriteFile(dir / "x.zip", c.bytes);
      WriteFile(dir / "other.zip", good);
      if (c.base_gone) {
        component->EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(dir / "gone"); });
      }
      EXPECT_ANY_THROW(component->SetFileName(dir / "x.zip")) << c.label;
      if (auto* zipper = dynamic_cast<Zipper*>(component.get())) zipper->Save();
      try {
        component->SetFileName(dir / "other.zip");
      } catch (const std::exception&) {
      }
      component->CloseArchive();
      component.reset();
      EXPECT_EQ(ReadFile(dir / "x.zip"), c.bytes) << c.label;
      EXPECT_EQ(ReadFile(dir / "other.zip"), good) << c.label;
    }
  }
}

TEST(ZipperTest, PipesAndDevicesAreRefusedAtOnce) {
  ScratchDir dir;
  VZ_SKIP_ON_WINDOWS("pipes and /dev/null");
  ASSERT_TRUE(testing::portable::MakeFifo(dir / "pipe.zip"));
  for (const std::string& name : {dir / "pipe.zip", std::string("/dev/null")}) {
    for (auto& component : BothComponents()) {
      try {
        component->SetFileName(name);
        ADD_FAILURE() << name << " accepted";
      } catch (const ArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("Not a regular file"), std::string::npos) << e.what();
      }
      EXPECT_EQ(component->GetArchive(), nullptr);
    }
  }
}

TEST(ZipperTest, ASecondWriterWaitsAndLoadsWhatTheFirstSaved) {
  ScratchDir dir;
  WriteFile(dir / "a.txt", "a");
  WriteFile(dir / "b.txt", "b");
  Zipper first;
  first.SetFileName(dir / "x.zip");
  first.AddFiles(dir / "a.txt", 0);
  first.Save();
  std::atomic<bool> waiting = false;
  Zipper second;
  int told = 0;
  second.OnWaitForArchive = [&](void* sender, bool first, bool&) {
    EXPECT_EQ(sender, &second);
    told += first ? 1 : 0;
    waiting = true;
  };
  std::thread opener([&] { second.SetFileName(dir / "x.zip"); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!waiting && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(waiting);
  // The first writer goes on with the archive while the second waits, and then lets it go.
  first.AddFiles(dir / "b.txt", 0);
  first.Save();
  first.CloseArchive();
  opener.join();
  EXPECT_EQ(second.ItemCount(), 2);
  EXPECT_EQ(told, 1);
  // A wait given up raises UserAbortError and leaves nothing open.
  second.CloseArchive();
  Zipper third;
  third.SetFileName(dir / "x.zip");
  second.OnWaitForArchive = [&](void*, bool, bool& abort) { abort = true; };
  EXPECT_THROW(second.SetFileName(dir / "x.zip"), UserAbortError);
  EXPECT_EQ(second.GetArchive(), nullptr);
}

}  // namespace
}  // namespace vz
