#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "archive/item_procedures.h"
#include "archive/unzip_proc.h"
#include "archive/zip_archive.h"
#include "archive/zip_proc.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

using testing::Bytes;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;
using testing::ZipBuilder;
using testing::ZipEntry;

uint32_t Le16(const std::vector<uint8_t>& d, size_t at) {
  return d.at(at) | (d.at(at + 1) << 8);
}
uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return Le16(d, at) | (Le16(d, at + 2) << 16);
}

// What a zip file says about itself, read independently of the engine.
struct Central {
  std::vector<uint8_t> name;
  uint16_t flag, method, time, date, disk;
  uint32_t crc, csize, usize, attributes, offset;
};
struct Layout {
  uint16_t this_disk = 0, directory_disk = 0, entries_here = 0, entries = 0;
  uint32_t directory_size = 0, directory_offset = 0;
  std::string comment;
  std::vector<Central> items;
};

Layout Parse(const std::vector<uint8_t>& zip) {
  Layout l;
  size_t end = zip.size() - 22;
  while (end > 0 && Le32(zip, end) != 0x06054B50u) --end;
  l.this_disk = static_cast<uint16_t>(Le16(zip, end + 4));
  l.directory_disk = static_cast<uint16_t>(Le16(zip, end + 6));
  l.entries_here = static_cast<uint16_t>(Le16(zip, end + 8));
  l.entries = static_cast<uint16_t>(Le16(zip, end + 10));
  l.directory_size = Le32(zip, end + 12);
  l.directory_offset = Le32(zip, end + 16);
  const size_t comment_length = Le16(zip, end + 20);
  l.comment.assign(zip.begin() + static_cast<long>(end) + 22,
                   zip.begin() + static_cast<long>(end + 22 + comment_length));
  size_t p = l.directory_offset;
  for (int i = 0; i < l.entries && l.this_disk == 0; ++i) {
    EXPECT_EQ(Le32(zip, p), 0x02014B50u);
    Central c;
    c.flag = static_cast<uint16_t>(Le16(zip, p + 8));
    c.method = static_cast<uint16_t>(Le16(zip, p + 10));
    c.time = static_cast<uint16_t>(Le16(zip, p + 12));
    c.date = static_cast<uint16_t>(Le16(zip, p + 14));
    c.crc = Le32(zip, p + 16);
    c.csize = Le32(zip, p + 20);
    c.usize = Le32(zip, p + 24);
    const size_t n = Le16(zip, p + 28), x = Le16(zip, p + 30), k = Le16(zip, p + 32);
    c.disk = static_cast<uint16_t>(Le16(zip, p + 34));
    c.attributes = Le32(zip, p + 38);
    c.offset = Le32(zip, p + 42);
    c.name.assign(zip.begin() + static_cast<long>(p) + 46,
                  zip.begin() + static_cast<long>(p + 46 + n));
    l.items.push_back(c);
    p += 46 + n + x + k;
  }
  return l;
}

// The stored bytes of an item, found through its local header.
std::vector<uint8_t> DataOf(const std::vector<uint8_t>& zip, const Central& c) {
  const size_t at = c.offset + 30 + Le16(zip, c.offset + 26) + Le16(zip, c.offset + 28);
  return {zip.begin() + static_cast<long>(at), zip.begin() + static_cast<long>(at + c.csize)};
}
std::vector<uint8_t> LocalNameOf(const std::vector<uint8_t>& zip, const Central& c) {
  const size_t n = Le16(zip, c.offset + 26);
  return {zip.begin() + static_cast<long>(c.offset) + 30,
          zip.begin() + static_cast<long>(c.offset + 30 + n)};
}

std::unique_ptr<ZipArchive> Open(const std::string& path) {
  auto zip = std::make_unique<ZipArchive>(path, kFmOpenRead | kFmShareDenyNone);
  InstallInsertionProcs(*zip);
  InstallExtractionProcs(*zip);
  zip->Load();
  zip->SetBaseDirectory("");
  return zip;
}

std::unique_ptr<ZipArchive> Create(const std::string& path) {
  auto zip = std::make_unique<ZipArchive>(path, kFmCreate);
  InstallInsertionProcs(*zip);
  InstallExtractionProcs(*zip);
  zip->SetBaseDirectory("");
  return zip;
}

// Every item decodes and passes its CRC check; returns the number of failures.
int FailuresOnTest(const std::string& path, const std::string& password = "") {
  auto zip = Open(path);
  zip->SetPassword(password);
  int failures = 0;
  zip->OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
    ++failures;
  };
  for (int i = 0; i < zip->ItemCount(); ++i) zip->TestItem(i);
  return failures;
}

ZipBuilder ThreeItems() {
  ZipBuilder b;
  ZipEntry a;
  a.name = "a.txt";
  a.data = Bytes("alpha");
  ZipEntry d;
  d.name = "dir/deflated.txt";
  const std::vector<uint8_t> text(3000, 'x');
  d.method = 8;
  d.data = testing::RawDeflate(text);
  d.uncompressed_size = 3000;
  d.crc = Crc32Of(text);
  d.time = 0x1234;
  d.date = 0x4321;
  d.external_attributes = 0x21;
  ZipEntry r;
  r.name = "r.bin";
  r.data = testing::RandomBytes(777);
  b.entries = {a, d, r};
  b.comment = "made elsewhere";
  return b;
}

TEST(ZipSaveTest, EmptyArchiveIsTheEndRecordAloneAndOnlyInACallersStream) {
  MemoryStream memory;
  auto zip = ZipArchive::CreateOnStream(memory, "mem.zip");
  zip->Save();
  EXPECT_EQ(memory.Size(), 22);
  EXPECT_EQ(Le32(memory.Data(), 0), 0x06054B50u);
  zip->SetZipComment("note");
  zip->Save();
  EXPECT_EQ(memory.Size(), 26);

  // A new archive file appears only with an item in it, and a file is not rewritten unchanged.
  ScratchDir dir;
  auto file = Create(dir / "new.zip");
  file->SetZipComment("no items");
  file->Save();
  EXPECT_FALSE(std::filesystem::exists(dir / "new.zip"));
  WriteFile(dir / "empty.zip", memory.Data());
  const auto before = std::filesystem::last_write_time(dir / "empty.zip");
  Open(dir / "empty.zip")->Save();
  EXPECT_EQ(std::filesystem::last_write_time(dir / "empty.zip"), before);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ZipSaveTest, AddingToThreeItemsWritesFourInOrderAndCopiesTheOldBytes) {
  ScratchDir dir;
  const std::vector<uint8_t> before = ThreeItems().Build();
  WriteFile(dir / "old.zip", before);
  WriteFile(dir / "new.txt", std::string(5000, 'n'));
  auto zip = Open(dir / "old.zip");
  zip->Add(zip->NewItem(dir / "new.txt"));
  zip->Save();

  const std::vector<uint8_t> after = ReadFile(dir / "old.zip");
  const Layout old_layout = Parse(before);
  const Layout l = Parse(after);
  ASSERT_EQ(l.items.size(), 4u);
  EXPECT_EQ(l.entries, 4);
  EXPECT_EQ(l.entries_here, 4);
  EXPECT_EQ(l.comment, "made elsewhere");
  EXPECT_EQ(l.items[0].offset, 0u);
  for (size_t i = 1; i < 4; ++i) {
    const Central& prev = l.items[i - 1];
    const size_t prev_end = prev.offset + 30 + Le16(after, prev.offset + 26) +
                            Le16(after, prev.offset + 28) + prev.csize;
    EXPECT_EQ(l.items[i].offset, prev_end) << i;
  }
  EXPECT_EQ(l.directory_offset, after.size() - 22 - l.comment.size() - l.directory_size);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Central& o = old_layout.items[i];
    const Central& n = l.items[i];
    EXPECT_EQ(DataOf(after, n), DataOf(before, o));
    EXPECT_EQ(n.crc, o.crc);
    EXPECT_EQ(n.csize, o.csize);
    EXPECT_EQ(n.usize, o.usize);
    EXPECT_EQ(n.time, o.time);
    EXPECT_EQ(n.date, o.date);
    EXPECT_EQ(n.attributes, o.attributes);
    EXPECT_EQ(Le16(after, n.offset + 10), o.time);  // the rebuilt local header agrees
    EXPECT_EQ(Le32(after, n.offset + 14), o.crc);
  }
  EXPECT_EQ(zip->ZipItems(3)->LocalHeaderOffset(), l.items[3].offset);
  EXPECT_EQ(zip->ZipItems(3)->PendingAction(), iaNone);
  EXPECT_FALSE(zip->Modified());
  EXPECT_EQ(FailuresOnTest(dir / "old.zip"), 0);
}

TEST(ZipSaveTest, CopiedItemsKeepRawNamesAndGetTheDescriptorsTheirFlagsPromise) {
  ScratchDir dir;
  ZipBuilder b;
  ZipEntry oem;
  oem.name = "caf\x82.txt";  // code page 437: "café"
  oem.data = Bytes("coffee");
  ZipEntry streamed;
  streamed.name = "streamed.txt";
  const std::vector<uint8_t> text(2000, 's');
  streamed.method = 8;
  streamed.flag = kFlagDataDescriptor;
  streamed.data = testing::RawDeflate(text);
  streamed.uncompressed_size = 2000;
  streamed.crc = Crc32Of(text);
  b.entries = {oem, streamed};
  WriteFile(dir / "t.zip", b.Build());
  auto zip = Open(dir / "t.zip");
  EXPECT_EQ(zip->Items(0)->StoredName(), "caf\xc3\xa9.txt");
  zip->SetZipComment("touched");
  zip->Save();

  const std::vector<uint8_t> after = ReadFile(dir / "t.zip");
  const Layout l = Parse(after);
  ASSERT_EQ(l.items.size(), 2u);
  const std::vector<uint8_t> raw = Bytes("caf\x82.txt");
  EXPECT_EQ(l.items[0].name, raw);
  EXPECT_EQ(LocalNameOf(after, l.items[0]), raw);
  // The deflated item with bit 3 is followed by exactly 12 descriptor bytes.
  const Central& s = l.items[1];
  const size_t data_end = s.offset + 30 + Le16(after, s.offset + 26) + s.csize;
  EXPECT_EQ(Le32(after, data_end), s.crc);
  EXPECT_EQ(Le32(after, data_end + 4), s.csize);
  EXPECT_EQ(Le32(after, data_end + 8), 2000u);
  EXPECT_EQ(data_end + 12, l.directory_offset);
  EXPECT_EQ(FailuresOnTest(dir / "t.zip"), 0);
}

TEST(ZipSaveTest, NewEncryptedItemGetsExactlyOneDescriptor) {
  ScratchDir dir;
  WriteFile(dir / "a.txt", std::string(1000, 'a'));
  auto zip = Create(dir / "e.zip");
  zip->SetPassword("pw");
  zip->Add(zip->NewItem(dir / "a.txt"));
  zip->Save();
  for (int round = 0; round < 2; ++round) {
    const std::vector<uint8_t> bytes = ReadFile(dir / "e.zip");
    const Layout l = Parse(bytes);
    ASSERT_EQ(l.items.size(), 1u);
    const Central& c = l.items[0];
    EXPECT_EQ(c.flag & 9, 9);
    const size_t data_end = c.offset + 30 + Le16(bytes, c.offset + 26) + c.csize;
    EXPECT_EQ(data_end + 12, l.directory_offset) << round;
    EXPECT_EQ(Le32(bytes, data_end), c.crc);
    // A second save copies the item and still writes one descriptor, not two.
    zip->SetZipComment("again");
    zip->Save();
  }
  EXPECT_EQ(FailuresOnTest(dir / "e.zip", "pw"), 0);
}

TEST(ZipSaveTest, VanishedFileIsReportedAndLeftOutAndFailedFreshenKeepsTheOldItem) {
  ScratchDir dir;
  WriteFile(dir / "keep.txt", std::string(100, 'k'));
  WriteFile(dir / "gone.txt", std::string(100, 'g'));
  auto zip = Create(dir / "v.zip");
  zip->SetStoreOptions(soStripPath);
  zip->Add(zip->NewItem(dir / "keep.txt"));
  zip->Add(zip->NewItem(dir / "gone.txt"));
  std::filesystem::remove(dir / "gone.txt");
  struct Report {
    std::string name;
    ProcessType type;
    ErrorClass error_class;
    int32_t code;
    std::string message;
  };
  std::vector<Report> reports;
  zip->OnProcessItemFailure = [&](void*, ArchiveItem* item, ProcessType type, ErrorClass ec,
                                  int32_t code) {
    reports.push_back({item->StoredName(), type, ec, code, zip->FailureMessage()});
  };
  zip->Save();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].name, "gone.txt");
  EXPECT_EQ(reports[0].type, ptAdd);
  EXPECT_EQ(reports[0].error_class, ecFileOpenError);
  EXPECT_EQ(reports[0].code, 0);
  EXPECT_NE(reports[0].message.find("gone.txt"), std::string::npos);
  ASSERT_EQ(zip->ItemCount(), 1);
  EXPECT_EQ(zip->Items(0)->StoredName(), "keep.txt");
  EXPECT_EQ(Parse(ReadFile(dir / "v.zip")).items.size(), 1u);

  // Freshening from a file that is gone by the time of the save keeps the stored version.
  const std::vector<uint8_t> saved = ReadFile(dir / "v.zip");
  zip->FreshenItem(0);  // the file is unchanged: nothing to do
  EXPECT_EQ(zip->Items(0)->PendingAction(), iaNone);
  WriteFile(dir / "keep.txt", std::string(200, 'K'));
  zip->FreshenItem(0);
  ASSERT_EQ(zip->Items(0)->PendingAction(), iaFreshen);
  std::filesystem::remove(dir / "keep.txt");
  zip->Save();
  EXPECT_EQ(reports.size(), 2u);
  ASSERT_EQ(zip->ItemCount(), 1);
  EXPECT_EQ(Parse(ReadFile(dir / "v.zip")).items[0].usize, 100u);
  EXPECT_EQ(FailuresOnTest(dir / "v.zip"), 0);
}

// A file size limit stands for a full disk, and an owner and a mode are POSIX's: Linux only.
#ifndef _WIN32
// Writes beyond a size fail with EFBIG for as long as it lives, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  sighandler_t old_handler_;
};

TEST(ZipSaveTest, FailedRewriteLeavesTheOldArchiveAndItsItemsAsTheyWere) {
  ScratchDir dir;
  WriteFile(dir / "a.bin", testing::RandomBytes(300000, 1));
  auto zip = Create(dir / "f.zip");
  zip->SetCompressionMethodToUse(smStored);
  zip->Add(zip->NewItem(dir / "a.bin"));
  zip->Save();
  std::filesystem::permissions(dir / "f.zip", std::filesystem::perms(0640));
  const std::vector<uint8_t> before = ReadFile(dir / "f.zip");

  WriteFile(dir / "b.bin", testing::RandomBytes(300000, 2));
  zip->Add(zip->NewItem(dir / "b.bin"));
  zip->SetTempDirectory(dir.path().string());
  {
    // The work streams keep most pages in memory; the new archive of 600 KB does not fit.
    FileSizeLimit limit(560000);
    EXPECT_THROW(zip->Save(), BadStreamError);
  }
  EXPECT_EQ(ReadFile(dir / "f.zip"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
  // The archive object still describes the file on disk, and the addition is still pending.
  EXPECT_EQ(zip->ZipItems(0)->LocalHeaderOffset(), 0u);
  EXPECT_EQ(zip->Items(1)->PendingAction(), iaAdd);
  EXPECT_TRUE(zip->Modified());
  int failures = 0;
  zip->OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
    ++failures;
  };
  zip->TestItem(0);
  EXPECT_EQ(failures, 0);

  // Once there is room the same save succeeds and keeps the archive's permissions.
  zip->Save();
  EXPECT_EQ(Parse(ReadFile(dir / "f.zip")).items.size(), 2u);
  EXPECT_EQ(std::filesystem::status(dir / "f.zip").permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(FailuresOnTest(dir / "f.zip"), 0);
}

// The new archive is gathered in a buffer of 1 MiB: items that end just before, at and after its
// edge, a header completed after its data left the buffer, and a failed item taken back out.
#endif

TEST(ZipSaveTest, ItemsAroundTheWriteBufferReadBackWithUnzip) {
  if (!testing::HaveTool("unzip")) GTEST_SKIP();
  const size_t mib = size_t{1} << 20;
  const struct {
    const char* name;
    size_t size;
    bool text;
  } files[] = {{"empty", 0, false},  {"one", 1, false},        {"under", mib - 60, false},
               {"edge", mib, true},  {"over", mib + 1, false}, {"big", 5 * mib / 2, true},
               {"gone", 100, false}, {"tail", 3000, true}};
  for (const int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    ScratchDir dir;
    auto zip = Create(dir / "b.zip");
    zip->SetThreadCount(threads);
    uint32_t seed = 1;
    for (const auto& f : files) {
      WriteFile(dir / f.name, f.text ? testing::MakeCorpus(testing::CorpusKind::kText, f.size, seed)
                                     : testing::RandomBytes(f.size, seed));
      ++seed;
      zip->Add(zip->NewItem(dir / f.name));
    }
    std::filesystem::remove(dir / "gone");
    int failures = 0;
    zip->OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
      ++failures;
    };
    zip->Save();
    EXPECT_EQ(failures, 1);
    const std::string archive = dir / "b.zip";
    EXPECT_EQ(std::system(("unzip -tqq '" + archive + "' >/dev/null 2>&1").c_str()), 0);
    for (const auto& f : files) {
      if (std::string(f.name) == "gone") continue;
      FILE* pipe = ::popen(("unzip -p '" + archive + "' '*/" + f.name + "'").c_str(), "r");
      ASSERT_NE(pipe, nullptr);
      std::vector<uint8_t> out;
      uint8_t buffer[65536];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.insert(out.end(), buffer, buffer + n);
      }
      ::pclose(pipe);
      EXPECT_EQ(out, ReadFile(dir / f.name)) << f.name;
    }
  }
}

TEST(ZipSaveTest, AbortFromProgressEndsTheSaveBeforeTheFileIsTouched) {
  ScratchDir dir;
  WriteFile(dir / "old.zip", ThreeItems().Build());
  auto zip = Open(dir / "old.zip");
  zip->SetZipComment("changed");
  zip->OnArchiveProgress = [](void*, uint8_t, bool& abort) { abort = true; };
  EXPECT_THROW(zip->Save(), UserAbortError);
  EXPECT_EQ(ReadFile(dir / "old.zip"), ThreeItems().Build());
}

TEST(ZipSaveTest, SpanningThresholdCutsASetThatReadsBack) {
  ScratchDir dir;
  for (int i = 0; i < 6; ++i) {
    WriteFile(dir / ("f" + std::to_string(i)), testing::RandomBytes(30000, 10 + i));
  }
  auto zip = Create(dir / "set.zip");
  zip->SetSpanningThreshold(65536);
  for (int i = 0; i < 6; ++i) zip->Add(zip->NewItem(dir / ("f" + std::to_string(i))));
  zip->Save();
  EXPECT_TRUE(zip->Spanned());
  const std::vector<uint8_t> first = ReadFile(dir / "set.z01");
  ASSERT_EQ(first.size(), 65536u);
  EXPECT_EQ(Le32(first, 0), 0x08074B50u);
  EXPECT_EQ(ReadFile(dir / "set.z02").size(), 65536u);
  EXPECT_TRUE(std::filesystem::exists(dir / "set.zip"));
  EXPECT_FALSE(std::filesystem::exists(dir / "set.z03"));
  const Layout last = Parse(ReadFile(dir / "set.zip"));
  EXPECT_EQ(last.this_disk, 2);
  EXPECT_EQ(last.entries, 6);
  // A set is never rewritten.
  zip->SetZipComment("no");
  EXPECT_THROW(zip->Save(), ZipSpanOverwriteError);

  auto back = Open(dir / "set.zip");
  EXPECT_EQ(back->ItemCount(), 6);
  int failures = 0;
  back->OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
    ++failures;
  };
  MemoryStream out;
  back->ExtractItemToStream(5, out);
  EXPECT_EQ(out.Data(), testing::RandomBytes(30000, 15));
  for (int i = 0; i < 6; ++i) back->TestItem(i);
  EXPECT_EQ(failures, 0);
}

TEST(ZipSaveTest, ThresholdLargerThanTheArchiveWritesOnePartMarkedPK00) {
  ScratchDir dir;
  WriteFile(dir / "small.txt", "small");
  auto zip = Create(dir / "one.zip");
  zip->SetSpanningThreshold(1 << 20);
  zip->Add(zip->NewItem(dir / "small.txt"));
  zip->Save();
  const std::vector<uint8_t> bytes = ReadFile(dir / "one.zip");
  EXPECT_EQ(Le32(bytes, 0), 0x30304B50u);
  EXPECT_EQ(Parse(bytes).items.at(0).offset, 4u);
  EXPECT_FALSE(std::filesystem::exists(dir / "one.z01"));
  EXPECT_FALSE(zip->Spanned());
}

TEST(ZipSaveTest, SelfExtractorStubsAreKept) {
  ScratchDir dir;
  ZipBuilder b = ThreeItems();
  b.prefix = Bytes(
      "\x7F"
      "ELF stub program bytes");
  WriteFile(dir / "sfx.bin", b.Build());
  auto zip = Open(dir / "sfx.bin");
  ASSERT_TRUE(zip->IsExecutable());
  zip->SetZipComment("with stub");
  zip->Save();
  const std::vector<uint8_t> after = ReadFile(dir / "sfx.bin");
  EXPECT_TRUE(std::equal(b.prefix.begin(), b.prefix.end(), after.begin()));
  EXPECT_EQ(Parse(after).items.at(0).offset, b.prefix.size());
  EXPECT_EQ(FailuresOnTest(dir / "sfx.bin"), 0);
}

TEST(ZipSaveTest, MovedAndStreamAddedItems) {
  MemoryStream memory;
  auto zip = ZipArchive::CreateOnStream(memory, "mem.zip");
  InstallInsertionProcs(*zip);
  InstallExtractionProcs(*zip);
  MemoryStream source(Bytes(std::string(4000, 'q')));
  zip->SetSourceStream(&source);
  auto item = zip->NewItem("/x/streamed.txt");
  item->SetPendingAction(iaStreamAdd);
  zip->Add(std::move(item));
  zip->Items(0)->SetPendingAction(iaStreamAdd);
  zip->Save();
  ASSERT_EQ(zip->ItemCount(), 1);
  zip->MoveItem(zip->Items(0), "renamed.txt");
  zip->Save();
  const Layout l = Parse(memory.Data());
  ASSERT_EQ(l.items.size(), 1u);
  EXPECT_EQ(l.items[0].name, Bytes("renamed.txt"));
  EXPECT_EQ(LocalNameOf(memory.Data(), l.items[0]), Bytes("renamed.txt"));
  MemoryStream out;
  zip->ExtractItemToStream(0, out);
  EXPECT_EQ(out.Data(), Bytes(std::string(4000, 'q')));

  // Without a source stream the stream procedure fails the item, which is dropped.
  zip->SetSourceStream(nullptr);
  zip->Add(zip->NewItem("/x/other.txt"));
  zip->Items(1)->SetPendingAction(iaStreamAdd);
  int failures = 0;
  zip->OnProcessItemFailure = [&](void*, ArchiveItem*, ProcessType, ErrorClass, int32_t) {
    ++failures;
  };
  zip->Save();
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(zip->ItemCount(), 1);
}

int VmsFilesIn(const std::string& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    count += entry.path().filename().string().rfind("VMS", 0) == 0 ? 1 : 0;
  }
  return count;
}

TEST(ZipSaveTest, TheNewArchiveIsWrittenBesideTheOldOneAndNowhereElse) {
  ScratchDir dir;
  ScratchDir tmp;
  testing::ScopedEnv env("TMPDIR", tmp.path().string());
  WriteFile(dir / "old.zip", ThreeItems().Build());
  WriteFile(dir / "big.bin", testing::RandomBytes(3 << 20, 5));
  auto zip = Open(dir / "old.zip");
  zip->SetCompressionMethodToUse(smDeflated);
  zip->Add(zip->NewItem(dir / "big.bin"));
  int checks = 0;
  zip->OnArchiveItemProgress = [&](void*, ArchiveItem*, uint8_t, bool&) {
    ++checks;
    EXPECT_EQ(VmsFilesIn(tmp.path().string()), 0);
    EXPECT_EQ(VmsFilesIn(dir.path().string()), 1);
  };
  zip->Save();
  EXPECT_GT(checks, 10);
  EXPECT_EQ(VmsFilesIn(dir.path().string()), 0);
  EXPECT_EQ(FailuresOnTest(dir / "old.zip"), 0);
}

#ifndef _WIN32  // links, owners and modes
TEST(ZipSaveTest, ALinkedArchiveIsUpdatedWhereItLivesWithItsOwnerAndMode) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "store");
  WriteFile(dir / "store/real.zip", ThreeItems().Build());
  std::filesystem::permissions(dir / "store/real.zip", std::filesystem::perms(0640));
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown((dir / "store/real.zip").c_str(), 1234, 5678), 0);
  }
  std::filesystem::create_symlink("store/real.zip", dir / "link.zip");
  auto zip = Open(dir / "link.zip");
  zip->SetZipComment("updated");
  zip->Save();
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.zip"));
  EXPECT_EQ(Parse(ReadFile(dir / "store/real.zip")).comment, "updated");
  EXPECT_EQ(std::filesystem::status(dir / "store/real.zip").permissions(),
            std::filesystem::perms(0640));
  struct stat st {};
  ::stat((dir / "store/real.zip").c_str(), &st);
  if (root) {
    EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(1234u, 5678u));
  }
  EXPECT_EQ(VmsFilesIn(dir / "store") + VmsFilesIn(dir.path().string()), 0);
  EXPECT_EQ(FailuresOnTest(dir / "link.zip"), 0);
}
#endif

TEST(ZipSaveTest, ANewArchiveAppearsWholeWithAnItemOrNotAtAll) {
  struct Case {
    const char* label;
    const char* file;     // added before the save; null: nothing
    bool full_disk;       // writes past 10 KB fail
    bool made_meanwhile;  // another program makes a file of that name before the save
    bool fails;           // the save raises BadStreamError
    bool appears;
  };
  const Case cases[] = {
      {"nothing added", nullptr, false, false, false, false},
      {"only a failing item", "missing.bin", false, false, false, false},
      {"full disk", "big.bin", true, false, true, false},
      {"made by another program meanwhile", "small.txt", false, true, true, false},
      {"one item", "small.txt", false, false, false, true},
  };
  for (const Case& c : cases) {
    if (testing::kOnWindows && c.full_disk) continue;
    ScratchDir dir;
    WriteFile(dir / "big.bin", testing::RandomBytes(300000, 2));
    WriteFile(dir / "small.txt", "small");
    auto zip = Create(dir / "new.zip");
    zip->SetCompressionMethodToUse(smStored);
    if (c.file != nullptr) zip->Add(zip->NewItem(dir / c.file));
    if (c.made_meanwhile) WriteFile(dir / "new.zip", "theirs");
    bool failed = false;
    {
#ifndef _WIN32
      std::unique_ptr<FileSizeLimit> limit;
      if (c.full_disk) limit = std::make_unique<FileSizeLimit>(10000);
#endif
      try {
        zip->Save();
      } catch (const BadStreamError&) {
        failed = true;
      }
    }
    EXPECT_EQ(failed, c.fails) << c.label;
    EXPECT_EQ(VmsFilesIn(dir.path().string()), 0) << c.label;
    if (c.made_meanwhile) {
      EXPECT_EQ(ReadFile(dir / "new.zip"), Bytes("theirs")) << c.label;
    } else {
      ASSERT_EQ(std::filesystem::exists(dir / "new.zip"), c.appears) << c.label;
      if (c.appears) {
        EXPECT_EQ(FailuresOnTest(dir / "new.zip"), 0) << c.label;
      }
    }
  }
}

#ifndef VZ_SANITIZED
// The item count decides the end records: from the classic record's mark on (65,535 items), a ZIP64
// end record and its locator stand between the directory and the classic end record, whose count
// holds the mark; one item fewer keeps the classic bytes, also when a save drops an item from a
// ZIP64 archive. Python's zipfile and unzip are the oracles; our own loading gives the count back.
TEST(ZipSaveTest, TheEndRecordTurnsZip64ExactlyWhenTheItemCountNoLongerFits) {
  ScratchDir dir;
  const std::string at_mark = dir / "at_mark.zip";
  const std::string below = dir / "below.zip";
  {
    MemoryStream memory;
    auto zip = ZipArchive::CreateOnStream(memory, "at_mark.zip");
    InstallInsertionProcs(*zip);
    zip->SetBaseDirectory("");
    zip->SetCompressionMethodToUse(smStored);
    MemoryStream empty;
    zip->SetSourceStream(&empty);
    for (int i = 0; i < 0xFFFF; ++i) {
      zip->Add(zip->NewItem(std::to_string(i)));
      zip->Items(i)->SetPendingAction(iaStreamAdd);
    }
    zip->Save();
    WriteFile(at_mark, memory.Data());
    WriteFile(below, memory.Data());
  }
  {
    auto zip = Open(below);
    EXPECT_EQ(zip->ItemCount(), 0xFFFF);
    ASSERT_EQ(zip->DeleteMatching("0", ""), 1);
    zip->Save();
  }
  EXPECT_EQ(Open(below)->ItemCount(), 0xFFFE);

  for (const auto& [path, count] : {std::pair(at_mark, 0xFFFF), std::pair(below, 0xFFFE)}) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> bytes = ReadFile(path);
    const size_t end = bytes.size() - 22;
    ASSERT_EQ(Le32(bytes, end), 0x06054B50u);
    EXPECT_EQ(Le16(bytes, end + 10), static_cast<uint32_t>(count));
    const size_t directory_end = Le32(bytes, end + 16) + Le32(bytes, end + 12);
    if (count == 0xFFFF) {
      // The ZIP64 end record right behind the directory, then its locator pointing to it.
      ASSERT_EQ(directory_end + 56 + 20, end);
      EXPECT_EQ(Le32(bytes, directory_end), 0x06064B50u);
      EXPECT_EQ(Le32(bytes, directory_end + 32), static_cast<uint32_t>(count));
      EXPECT_EQ(Le32(bytes, end - 20), 0x07064B50u);
      EXPECT_EQ(Le32(bytes, end - 12), directory_end);
    } else {
      EXPECT_EQ(directory_end, end);
    }
    if (testing::HaveTool("unzip")) {
      EXPECT_EQ(std::system(("unzip -tqq " + path + " >/dev/null 2>&1").c_str()), 0);
    }
  }
  if (testing::HaveTool("python3")) {
    const std::string command =
        "python3 -c 'import sys, zipfile\n"
        "for n in sys.argv[1:]: print(len(zipfile.ZipFile(n).infolist()))' " +
        at_mark + " " + below;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string counts;
    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) counts += buffer;
    ::pclose(pipe);
    EXPECT_EQ(counts, "65535\n65534\n");
  }
}
#endif

}  // namespace
}  // namespace vz
