#include <gtest/gtest.h>

#include <random>

#include "platform/file_stream.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::ScratchDir;

TEST(MemoryStreamTest, WritesReadsAndFillsGapsWithZeros) {
  MemoryStream s;
  const std::vector<uint8_t> abc = {'a', 'b', 'c'};
  EXPECT_EQ(s.Write(abc), 3);
  s.Seek(5, kSeekBegin);
  s.WriteBuffer(abc);
  EXPECT_EQ(s.Size(), 8);
  EXPECT_EQ(s.Data(), (std::vector<uint8_t>{'a', 'b', 'c', 0, 0, 'a', 'b', 'c'}));
  s.SetPosition(6);
  std::vector<uint8_t> out(10);
  EXPECT_EQ(s.Read(out), 2);
  EXPECT_EQ(s.Read(out), 0);
}

TEST(MemoryStreamTest, ShortWholeBufferReadRaisesStreamReadError) {
  MemoryStream s(std::vector<uint8_t>{1, 2, 3});
  std::vector<uint8_t> out(4);
  try {
    s.ReadBuffer(out);
    FAIL() << "expected a stream read error";
  } catch (const FilerError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
}

TEST(FileStreamTest, CreateWriteReopenAndResize) {
  ScratchDir dir;
  const std::string path = dir / "f.bin";
  {
    FileStream f(path, kFmCreate);
    f.WriteBuffer(testing::RandomBytes(10000));
    EXPECT_EQ(f.Size(), 10000);
    f.SetSize(4000);
    EXPECT_EQ(f.Size(), 4000);
    EXPECT_EQ(f.Position(), 4000);
  }
  FileStream r(path, kFmOpenRead | kFmShareDenyWrite);
  std::vector<uint8_t> back(4000);
  r.ReadBuffer(back);
  const auto expected = testing::RandomBytes(10000);
  EXPECT_TRUE(std::equal(back.begin(), back.end(), expected.begin()));
  EXPECT_EQ(r.Seek(-10, kSeekEnd), 3990);
  // A read-only stream takes no bytes, and a whole-buffer write says so.
  EXPECT_THROW(r.WriteBuffer(back), StreamWriteError);
}

// The position a file stream keeps for itself follows reads, writes, positioned reads, seeks and
// resizing as a memory stream's does, and the bytes end up the same.
TEST(FileStreamTest, PositionAndBytesFollowAMemoryStream) {
  ScratchDir dir;
  FileStream file(dir / "f.bin", kFmCreate);
  MemoryStream memory;
  std::mt19937 rng(5);
  std::vector<uint8_t> bytes(3000);
  for (int step = 0; step < 400; ++step) {
    const auto n = static_cast<size_t>(rng() % bytes.size());
    const int64_t size = memory.Size();
    const int64_t at = size == 0 ? 0 : static_cast<int64_t>(rng() % static_cast<uint64_t>(size));
    switch (rng() % 6) {
      case 0:
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(file.Write({bytes.data(), n}), memory.Write({bytes.data(), n}));
        break;
      case 1: {
        std::vector<uint8_t> a(n), b(n);
        EXPECT_EQ(file.Read(a), memory.Read(b));
        EXPECT_EQ(a, b);
        break;
      }
      case 2: {
        std::vector<uint8_t> a(n);
        EXPECT_EQ(file.ReadAt(at, a), std::min<int64_t>(static_cast<int64_t>(n), size - at));
        break;
      }
      case 3:
        EXPECT_EQ(file.Seek(at, kSeekBegin), memory.Seek(at, kSeekBegin));
        break;
      case 4: {
        const int64_t by = at - memory.Position();
        EXPECT_EQ(file.Seek(by, kSeekCurrent), memory.Seek(by, kSeekCurrent));
        EXPECT_EQ(file.Seek(-at, kSeekEnd), memory.Seek(-at, kSeekEnd));
        break;
      }
      default:
        file.SetSize(at + static_cast<int64_t>(n) / 2);
        memory.SetSize(at + static_cast<int64_t>(n) / 2);
        break;
    }
    ASSERT_EQ(file.Position(), memory.Position()) << "step " << step;
    ASSERT_EQ(file.Size(), memory.Size()) << "step " << step;
  }
  EXPECT_EQ(testing::ReadFile(dir / "f.bin"), memory.Data());
}

TEST(FileStreamTest, OpenAndCreateFailuresNameTheFile) {
  ScratchDir dir;
  try {
    FileStream f(dir / "missing.bin", kFmOpenRead);
    FAIL();
  } catch (const FileOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos);
    EXPECT_EQ(e.OsCode(), ENOENT);
  }
  EXPECT_THROW(FileStream(dir / "no/such/folder/f.bin", kFmCreate), FileCreateError);
  // A folder is not a file to read.
  EXPECT_THROW(FileStream(dir.path().string(), kFmOpenRead), FileOpenError);
}

TEST(StreamTest, CopyFromWholeSourceAndCount) {
  MemoryStream src(testing::RandomBytes(200000, 7));
  src.SetPosition(123);
  MemoryStream all;
  EXPECT_EQ(all.CopyFrom(src, 0), 200000);
  EXPECT_EQ(all.Data(), src.Data());
  src.SetPosition(100);
  MemoryStream part;
  EXPECT_EQ(part.CopyFrom(src, 50), 50);
  EXPECT_TRUE(std::equal(part.Data().begin(), part.Data().end(), src.Data().begin() + 100));
  src.SetPosition(199990);
  EXPECT_THROW(part.CopyFrom(src, 50), StreamReadError);
}

}  // namespace
}  // namespace vz
