#include "codec/deflate_base.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <set>

#include "platform/runtime_errors.h"
#include "test_support.h"

namespace vz {
namespace {

TEST(ChecksumTest, Crc32AgreesWithZlibOnEveryLengthAndAlignment) {
  const auto data = testing::RandomBytes(4096 + 64, 3);
  uint32_t empty = 0xFFFFFFFFu;
  UpdateCrc32(empty, data.data(), 0);
  EXPECT_EQ(empty, 0xFFFFFFFFu);
  EXPECT_EQ(Crc32Of({}), 0u);
  const std::string check = "123456789";
  EXPECT_EQ(Crc32Of({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
  for (size_t offset = 0; offset < 9; ++offset) {
    for (size_t len : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 4096u}) {
      const uint8_t* p = data.data() + offset;
      EXPECT_EQ(Crc32Of({p, len}), crc32(0, p, static_cast<uInt>(len))) << offset << "/" << len;
    }
  }
  // Split updates give the same register as one.
  uint32_t reg = 0xFFFFFFFFu;
  UpdateCrc32(reg, data.data(), 1000);
  UpdateCrc32(reg, data.data() + 1000, 3000);
  for (int i = 4000; i < 4100; ++i) UpdateCrc32Byte(reg, data[i]);
  EXPECT_EQ(~reg, crc32(0, data.data(), 4100));
}

TEST(ChecksumTest, Adler32AgreesWithZlibAcrossChunks) {
  uint32_t value = 1;
  UpdateAdler32(value, nullptr, 0);
  EXPECT_EQ(value, 1u);
  // All 0xFF bytes push the sums hardest.
  const std::vector<uint8_t> ones(10000, 0xFF);
  uint32_t whole = 1;
  UpdateAdler32(whole, ones.data(), 10000);
  uint32_t split = 1;
  UpdateAdler32(split, ones.data(), 4000);
  UpdateAdler32(split, ones.data() + 4000, 6000);
  EXPECT_EQ(whole, split);
  EXPECT_EQ(whole, adler32(1, ones.data(), 10000));
}

TEST(DeflateHelperTest, SettersClampAndMarkIndividualChanges) {
  DeflateHelper h;
  EXPECT_EQ(h.PresetCode(), 'n');
  h.SetChainLimit(32);  // the current value: no change
  EXPECT_EQ(h.PresetCode(), 'n');
  h.SetChainLimit(2);
  EXPECT_EQ(h.ChainLimit(), 4);
  EXPECT_EQ(h.PresetCode(), '?');
  h.SetChainLimit(-1);
  EXPECT_EQ(h.ChainLimit(), -1);
  h.SetLazyLimit(-5);
  EXPECT_EQ(h.LazyLimit(), 4);
}

TEST(DeflateHelperTest, PresetsApplyTheirRows) {
  struct Case {
    std::string codes;
    uint32_t options;
    int32_t sufficient, chain, lazy;
    char preset;
  };
  const Case cases[] = {
      {"n", 15, 8, 32, 16, 'n'},  // a fresh object already says 'n'
      {"X", 15, 64, 4096, 258, 'x'}, {"0n", 15, 16, 32, 24, 'n'}, {"0f", 7, 4, 32, 6, 'f'},
      {"f", 15, 4, 32, 6, 'f'},      {"0s", 7, 4, 4, 4, 's'},     {"0x", 15, 64, 4096, 258, 'x'},
      {"0", 1, 8, 32, 16, '0'},      {"q", 15, 8, 32, 16, 'n'},
  };
  for (const Case& c : cases) {
    DeflateHelper h;
    for (char code : c.codes) h.SetPresetCode(code);
    EXPECT_EQ(h.Options(), c.options) << c.codes;
    EXPECT_EQ(h.SufficientLength(), c.sufficient) << c.codes;
    EXPECT_EQ(h.ChainLimit(), c.chain) << c.codes;
    EXPECT_EQ(h.LazyLimit(), c.lazy) << c.codes;
    EXPECT_EQ(h.PresetCode(), c.preset) << c.codes;
  }
}

TEST(DeflateHelperTest, AssignFromKeepsTheResults) {
  DeflateHelper a;
  a.SetCryptPassword("pw");
  a.SetSourceSize(1234);
  int called = 0;
  a.SetOnPercentDone([&](int32_t) { ++called; });
  a.SetCompressedBytes(7);
  a.SetUncompressedBytes(8);
  DeflateHelper b;
  b.AssignFrom(a);
  EXPECT_EQ(b.CryptPassword(), "pw");
  EXPECT_EQ(b.SourceSize(), 1234);
  ASSERT_TRUE(b.OnPercentDone());
  b.OnPercentDone()(5);
  EXPECT_EQ(called, 1);
  EXPECT_EQ(b.CompressedBytes(), 0);
  EXPECT_EQ(b.UncompressedBytes(), 0);
}

TEST(LoggerTest, BuffersLargeWritesAndRefusesReadsAndSeeks) {
  testing::ScratchDir dir;
  const std::string path = dir / "log.txt";
  const auto data = testing::RandomBytes(10000, 5);
  {
    Logger log(path);
    EXPECT_EQ(log.Write(data), 10000);
    log.WriteTextLine("done");
    EXPECT_EQ(log.Seek(0, kSeekEnd), 10006);
    std::vector<uint8_t> buf(4);
    EXPECT_THROW(log.Read(buf), AssertionError);
    EXPECT_THROW(log.Seek(0, kSeekBegin), AssertionError);
  }
  auto back = testing::ReadFile(path);
  ASSERT_EQ(back.size(), 10006u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  EXPECT_EQ(std::string(back.end() - 6, back.end()), "done\r\n");
  EXPECT_THROW(Logger(""), AssertionError);
}

TEST(NodeManagerTest, PagesHoldTheRightNumberOfDistinctNodes) {
  NodeManager small(16);
  EXPECT_EQ(small.NodesPerPage(), 511u);
  std::set<void*> seen;
  for (int i = 0; i < 2000; ++i) {
    void* node = small.TakeNode();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(node) % alignof(void*), 0u);
    std::memset(node, 0xAB, 16);  // the whole node is the caller's
    EXPECT_TRUE(seen.insert(node).second);
  }
  NodeManager large(5000);
  EXPECT_EQ(large.NodesPerPage(), 1u);
  EXPECT_EQ(large.PageSize(), 5004u);
  void* a = large.TakeNode();
  void* b = large.TakeNode();
  EXPECT_NE(a, b);
  std::memset(a, 1, 5000);
  std::memset(b, 2, 5000);
}

}  // namespace
}  // namespace vz
