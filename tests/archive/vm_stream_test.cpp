// The paged work stream against a plain byte vector as the model, with its swap file watched in a
// temporary folder of the test's own.
#include "archive/vm_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>

#include "archive/temp_file_stream.h"
#include "errors/errors.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::RandomBytes;
using testing::ScopedEnv;
using testing::ScratchDir;

std::vector<std::string> VmsFilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("VMS", 0) == 0) names.push_back(entry.path().string());
  }
  return names;
}

std::vector<uint8_t> ReadAll(Stream& s) {
  std::vector<uint8_t> out(static_cast<size_t>(s.Size()));
  s.SetPosition(0);
  s.ReadBuffer(out);
  return out;
}

TEST(VirtualMemoryStreamTest, SeveralMegabytesThroughTheSwapFileAtRandomPositions) {
  ScratchDir tmp;
  ScopedEnv env("TMPDIR", tmp.path().string());
  std::vector<uint8_t> model = RandomBytes(3 * 1024 * 1024 + 123, 7);
  std::mt19937 rng(42);
  {
    VirtualMemoryStream vms;
    EXPECT_TRUE(VmsFilesIn(tmp.path()).empty());
    size_t at = 0;
    while (at < model.size()) {  // uneven chunks, crossing page borders
      const size_t n = std::min<size_t>(model.size() - at, 1 + rng() % 10000);
      ASSERT_EQ(vms.Write({model.data() + at, n}), static_cast<int64_t>(n));
      at += n;
    }
    EXPECT_EQ(vms.Size(), static_cast<int64_t>(model.size()));
    EXPECT_LE(vms.PagesInMemory(), 25);
    const auto swap_files = VmsFilesIn(tmp.path());
    ASSERT_EQ(swap_files.size(), 1u);
    EXPECT_EQ(swap_files[0], vms.SwapFileName());

    for (int i = 0; i < 300; ++i) {
      const size_t pos = rng() % model.size();
      const size_t n = rng() % 20000;
      if (i % 3 == 0) {  // overwrite, sometimes beyond the end
        const auto bytes = RandomBytes(n, static_cast<uint32_t>(i));
        vms.Seek(static_cast<int64_t>(pos), kSeekBegin);
        vms.WriteBuffer(bytes);
        if (pos + n > model.size()) model.resize(pos + n);
        std::copy(bytes.begin(), bytes.end(), model.begin() + static_cast<ptrdiff_t>(pos));
      } else {
        std::vector<uint8_t> got(n);
        vms.Seek(static_cast<int64_t>(pos), kSeekBegin);
        const int64_t read = vms.Read(got);
        const size_t expected = std::min(n, model.size() - pos);
        ASSERT_EQ(read, static_cast<int64_t>(expected));
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<ptrdiff_t>(expected),
                               model.begin() + static_cast<ptrdiff_t>(pos)))
            << "at " << pos;
      }
    }
    EXPECT_EQ(ReadAll(vms), model);
  }
  EXPECT_TRUE(VmsFilesIn(tmp.path()).empty());
}

TEST(VirtualMemoryStreamTest, SmallStreamsStayInMemoryAndReadsStopAtTheEnd) {
  ScratchDir tmp;
  ScopedEnv env("TMPDIR", tmp.path().string());
  VirtualMemoryStream vms;
  const auto data = RandomBytes(300'000);
  vms.WriteBuffer(data);
  EXPECT_EQ(ReadAll(vms), data);

  std::vector<uint8_t> buffer(100);
  vms.Seek(400'000, kSeekBegin);
  EXPECT_EQ(vms.Read(buffer), 0);
  EXPECT_EQ(vms.Position(), 400'000);
  vms.Seek(-10, kSeekEnd);
  EXPECT_EQ(vms.Read(buffer), 10);
  EXPECT_EQ(vms.Seek(-5, kSeekCurrent), 299'995);
  vms.Seek(-50, kSeekBegin);  // a position below 0 is allowed but holds nothing
  EXPECT_EQ(vms.Read(buffer), 0);
  EXPECT_EQ(vms.Write(buffer), 0);
  EXPECT_EQ(vms.Size(), 300'000);

  // Positions saturate rather than wrap around, and hold nothing there.
  EXPECT_EQ(vms.Seek(INT64_MAX, kSeekBegin), INT64_MAX);
  EXPECT_EQ(vms.Seek(INT64_MAX, kSeekCurrent), INT64_MAX);
  EXPECT_EQ(vms.Write(buffer), 0);
  EXPECT_EQ(vms.Seek(INT64_MIN, kSeekBegin), INT64_MIN);
  EXPECT_EQ(vms.Seek(-1, kSeekCurrent), INT64_MIN);
  EXPECT_EQ(vms.Read(buffer), 0);
  EXPECT_EQ(vms.Size(), 300'000);

  VirtualMemoryStream small;
  small.WriteBuffer(RandomBytes(50'000));
  EXPECT_TRUE(small.SwapFileName().empty());  // 13 pages fit in memory
}

TEST(VirtualMemoryStreamTest, InvalidOriginIsRefusedWithItsMessage) {
  VirtualMemoryStream vms;
  for (const int origin : {3, -1}) {
    try {
      vms.Seek(0, origin);
      FAIL() << "expected VMSInvalidOriginError";
    } catch (const VMSInvalidOriginError& e) {
      EXPECT_EQ(e.ErrorCode(), 201);
      EXPECT_EQ(e.Message(),
                "VMS: invalid origin " + std::to_string(origin) + ", should be 0, 1, 2");
    }
  }
}

TEST(VirtualMemoryStreamTest, GapsAndRegrownTailsReadAsZeros) {
  ScratchDir tmp;
  ScopedEnv env("TMPDIR", tmp.path().string());
  for (const int64_t memory : {int64_t{102400}, int64_t{1}}) {  // in memory; and via the swap file
    VirtualMemoryStream vms;
    vms.SetMemoryLimit(memory);
    const std::vector<uint8_t> ones(5 * 4096, 0xFF);
    vms.WriteBuffer(ones);
    vms.SetSize(5000);
    EXPECT_EQ(vms.Position(), 5000);
    vms.Seek(20'000, kSeekBegin);
    vms.WriteBuffer(std::vector<uint8_t>{7});
    vms.SetSize(30'000);
    std::vector<uint8_t> expected(30'000, 0);
    std::fill(expected.begin(), expected.begin() + 5000, 0xFF);
    expected[20'000] = 7;
    EXPECT_EQ(ReadAll(vms), expected) << "memory " << memory;
  }
}

TEST(VirtualMemoryStreamTest, MemoryLimitIsRoundedAndBounded) {
  ScratchDir tmp;
  ScopedEnv env("TMPDIR", tmp.path().string());
  VirtualMemoryStream vms;
  EXPECT_EQ(vms.MemoryLimit(), 102'400);
  vms.SetMemoryLimit(5000);
  EXPECT_EQ(vms.MemoryLimit(), 8192);
  vms.SetMemoryLimit(0);
  EXPECT_EQ(vms.MemoryLimit(), 4096);
  vms.SetMemoryLimit(100 * 1024 * 1024);
  EXPECT_EQ(vms.MemoryLimit(), 256 * 4096);

  const auto data = RandomBytes(200 * 4096);
  vms.WriteBuffer(data);
  EXPECT_EQ(vms.PagesInMemory(), 200);
  vms.SetMemoryLimit(3 * 4096);  // evicts, writing the changed pages out
  EXPECT_EQ(vms.PagesInMemory(), 3);
  EXPECT_EQ(ReadAll(vms), data);
}

TEST(VirtualMemoryStreamTest, SwapFileGoesToTheSwapFolderWhenItExists) {
  ScratchDir tmp;
  ScratchDir swap;
  ScopedEnv env("TMPDIR", tmp.path().string());
  VirtualMemoryStream vms;
  vms.SetSwapFolder(swap.path().string());
  vms.SetMemoryLimit(4096);
  vms.WriteBuffer(RandomBytes(3 * 4096));
  EXPECT_EQ(VmsFilesIn(swap.path()).size(), 1u);
  EXPECT_TRUE(VmsFilesIn(tmp.path()).empty());
}

TEST(VirtualMemoryStreamTest, SwapFileThatCannotBeMadeIsReportedAndNoDataIsLost) {
  ScratchDir tmp;
  testing::WriteFile(tmp / "file", "x");
  // A regular file as the temporary folder stops even root from creating the swap file.
  ScopedEnv env("TMPDIR", tmp / "file");
  VirtualMemoryStream vms;
  vms.SetSwapFolder(tmp / "missing");  // not a folder: the system's temporary folder is used
  vms.SetMemoryLimit(4096);
  const auto data = RandomBytes(4096);
  vms.WriteBuffer(data);
  try {
    vms.WriteBuffer(data);
    FAIL() << "expected VMSErrorOpenSwapError";
  } catch (const VMSErrorOpenSwapError& e) {
    EXPECT_EQ(e.ErrorCode(), 202);
    EXPECT_EQ(e.Message(),
              "VMS: Cannot open swap file in " + (tmp / "file") + " (Not a directory)");
  }
  std::vector<uint8_t> back(4096);
  vms.SetPosition(0);
  EXPECT_EQ(vms.Read(back), 4096);
  EXPECT_EQ(back, data);
}

TEST(TempFileStreamTest, DeletedOrKeptWhenFreed) {
  ScratchDir tmp;
  ScratchDir folder;
  ScopedEnv env("TMPDIR", tmp.path().string());
  std::string kept;
  {
    TempFileStream deleted(true);
    EXPECT_EQ(deleted.FileName().rfind(tmp / "VMS", 0), 0u) << deleted.FileName();
    deleted.WriteBuffer(RandomBytes(1000));
    EXPECT_EQ(deleted.Size(), 1000);
    TempFileStream keep(false, folder.path().string());
    kept = keep.FileName();
    EXPECT_EQ(kept.rfind(folder / "VMS", 0), 0u) << kept;
    keep.WriteBuffer(RandomBytes(500));
  }
  EXPECT_TRUE(VmsFilesIn(tmp.path()).empty());
  EXPECT_EQ(testing::ReadFile(kept), RandomBytes(500));

  testing::WriteFile(tmp / "file", "x");
  ScopedEnv broken("TMPDIR", tmp / "file");
  EXPECT_ANY_THROW(TempFileStream(true));
}

}  // namespace
}  // namespace vz
