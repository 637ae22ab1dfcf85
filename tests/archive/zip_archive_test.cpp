#include "archive/zip_archive.h"

#include <gtest/gtest.h>
#include <array>

#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

using testing::Bytes;
using testing::ZipBuilder;
using testing::ZipEntry;

ZipBuilder TwoFiles() {
  ZipBuilder b;
  ZipEntry a;
  a.name = "dir/sub/f.txt";
  a.data = Bytes("hello");
  ZipEntry c;
  c.name = "g.bin";
  c.data = testing::RandomBytes(1000);
  b.entries = {a, c};
  return b;
}

std::unique_ptr<ZipArchive> LoadFile(const testing::ScratchDir& dir,
                                     const std::vector<uint8_t>& bytes) {
  const std::string path = dir / "test.zip";
  testing::WriteFile(path, bytes);
  auto archive = std::make_unique<ZipArchive>(path, kFmOpenRead | kFmShareDenyNone);
  archive->Load();
  return archive;
}

TEST(LocateEndRecordTest, FindsTheRecordForEveryCommentLength) {
  // Lengths around the search windows: the first window is 512 bytes, then 1024, 2048, ... up to
  // 64 KiB, each overlapping the one before by 22 bytes.
  std::vector<int> lengths = {0,    1,     2,     489,   490,   491,  511,  512,
                              513,  1000,  1490,  1491,  1492,  3000, 3512, 3513,
                              7600, 16000, 40000, 65000, 65513, 65535};
  for (int length : lengths) {
    ZipBuilder b = TwoFiles();
    b.comment = std::string(static_cast<size_t>(length), 'c');
    const auto bytes = b.Build();
    MemoryStream s(bytes);
    EXPECT_EQ(LocateEndRecord(s), static_cast<int64_t>(bytes.size()) - 22 - length) << length;
    EXPECT_EQ(s.Position(), static_cast<int64_t>(bytes.size()) - 22 - length);
  }
}

TEST(LocateEndRecordTest, ToleratesTrailingDataAndRejectsNonZips) {
  ZipBuilder b = TwoFiles();
  b.comment = "note";
  b.trailing = std::vector<uint8_t>(70000, 0xAA);  // more than the 64 KiB window
  const auto bytes = b.Build();
  MemoryStream s(bytes);
  EXPECT_EQ(LocateEndRecord(s), static_cast<int64_t>(bytes.size()) - 70000 - 22 - 4);

  // A signature whose comment would run past the end is no end record.
  ZipBuilder lying = TwoFiles();
  lying.comment_length_override = 100;
  MemoryStream l(lying.Build());
  l.SetPosition(7);
  EXPECT_EQ(LocateEndRecord(l), -1);
  EXPECT_EQ(l.Position(), 7);

  for (size_t n : {0u, 5u, 21u, 22u, 300000u}) {
    MemoryStream random(testing::RandomBytes(n, 9));
    EXPECT_EQ(LocateEndRecord(random), -1) << n;
    EXPECT_EQ(DetectZip(random), akUnknown);
  }
}

TEST(DetectTest, RecognisesZipsSpannedSetsAndSelfExtractors) {
  MemoryStream zip(TwoFiles().Build());
  EXPECT_EQ(DetectZip(zip), akZip);
  EXPECT_EQ(DetectSelfExtractingZip(zip), akUnknown);
  MemoryStream spanned(std::vector<uint8_t>{0x50, 0x4B, 0x07, 0x08, 1, 2, 3});
  EXPECT_EQ(DetectZip(spanned), akSpannedZip);
  for (std::vector<uint8_t> stub : {Bytes("MZ\x90"), std::vector<uint8_t>{0x7F, 'E', 'L', 'F'}}) {
    ZipBuilder b = TwoFiles();
    stub.resize(4000, 0);
    b.prefix = stub;
    MemoryStream sfx(b.Build());
    sfx.SetPosition(5);
    EXPECT_EQ(DetectSelfExtractingZip(sfx), akSelfExtractingZip);
    EXPECT_EQ(sfx.Position(), 5);
  }
}

TEST(ZipLoadTest, ReadsTheCentralDirectory) {
  testing::ScratchDir dir;
  ZipBuilder b = TwoFiles();
  b.comment = "archive comment";
  auto archive = LoadFile(dir, b.Build());
  ASSERT_EQ(archive->ItemCount(), 2);
  ZipItem* f = archive->ZipItems(0);
  EXPECT_EQ(f->StoredName(), "dir/sub/f.txt");
  EXPECT_EQ(f->DiskPath(), "dir/sub/f.txt");
  EXPECT_EQ(f->UncompressedSize(), 5);
  EXPECT_EQ(f->CRC32(), Crc32Of(Bytes("hello")));
  EXPECT_EQ(f->PendingAction(), iaNone);
  EXPECT_EQ(archive->ZipItems(1)->LocalHeaderOffset(), 30u + 13 + 5);
  EXPECT_EQ(archive->ZipComment(), "archive comment");
  EXPECT_FALSE(archive->Modified());
  EXPECT_FALSE(archive->IsExecutable());
  // A loaded item's file is its stored name, and stays so when the item is renamed.
  f->SetStoredName("renamed.txt");
  EXPECT_EQ(f->DiskPath(), "dir/sub/f.txt");
  f->SetDiskPath("");
  EXPECT_EQ(f->DiskPath(), "");
}

TEST(ZipLoadTest, EmptyFileHasNoItemsAndProgressNeverPassesHundred) {
  testing::ScratchDir dir;
  EXPECT_EQ(LoadFile(dir, {})->ItemCount(), 0);

  // The end record says 1 entry while 2 records are there.
  auto bytes = TwoFiles().Build();
  bytes[bytes.size() - 22 + 8] = 1;
  bytes[bytes.size() - 22 + 10] = 1;
  const std::string path = dir / "lying.zip";
  testing::WriteFile(path, bytes);
  ZipArchive archive(path, kFmOpenRead);
  std::vector<int> progress;
  archive.OnArchiveProgress = [&](void*, uint8_t p, bool&) { progress.push_back(p); };
  archive.Load();
  EXPECT_EQ(archive.ItemCount(), 2);
  for (int p : progress) EXPECT_LE(p, 100);
  EXPECT_EQ(progress.back(), 100);
}

TEST(ZipLoadTest, SelfExtractingArchiveKnowsItsStub) {
  testing::ScratchDir dir;
  ZipBuilder b = TwoFiles();
  b.prefix = Bytes("MZ");
  b.prefix.resize(40000, 0x90);
  auto archive = LoadFile(dir, b.Build());
  EXPECT_TRUE(archive->IsExecutable());
  EXPECT_EQ(archive->StubSize(), 40000);
  EXPECT_EQ(archive->ItemCount(), 2);
}

TEST(ZipLoadTest, NamesFromDosAreCodePage437UnlessFlaggedUtf8) {
  testing::ScratchDir dir;
  ZipBuilder b;
  ZipEntry dos;
  dos.name = "\x81.txt";  // u with diaeresis in code page 437
  ZipEntry unix_host = dos;
  unix_host.name =
      "\xC3\xBC"
      "2.txt";
  unix_host.version_made = 0x0B14;
  ZipEntry flagged = dos;
  flagged.name =
      "\xC3\xBC"
      "3.txt";
  flagged.flag = 0x0800;
  b.entries = {dos, unix_host, flagged};
  auto archive = LoadFile(dir, b.Build());
  EXPECT_EQ(archive->ZipItems(0)->StoredName(), "\xC3\xBC.txt");
  EXPECT_EQ(archive->ZipItems(1)->StoredName(),
            "\xC3\xBC"
            "2.txt");
  EXPECT_EQ(archive->ZipItems(2)->StoredName(),
            "\xC3\xBC"
            "3.txt");
  // The raw bytes are kept for writing the record back.
  EXPECT_EQ(archive->ZipItems(0)->Header().name, Bytes("\x81.txt"));
}

TEST(ZipLoadTest, DamagedArchivesFailCleanly) {
  testing::ScratchDir dir;
  const auto good = TwoFiles().Build();
  // Junk between the directory and the end record is read as a header and fails the load.
  ZipBuilder junk = TwoFiles();
  junk.junk_before_end = Bytes("garbage!");
  EXPECT_THROW(LoadFile(dir, junk.Build()), ZipInvalidError);
  // Every truncation either loads fewer items or fails with the engine's own error.
  for (size_t cut = 0; cut < good.size(); cut += 13) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    try {
      LoadFile(dir, bytes);
    } catch (const ArchiveError& e) {
      EXPECT_EQ(e.ErrorCode(), 28) << cut;
    }
  }
  // A directory offset beyond the file.
  auto bad_offset = good;
  bad_offset[bad_offset.size() - 22 + 16] = 0xFF;
  bad_offset[bad_offset.size() - 22 + 17] = 0xFF;
  EXPECT_THROW(LoadFile(dir, bad_offset), ZipInvalidError);
  EXPECT_THROW(LoadFile(dir, testing::RandomBytes(5000, 4)), ZipInvalidError);
}

TEST(MakeStoredNameTest, ShapesNamesByTheStoreOptions) {
  testing::ScratchDir dir;
  const std::string path = dir / "new.zip";
  ZipArchive archive(path, kFmCreate);
  struct Case {
    const char* spec;
    StoreOptions options;
    const char* stored;
  };
  const Case cases[] = {
      {"/home/user/Addons/a.bgl", 0, "home/user/Addons/a.bgl"},
      {"Scenery/a.bgl", 0, "Scenery/a.bgl"},
      {"/home/user/a.bgl", soStripPath, "a.bgl"},
      {"../../x/y.txt", soRemoveDots, "x/y.txt"},
      {"../../x/y.txt", 0, "../../x/y.txt"},
  };
  for (const Case& c : cases) {
    archive.SetStoreOptions(c.options);
    EXPECT_EQ(archive.MakeStoredName(c.spec), c.stored) << c.spec;
    EXPECT_TRUE(archive.GetStoreOptions() & soStripDrive);
  }
}

TEST(ZipArchiveTest, RelativeFileNamesAreRefused) {
  try {
    ZipArchive archive("relative.zip", kFmOpenRead);
    FAIL();
  } catch (const ArchiveError& e) {
    EXPECT_STREQ(e.what(), "Full Path Required");
  }
}

TEST(ZipArchiveTest, ExtentsOfDifferentItemsNeverOverlap) {
  testing::ScratchDir dir;
  auto archive = LoadFile(dir, TwoFiles().Build());
  const int64_t directory = archive->EndRecord().directory_offset;  // 1091
  // Each claim is an item's: its local header's part and offset start the extent.
  struct Claim {
    int item;
    uint16_t disk;
    int64_t start, end;
    bool refused;
  };
  // In order: each claim sees those before it that were not refused.
  const Claim claims[] = {
      {0, 0, 100, 200, false},
      {0, 0, 100, 200, false},  // the same item decoded again
      {1, 0, 100, 200, true},   // another entry at the same local header
      {2, 0, 100, 120, true},
      {3, 0, 150, 300, true},                      // into the next one's start
      {4, 0, 50, 101, true},                       // into the previous one's end
      {5, 0, 20, 100, false},                      // right before
      {6, 0, 200, 300, false},                     // right behind
      {7, 0, 10, 400, true},                       // around all of them
      {8, 0, directory - 5, directory + 1, true},  // the central directory is nobody's data
      {9, 1, 100, 200, false},                     // another part of a set
  };
  std::array<ZipItem, 10> items;
  for (size_t i = 0; i < std::size(claims); ++i) {
    const Claim& x = claims[i];
    ZipItem& item = items[static_cast<size_t>(x.item)];
    item.SetDiskNumberStart(x.disk);
    item.SetLocalHeaderOffset(static_cast<uint64_t>(x.start));
    if (x.refused) {
      EXPECT_THROW(archive->ClaimItemExtent(item, x.end), ZipInvalidError) << i;
    } else {
      EXPECT_NO_THROW(archive->ClaimItemExtent(item, x.end)) << i;
    }
  }
  // A new run forgets the claims of the last.
  archive->BeginRun();
  EXPECT_NO_THROW(archive->ClaimItemExtent(items[1], 200));
  EXPECT_THROW(archive->ClaimItemExtent(items[0], 200), ZipInvalidError);
}

}  // namespace
}  // namespace vz
