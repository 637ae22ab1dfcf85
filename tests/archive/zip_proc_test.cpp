#include "archive/zip_proc.h"
#include "archive/item_procedures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "archive/utils.h"
#include "codec/crypt_streams.h"
#include "codec/deflate_base.h"
#include "platform/dos_time.h"
#include "platform/fs.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"
#include "test_support.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

using testing::RandomBytes;
using testing::ScratchDir;

std::vector<uint8_t> Text(size_t n) {
  std::vector<uint8_t> out;
  for (int line = 0; out.size() < n; ++line) {
    const std::string s = "line " + std::to_string(line) + " of some text that repeats\n";
    out.insert(out.end(), s.begin(), s.end());
  }
  out.resize(n);
  return out;
}

// An archive over memory, the item procedures' host.
struct Host {
  MemoryStream backing;
  std::unique_ptr<ZipArchive> zip = ZipArchive::CreateOnStream(backing, "mem.zip");
  ZipItem item;
  MemoryStream out;

  Host(ZipSupportedMethod method, ZipDeflationOption option, const std::string& password = "") {
    zip->SetCompressionMethodToUse(method);
    zip->SetDeflationOption(option);
    zip->SetPassword(password);
  }
  void Compress(const std::vector<uint8_t>& data) {
    MemoryStream in(data);
    CompressItemStream(*zip, item, out, in);
  }
  // The item's data after the encryption header, decrypted; empty when the check byte is wrong.
  std::vector<uint8_t> Decrypted(const std::string& password) {
    std::vector<uint8_t> data = out.Data();
    ZipDecryptEngine engine;
    if (data.size() < 12 ||
        !engine.VerifyHeader({data.data(), 12}, password, uint32_t{item.FileTime()} << 16)) {
      return {};
    }
    data.erase(data.begin(), data.begin() + 12);
    engine.Decode(data.data(), static_cast<int64_t>(data.size()));
    return data;
  }
};

TEST(CompressItemTest, EmptySourceIsStoredWithNothingButAnEncryptionHeader) {
  Host plain(smBestMethod, doMaximum);
  plain.Compress({});
  EXPECT_EQ(plain.item.CompressionMethod(), 0);
  EXPECT_EQ(plain.item.CRC32(), 0u);
  EXPECT_EQ(plain.item.CompressedSize(), 0);
  EXPECT_EQ(plain.item.VersionNeeded(), 10);
  EXPECT_EQ(plain.item.Flag(), 0);

  Host locked(smDeflated, doNormal, "pw");
  locked.Compress({});
  EXPECT_EQ(locked.item.CompressionMethod(), 0);
  EXPECT_EQ(locked.item.CompressedSize(), 12);
  EXPECT_EQ(locked.item.Flag() & 0x0009, 0x0009);
  EXPECT_TRUE(locked.Decrypted("pw").empty());
  EXPECT_EQ(locked.out.Size(), 12);
}

TEST(CompressItemTest, DeflationOptionsSetTheirFlagBitsAndRoundTrip) {
  struct Case {
    ZipDeflationOption option;
    uint16_t bits;
  };
  const Case cases[] = {
      {doInvalid, 0}, {doNormal, 0}, {doMaximum, 2}, {doFast, 4}, {doSuperFast, 6}};
  const std::vector<uint8_t> text = Text(50000);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.option));
    Host host(smDeflated, c.option);
    host.Compress(text);
    EXPECT_EQ(host.item.CompressionMethod(), 8);
    EXPECT_EQ(host.item.VersionNeeded(), 20);
    EXPECT_EQ(host.item.Flag() & 0x0006, c.bits);
    EXPECT_EQ(host.item.CRC32(), Crc32Of(text));
    EXPECT_EQ(host.item.UncompressedSize(), 50000);
    EXPECT_EQ(host.item.CompressedSize(), host.out.Size());
    EXPECT_EQ(testing::RawInflate(host.out.Data()), text);
    // Only the '0' preset leaves the data in stored blocks.
    if (c.option == doInvalid) {
      EXPECT_GT(host.out.Size(), 50000);
    } else {
      EXPECT_LT(host.out.Size(), 25000);
    }
  }
}

TEST(CompressItemTest, BestMethodStoresWhatDeflateWouldGrowAndKeepsTheOptionBits) {
  const std::vector<uint8_t> noise = RandomBytes(40000, 7);
  Host host(smBestMethod, doMaximum);
  host.Compress(noise);
  EXPECT_EQ(host.item.CompressionMethod(), 0);
  EXPECT_EQ(host.item.VersionNeeded(), 10);
  EXPECT_EQ(host.item.Flag() & 0x0006, 2);
  EXPECT_EQ(host.out.Data(), noise);
  EXPECT_EQ(host.item.CRC32(), Crc32Of(noise));

  Host text(smBestMethod, doNormal);
  text.Compress(Text(40000));
  EXPECT_EQ(text.item.CompressionMethod(), 8);
  EXPECT_EQ(text.item.VersionNeeded(), 20);

  // With a password both candidates carry the 12-byte header; noise is still stored.
  Host locked(smBestMethod, doNormal, "secret");
  locked.Compress(noise);
  EXPECT_EQ(locked.item.CompressionMethod(), 0);
  EXPECT_EQ(locked.item.CompressedSize(), 40012);
  EXPECT_EQ(locked.Decrypted("secret"), noise);
}

TEST(CompressItemTest, PasswordSetsBitsZeroAndThreeAndTheCheckByteIsTheTimesHighByte) {
  const std::vector<uint8_t> text = Text(20000);
  for (ZipSupportedMethod method : {smStored, smDeflated}) {
    SCOPED_TRACE(static_cast<int>(method));
    Host host(method, doNormal, "open sesame");
    host.Compress(text);
    EXPECT_EQ(host.item.Flag() & 0x0009, 0x0009);
    EXPECT_TRUE(host.item.Encrypted());
    const std::vector<uint8_t> plain = host.Decrypted("open sesame");
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(method == smStored ? plain : testing::RawInflate(plain), text);
    EXPECT_TRUE(host.Decrypted("wrong password").empty() ||
                host.Decrypted("wrong password") != plain);
  }
}

TEST(CompressItemTest, MemorySourceGetsTheTimeOfCompressionAndReadsFromItsPosition) {
  Host host(smStored, doNormal);
  host.item.SetExternalFileAttributes(0x21);
  const uint32_t before = platform::UnixTimeToDosDateTime(std::time(nullptr));
  MemoryStream in(Text(1000));
  in.SetPosition(600);
  CompressItemStream(*host.zip, host.item, host.out, in);
  const uint32_t after = platform::UnixTimeToDosDateTime(std::time(nullptr));
  const uint32_t stamp = (uint32_t{host.item.FileDate()} << 16) | host.item.FileTime();
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
  EXPECT_EQ(host.item.ExternalFileAttributes(), 0u);
  // Only the bytes from the position on are the item, and its sizes say so.
  const std::vector<uint8_t> whole = Text(1000);
  const std::vector<uint8_t> tail(whole.begin() + 600, whole.end());
  EXPECT_EQ(host.out.Data(), tail);
  EXPECT_EQ(host.item.UncompressedSize(), 400);
  EXPECT_EQ(host.item.CRC32(), Crc32Of(tail));
}

TEST(CompressItemTest, StoreReportsEachWholePercentOnceAndEndsWithHundred) {
  Host host(smStored, doNormal);
  std::vector<int> reports;
  host.zip->ItemProgressProc = [&](uint8_t p, bool&) { reports.push_back(p); };
  host.Compress(RandomBytes(1 << 20));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), 100);
  for (size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i], reports[i - 1]);

  Host aborting(smStored, doNormal);
  aborting.zip->ItemProgressProc = [](uint8_t, bool& abort) { abort = true; };
  EXPECT_THROW(aborting.Compress(RandomBytes(1 << 20)), UserAbortError);
  EXPECT_EQ(aborting.out.Size(), 0);  // the output gets nothing from a failed run
}

TEST(CompressItemTest, FilesAreFoundBelowTheBaseFolderWithoutChangingTheCurrentFolder) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() / "sub");
  testing::WriteFile(dir / "sub/a.txt", Text(3000));
  std::filesystem::permissions(dir / "sub/a.txt", std::filesystem::perms::owner_read);
  const std::string cwd = platform::CurrentFolder();

  Host host(smBestMethod, doNormal);
  host.zip->SetBaseDirectory(dir.path().string());
  host.item.SetDiskPath("sub/a.txt");
  CompressItemFile(*host.zip, host.item, host.out);
  EXPECT_EQ(platform::CurrentFolder(), cwd);
  EXPECT_EQ(host.item.UncompressedSize(), 3000);
  EXPECT_EQ(host.item.ExternalFileAttributes(), kFaArchive | kFaReadOnly);
  const uint32_t stamp = (uint32_t{host.item.FileDate()} << 16) | host.item.FileTime();
  EXPECT_EQ(stamp, FileDosTime(dir / "sub/a.txt"));
  EXPECT_EQ(testing::RawInflate(host.out.Data()), Text(3000));

  // Missing files and folders fail before anything is written.
  Host missing(smStored, doNormal);
  missing.item.SetDiskPath(dir / "nope.txt");
  EXPECT_THROW(CompressItemFile(*missing.zip, missing.item, missing.out), FileOpenError);
  missing.item.SetDiskPath(dir / "sub");
  EXPECT_THROW(CompressItemFile(*missing.zip, missing.item, missing.out), FileOpenError);
  EXPECT_EQ(missing.out.Size(), 0);
}

TEST(CompressItemTest, ItemsMadeOnUnixKeepAFileModeBesideTheDosBits) {
  VZ_SKIP_ON_WINDOWS("POSIX file modes");
  ScratchDir dir;
  testing::WriteFile(dir / "run.sh", "#!/bin/sh\n");
  std::filesystem::permissions(dir / "run.sh", std::filesystem::perms(0750));
  Host host(smStored, doNormal);
  host.item.SetDiskPath(dir / "run.sh");
  host.item.SetVersionMade(0x031E);  // Info-ZIP on Unix
  CompressItemFile(*host.zip, host.item, host.out);
  EXPECT_EQ(host.item.ExternalFileAttributes(), (0100750u << 16) | kFaArchive);
  EXPECT_EQ(host.item.VersionMade(), 0x0314);

  Host dos(smStored, doNormal);
  dos.item.SetDiskPath(dir / "run.sh");
  CompressItemFile(*dos.zip, dos.item, dos.out);
  EXPECT_EQ(dos.item.ExternalFileAttributes(), kFaArchive);
}

TEST(CompressItemTest, StreamProcedureWithoutASourceRaisesNoInsertion) {
  Host host(smStored, doNormal);
  InstallInsertionProcs(*host.zip);
  EXPECT_THROW(host.zip->Insertion()->InsertFromStreamProc(*host.zip, host.item, host.out, nullptr),
               ZipNoInsertionError);
}

}  // namespace
}  // namespace vz
