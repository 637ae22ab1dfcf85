#include "codec/sliding_window_stream.h"

#include <gtest/gtest.h>

#include "codec/bit_bucket.h"
#include "errors/errors.h"
#include "platform/memory_stream.h"
#include "test_support.h"

namespace vz {
namespace {

TEST(SlidingWindowStreamTest, PassesEverythingOnInOrderAndReadsBackTheWindow) {
  const auto data = testing::RandomBytes(100000, 8);
  for (size_t piece : {1u, 1000u, 8192u, 40000u}) {
    MemoryStream out;
    {
      SlidingWindowStream window(out);
      size_t at = 0;
      while (at < data.size()) {
        const size_t n = std::min(piece, data.size() - at);
        const int64_t taken = window.Write({data.data() + at, n});
        EXPECT_EQ(taken, static_cast<int64_t>(std::min<size_t>(n, 32768)));
        at += static_cast<size_t>(taken);
      }
      EXPECT_EQ(window.Size(), 100000);
      // The last 32 KB at least can always be read back, from any position there.
      EXPECT_LE(window.WindowStart(), 100000 - 32768);
      for (int64_t back : {1, 100, 8192, 32768}) {
        const int64_t position = 100000 - back;
        EXPECT_EQ(window.Seek(position, kSeekBegin), position);
        uint8_t got[64] = {};
        const int64_t n = window.Read(got);
        ASSERT_EQ(n, std::min<int64_t>(64, back));
        EXPECT_TRUE(std::equal(got, got + n, data.begin() + position)) << back;
        window.Seek(0, kSeekEnd);
      }
    }
    EXPECT_EQ(out.Data(), data) << "pieces of " << piece;
  }
}

TEST(SlidingWindowStreamTest, MisuseIsRefused) {
  MemoryStream out;
  SlidingWindowStream window(out);
  const auto data = testing::RandomBytes(50000, 3);
  window.Write({data.data(), 30000});
  window.Write({data.data() + 30000, 20000});
  EXPECT_THROW(window.Seek(0, 3), SWSInvalidOriginError);
  EXPECT_THROW(window.Seek(1, kSeekEnd), SWSInvalidPositionError);
  EXPECT_THROW(window.Seek(window.WindowStart() - 1, kSeekBegin), SWSInvalidPositionError);
  EXPECT_EQ(window.Seek(-10, kSeekEnd), 49990);
  EXPECT_THROW(window.Write({data.data(), 1}), SWSNotAtEndError);
  EXPECT_EQ(window.Seek(5, kSeekCurrent), 49995);
  uint8_t tail[10];
  EXPECT_EQ(window.Read(tail), 5);
}

TEST(SlidingWindowStreamTest, WritesAfterWhatTheOutputAlreadyHolds) {
  MemoryStream out(std::vector<uint8_t>{'h', 'e', 'a', 'd', ':'});
  out.Seek(0, kSeekEnd);
  const auto data = testing::RandomBytes(20000, 4);
  {
    SlidingWindowStream window(out);
    window.Write(data);
    EXPECT_EQ(window.Size(), 20000);
  }
  ASSERT_EQ(out.Data().size(), 20005u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), out.Data().begin() + 5));
}

TEST(SlidingWindowStreamTest, FeedsABitBucket) {
  // A bucket can only take writes at its end: the chunks must arrive in order, once each.
  BitBucketStream bucket;
  const auto data = testing::RandomBytes(70000, 6);
  SlidingWindowStream window(bucket);
  for (size_t at = 0; at < data.size(); at += 3000) {
    window.Write({data.data() + at, std::min<size_t>(3000, data.size() - at)});
  }
  window.FlushAllChunks();
  EXPECT_EQ(bucket.Size(), 70000);
  bucket.Seek(-100, kSeekEnd);
  uint8_t last[100];
  bucket.Read(last);
  EXPECT_TRUE(std::equal(last, last + 100, data.end() - 100));
}

}  // namespace
}  // namespace vz
