#include "codec/unzip_helper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/deflate_base.h"
#include "errors/errors.h"
#include "legacy_encoders.h"
#include "platform/memory_stream.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::LsbBitWriter;

struct Decoded {
  std::vector<uint8_t> data;
  uint32_t crc = 0;
};

// dictionary 1 = 4 KB, 2 = 8 KB; trees 2 or 3 (implode only).
Decoded Decode(uint16_t method, const std::vector<uint8_t>& compressed, int64_t size,
               int dictionary = 0, int trees = 0) {
  MemoryStream in(compressed);
  MemoryStream out;
  UnzipHelper helper(in, nullptr, out);
  helper.SetCompressionMethod(method);
  helper.SetUncompressedSize(size);
  helper.SetDictionarySize(dictionary);
  helper.SetTreeCount(trees);
  const uint32_t crc = helper.DecodeItem();
  return {out.Data(), crc};
}

std::vector<uint8_t> Text(size_t n) {
  static const std::string words[] = {"the ",   "aircraft ", "scenery ", "texture ", "panel ",
                                      "gauge ", "runway ",   "\x90",     "config ",  "\n"};
  std::vector<uint8_t> out;
  uint32_t state = 7;
  while (out.size() < n) {
    state = state * 1103515245u + 12345u;
    const std::string& w = words[(state >> 16) % 10];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

// A random block repeated: every repeat is a match exactly `period` bytes back.
std::vector<uint8_t> Repeated(size_t period, size_t n) {
  const auto block = testing::RandomBytes(period, 5);
  std::vector<uint8_t> out;
  while (out.size() < n) out.insert(out.end(), block.begin(), block.end());
  out.resize(n);
  return out;
}

// Codes written at the given widths.
std::vector<uint8_t> Codes(const std::vector<std::pair<uint32_t, int>>& codes) {
  LsbBitWriter w;
  for (const auto& [value, bits] : codes) w.Put(value, bits);
  return w.Bytes();
}

std::vector<uint8_t> Str(const std::string& s) {
  return {s.begin(), s.end()};
}

// ---- shrink
// --------------------------------------------------------------------------------------

TEST(UnshrinkTest, HandWorkedCodeSequences) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int>> codes;
    std::string expected;
  };
  const Case cases[] = {
      {"one code is one byte", {{'x', 9}}, "x"},
      // 257 is not defined yet when it arrives: the previous string plus its first byte.
      {"KwKwK", {{'a', 9}, {257, 9}}, "aaa"},
      // a, then 257 = aa (KwKwK), then 258 = 257 + a = aaa (KwKwK again).
      {"KwKwK twice", {{'a', 9}, {257, 9}, {258, 9}}, "aaaaaa"},
      // 256 1 widens the codes that follow to 10 bits; 257 = ab.
      {"code size growth", {{'a', 9}, {256, 9}, {1, 9}, {'b', 10}, {257, 10}}, "abab"},
      // Entries: 257 = ab, 258 = ba, 259 = 257 c. The clear frees the leaves 258 and 259 but not
      // 257 (prefix of 259); allocation restarts at 258 = cd, so 258 then reads cd, not ba, and
      // 257 still reads ab.
      {"partial clear",
       {{'a', 9}, {'b', 9}, {257, 9}, {'c', 9}, {256, 9}, {2, 9}, {'d', 9}, {258, 9}, {257, 9}},
       "ababcdcdab"},
      // 256 followed by anything but 1 or 2 is ignored.
      {"unknown control", {{'a', 9}, {256, 9}, {7, 9}, {'b', 9}}, "ab"},
  };
  for (const Case& c : cases) {
    const auto expected = Str(c.expected);
    const Decoded d = Decode(1, Codes(c.codes), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(d.data, expected) << c.name;
    EXPECT_EQ(d.crc, Crc32Of(expected)) << c.name;
  }
}

TEST(UnshrinkTest, RoundTripsThroughGrowthAndClears) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    int clear_every;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"text", Text(30000), 0},
      {"zeros", std::vector<uint8_t>(100000, 0), 0},
      // Fills the 8,192-entry table many times over: partial clears when full.
      {"large text", Text(400000), 0},
      {"random", testing::RandomBytes(50000, 9), 0},
      {"frequent clears", Text(60000), 300},
  };
  for (const Case& c : cases) {
    testing::ShrinkStats stats;
    const auto packed = testing::Shrink(c.data, c.clear_every, &stats);
    const Decoded d = Decode(1, packed, static_cast<int64_t>(c.data.size()));
    EXPECT_EQ(d.data, c.data) << c.name;
    EXPECT_EQ(d.crc, Crc32Of(c.data)) << c.name;
    if (c.data.size() > 20000) {
      EXPECT_GT(stats.growths, 0) << c.name;
    }
    if (std::string(c.name) == "large text" || c.clear_every > 0) {
      EXPECT_GT(stats.clears, 0) << c.name;
    }
    if (std::string(c.name) == "large text") {
      EXPECT_EQ(stats.growths, 4);  // up to 13 bits
    }
    if (std::string(c.name) == "zeros") {
      EXPECT_GT(stats.kwkwk, 100);
    }
  }
}

TEST(UnshrinkTest, StopsAtTheDeclaredSize) {
  const auto data = Text(50000);
  const auto packed = testing::Shrink(data);
  const Decoded d = Decode(1, packed, 1000);
  EXPECT_EQ(d.data, std::vector<uint8_t>(data.begin(), data.begin() + 1000));
  EXPECT_TRUE(Decode(1, packed, 0).data.empty());
}

// ---- reduce
// --------------------------------------------------------------------------------------

// With every follower set empty (256 counts of 0: 192 zero bytes) each coded byte is 8 plain bits,
// so the vectors below can be worked out byte by byte.
std::vector<uint8_t> PlainReduced(const std::vector<uint8_t>& coded) {
  std::vector<uint8_t> out(192, 0);
  out.insert(out.end(), coded.begin(), coded.end());
  return out;
}

// 300 literals 1, 2, ..., 100, 1, 2, ... (never 90 hex): output position p holds p % 100 + 1.
std::vector<uint8_t> Ramp() {
  std::vector<uint8_t> out;
  for (int i = 0; i < 300; ++i) out.push_back(static_cast<uint8_t>(i % 100 + 1));
  return out;
}

TEST(UnreduceTest, HandWorkedVectors) {
  const auto ramp = Ramp();
  const auto with_ramp = [&](std::vector<uint8_t> tail) {
    std::vector<uint8_t> v = ramp;
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
  };
  const auto ramp_bytes = [&](int from, int count) {
    std::vector<uint8_t> v;
    for (int i = 0; i < count; ++i) v.push_back(static_cast<uint8_t>((from + i) % 100 + 1));
    return v;
  };
  struct Case {
    const char* name;
    int method;
    std::vector<uint8_t> coded;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      // 90 00 is a literal 90 hex.
      {"factor 1 escape", 2, {'A', 0x90, 0x00, 'B'}, {'A', 0x90, 'B'}},
      // Factor 1: V = 85: length 85 & 7F = 5, distance (85 >> 7) * 256 + 10 + 1 = 273.
      // 3 + 5 = 8 bytes from 300 - 273 = 27: ramp values 28..35.
      {"factor 1 match", 2, with_ramp({0x90, 0x85, 0x10}), with_ramp(ramp_bytes(27, 8))},
      // Factor 1, first thing in the item: V = 05, distance 0 * 256 + 0 + 1 = 1: the byte before
      // the output is 0, and so is every byte copied from it: 8 zeros.
      {"factor 1 before start", 2, {0x90, 0x05, 0x00}, std::vector<uint8_t>(8, 0)},
      // Factor 2: V = 47: length 47 & 3F = 7, distance (47 >> 6) * 256 + 03 + 1 = 260.
      // 10 bytes from 300 - 260 = 40: ramp values 41..50.
      {"factor 2 match", 3, with_ramp({0x90, 0x47, 0x03}), with_ramp(ramp_bytes(40, 10))},
      // Factor 3: V = 3F: length 3F & 1F = 1F, the mask, so the next byte adds: 1F + 02 = 33.
      // Distance (3F >> 5) * 256 + 00 + 1 = 257. 36 bytes from 43: ramp 44..79.
      {"factor 3 long length", 4, with_ramp({0x90, 0x3F, 0x02, 0x00}),
       with_ramp(ramp_bytes(43, 36))},
      // Factor 4: V = 13: length 3, distance (13 >> 4) * 256 + 2B + 1 = 300: from 0, 6 bytes:
      // ramp 1..6.
      {"factor 4 match", 5, with_ramp({0x90, 0x13, 0x2B}), with_ramp(ramp_bytes(0, 6))},
      // Factor 4 reaching 4,096 bytes back (V = F0, low byte FF) before the start: 3 zeros.
      {"factor 4 far before start", 5, {'x', 0x90, 0xF0, 0xFF}, {'x', 0, 0, 0}},
      // A run that overlaps itself: distance 1 repeats the last byte.
      {"overlapping run", 2, {'z', 0x90, 0x04, 0x00}, Str("zzzzzzzz")},
  };
  for (const Case& c : cases) {
    const Decoded d = Decode(static_cast<uint16_t>(c.method), PlainReduced(c.coded),
                             static_cast<int64_t>(c.expected.size()));
    EXPECT_EQ(d.data, c.expected) << c.name;
  }
}

TEST(UnreduceTest, FollowerSetsByHand) {
  // The set of byte 0 is {A, B, C} (3 entries: 2-bit indexes); every other set is empty.
  LsbBitWriter w;
  for (int c = 255; c >= 1; --c) w.Put(0, 6);
  w.Put(3, 6);
  w.PutBytes(Str("ABC"));
  w.Put(0, 1);  // last = 0 (the start): from the set, index 1 -> B
  w.Put(1, 2);
  w.Put('C', 8);  // last = B, empty set: 8 plain bits
  w.Put(0, 8);    // last = C: a 0 byte
  w.Put(1, 1);    // last = 0: not from the set, 8 plain bits
  w.Put('Q', 8);
  w.Put(0, 8);  // last = Q
  w.Put(0, 1);  // last = 0: index 2 -> C
  w.Put(2, 2);
  const std::vector<uint8_t> expected = {'B', 'C', 0, 'Q', 0, 'C'};
  EXPECT_EQ(Decode(2, w.Bytes(), 6).data, expected);
}

TEST(UnreduceTest, RoundTripsForEveryFactor) {
  struct Data {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Data inputs[] = {
      {"text", Text(60000)},
      {"escapes", std::vector<uint8_t>(3000, 0x90)},
      {"random", testing::RandomBytes(5000, 4)},
      {"far repeats", Repeated(4000, 50000)},
  };
  for (int factor = 1; factor <= 4; ++factor) {
    for (const Data& in : inputs) {
      for (int followers : {32, 5, 1, 0}) {
        const auto packed = testing::Reduce(in.bytes, factor, followers);
        const Decoded d = Decode(static_cast<uint16_t>(factor + 1), packed,
                                 static_cast<int64_t>(in.bytes.size()));
        EXPECT_EQ(d.data, in.bytes) << in.name << " factor " << factor << " sets " << followers;
        EXPECT_EQ(d.crc, Crc32Of(in.bytes));
      }
    }
  }
}

// ---- implode
// -------------------------------------------------------------------------------------

TEST(ExplodeTest, HandWorkedTwoTreeVector) {
  // Two trees, 4 KB dictionary. Both trees give all 64 entries 6 bits: four description bytes
  // F5 (16 entries, length 6). Codes are handed out from the last entry back, so entry k has the
  // 6-bit code 63 - k, read most significant bit first.
  LsbBitWriter w;
  for (int tree = 0; tree < 2; ++tree) {
    w.Put(3, 8);
    for (int i = 0; i < 4; ++i) w.Put(0xF5, 8);
  }
  const auto put_code = [&](int k) {
    for (int bit = 5; bit >= 0; --bit) w.Put(((63 - k) >> bit) & 1, 1);
  };
  // A match first: low distance bits 9, high 0 (distance 10, before the start); length code 2,
  // plus the minimum 2: four zeros.
  w.Put(0, 1);
  w.Put(9, 6);
  put_code(0);
  put_code(2);
  // A literal: 8 plain bits with two trees.
  w.Put(1, 1);
  w.Put('A', 8);
  // A match of length code 0 (2 bytes) at distance 1: "AA".
  w.Put(0, 1);
  w.Put(0, 6);
  put_code(0);
  put_code(0);
  const std::vector<uint8_t> expected = {0, 0, 0, 0, 'A', 'A', 'A'};
  EXPECT_EQ(Decode(6, w.Bytes(), 7, 1, 2).data, expected);
}

TEST(ExplodeTest, RoundTripsForEveryDictionaryAndTreeCount) {
  struct Data {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Data inputs[] = {
      {"text", Text(70000)},
      // Runs longer than 63 + minimum: length code 63 and 8 more bits.
      {"zeros", std::vector<uint8_t>(20000, 0)},
      {"random", testing::RandomBytes(3000, 2)},
      // Larger than the 40 KB window, every match 4,000 or 8,000 bytes back.
      {"far repeats 4K", Repeated(4000, 90000)},
      {"far repeats 8K", Repeated(8000, 90000)},
  };
  for (bool eight_k : {false, true}) {
    for (bool three_trees : {false, true}) {
      for (const Data& in : inputs) {
        testing::ImplodeStats stats;
        const auto packed = testing::Implode(in.bytes, eight_k, three_trees, &stats);
        const Decoded d = Decode(6, packed, static_cast<int64_t>(in.bytes.size()), eight_k ? 2 : 1,
                                 three_trees ? 3 : 2);
        EXPECT_EQ(d.data, in.bytes)
            << in.name << (eight_k ? " 8K" : " 4K") << (three_trees ? " 3 trees" : " 2 trees");
        EXPECT_EQ(d.crc, Crc32Of(in.bytes));
        if (std::string(in.name) == "zeros") {
          EXPECT_GT(stats.long_lengths, 0);
          // 63 + 255 + the minimum: 321 with three trees, 320 with two.
          EXPECT_EQ(stats.longest, three_trees ? 321 : 320);
        }
      }
    }
  }
}

// ---- hostile data, limits, progress -----------------------------------------------------------

TEST(LegacyDecoderTest, DataThatWouldOverrunATableFailsTheItem) {
  LsbBitWriter too_many_followers;
  too_many_followers.Put(40, 6);
  too_many_followers.PutBytes(std::vector<uint8_t>(40, 'x'));

  LsbBitWriter too_many_entries;  // a 64-entry tree described with 17 runs of 16
  too_many_entries.Put(16, 8);
  too_many_entries.PutBytes(std::vector<uint8_t>(17, 0xF5));

  struct Case {
    const char* name;
    uint16_t method;
    std::vector<uint8_t> data;
  };
  const Case cases[] = {
      {"code size beyond 13 bits", 1,
       Codes({{'a', 9},
              {256, 9},
              {1, 9},
              {256, 10},
              {1, 10},
              {256, 11},
              {1, 11},
              {256, 12},
              {1, 12},
              {256, 13},
              {1, 13},
              {'b', 14}})},
      // 300 is undefined and so is the previous code: the KwKwK step would loop forever.
      {"undefined code chain", 1, Codes({{300, 9}, {300, 9}})},
      {"follower set of 40", 2, too_many_followers.Bytes()},
      {"tree with 272 entries", 6, too_many_entries.Bytes()},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(Decode(c.method, c.data, 1000, 1, 2), ZipBadCRCError) << c.name;
  }
}

TEST(LegacyDecoderTest, GarbageNeverOverrunsTheDeclaredSize) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const auto garbage = testing::RandomBytes(2000 + seed * 37, seed);
    for (uint16_t method = 1; method <= 6; ++method) {
      for (int trees : {2, 3}) {
        try {
          const Decoded d = Decode(method, garbage, 5000, trees - 1, trees);
          EXPECT_LE(d.data.size(), 5000u);
        } catch (const ZipBadCRCError&) {
        }
      }
    }
  }
}

TEST(LegacyDecoderTest, TruncatedInputAndUnknownMethods) {
  const auto packed = testing::Shrink(Text(10000));
  MemoryStream in(std::vector<uint8_t>(packed.begin(), packed.begin() + 100));
  MemoryStream out;
  UnzipHelper helper(in, nullptr, out);
  helper.SetCompressionMethod(1);
  helper.SetCompressedSize(static_cast<int64_t>(packed.size()));
  helper.SetUncompressedSize(10000);
  EXPECT_THROW(helper.DecodeItem(), ReadError);
  EXPECT_FALSE(out.Data().empty());  // what was decoded is still written

  for (uint16_t method : {7, 10, 0x101}) {
    EXPECT_THROW(Decode(method, packed, 10000), ZipInvalidMethodError) << method;
  }
}

TEST(LegacyDecoderTest, ProgressAndAbort) {
  const auto data = Text(200000);
  const auto packed = testing::Implode(data, true, true);
  std::vector<int> reports;
  {
    MemoryStream in(packed);
    MemoryStream out;
    UnzipHelper helper(in, nullptr, out);
    helper.SetCompressionMethod(6);
    helper.SetDictionarySize(2);
    helper.SetTreeCount(3);
    helper.SetUncompressedSize(static_cast<int64_t>(data.size()));
    helper.SetProgressHook([&](uint8_t p, bool&) { reports.push_back(p); });
    EXPECT_EQ(helper.DecodeItem(), Crc32Of(data));
    EXPECT_EQ(out.Data(), data);
  }
  ASSERT_GE(reports.size(), 3u);
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  EXPECT_EQ(reports.back(), 100);

  MemoryStream in(packed);
  MemoryStream out;
  UnzipHelper helper(in, nullptr, out);
  helper.SetCompressionMethod(6);
  helper.SetDictionarySize(2);
  helper.SetTreeCount(3);
  helper.SetUncompressedSize(static_cast<int64_t>(data.size()));
  helper.SetProgressHook([](uint8_t p, bool& abort) { abort = p >= 30; });
  EXPECT_THROW(helper.DecodeItem(), UserAbortError);
  // The output written up to the abort is a prefix of the data.
  ASSERT_GE(out.Data().size(), 60000u);
  EXPECT_TRUE(std::equal(out.Data().begin(), out.Data().end(), data.begin()));
}

}  // namespace
}  // namespace vz
