#include "codec/deflate_out_streams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <queue>

#include "codec/deflate.h"
#include "codec/package_merge.h"
#include "codec/translator.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"

namespace vz {
namespace {

TEST(TranslatorTest, SymbolsOfLengthsAndDistances) {
  const DfTranslator& t = Translator();
  const std::pair<int32_t, int> lengths[] = {{3, 257},   {10, 264},  {11, 265},   {12, 265},
                                             {13, 266},  {257, 284}, {227, 284},  {226, 283},
                                             {258, 285}, {300, 285}, {65536, 285}};
  for (auto [length, symbol] : lengths) EXPECT_EQ(t.LengthSymbol(length), symbol) << length;
  const std::pair<int32_t, int> distances[] = {
      {1, 0},      {4, 3},      {5, 4},      {256, 15},   {257, 16},   {384, 16},  {385, 17},
      {24577, 29}, {32768, 29}, {32769, 30}, {49152, 30}, {49153, 31}, {65536, 31}};
  for (auto [distance, symbol] : distances) {
    EXPECT_EQ(t.DistanceSymbol(distance), symbol) << distance;
  }
  EXPECT_THROW(t.LengthSymbol(2), AssertionError);
  EXPECT_THROW(t.DistanceSymbol(0), AssertionError);
  EXPECT_THROW(t.DistanceSymbol(65537), AssertionError);
}

// Every value maps to the symbol with the largest base not above it.
TEST(TranslatorTest, EveryValueTakesTheLargestBaseNotAboveIt) {
  const DfTranslator& t = Translator();
  const auto& s = kDeflateSymbols;
  for (int32_t length = 3; length < 258; ++length) {
    const int i = t.LengthSymbol(length) - 257;
    ASSERT_TRUE(s.length_base[i] <= length && length < s.length_base[i + 1]) << length;
  }
  for (int32_t distance = 1; distance <= 65536; ++distance) {
    const int d = t.DistanceSymbol(distance);
    ASSERT_TRUE(s.distance_base[d] <= distance && (d == 31 || distance < s.distance_base[d + 1]))
        << distance;
  }
}

TEST(OutBitStreamTest, BitsArePackedLeastSignificantFirst) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int>> writes;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {"5/3 then 1/1", {{5, 3}, {1, 1}}, {0x0D}},
      {"nothing", {}, {}},
      {"16 bits", {{0xABCD, 16}}, {0xCD, 0xAB}},
      {"across a word", {{0x7FFF, 15}, {0x1FFFF >> 1, 16}, {3, 2}}, {0xFF, 0xFF, 0xFF, 0xFF, 0x01}},
  };
  for (const Case& c : cases) {
    MemoryStream out;
    DfOutBitStream bits(&out);
    for (auto [value, count] : c.writes) bits.WriteBits(value, count);
    bits.Finish();
    EXPECT_EQ(out.Data(), c.expected) << c.name;
  }
}

TEST(OutBitStreamTest, AlignmentAndRawBytes) {
  MemoryStream out;
  DfOutBitStream bits(&out);
  bits.WriteBits(1, 3);
  EXPECT_THROW(bits.WriteBuffer(nullptr, 0), AssertionError);
  bits.ByteAlign();
  const uint8_t raw[3] = {7, 8, 9};
  bits.WriteBuffer(raw, 3);
  EXPECT_EQ(out.Data(), (std::vector<uint8_t>{1, 7, 8, 9}));  // WriteBuffer writes through
  bits.WriteBits(0x1F, 5);
  bits.Finish();
  EXPECT_EQ(out.Data(), (std::vector<uint8_t>{1, 7, 8, 9, 0x1F}));
  EXPECT_THROW(bits.WriteBits(1, 0), AssertionError);
  EXPECT_THROW(bits.WriteBits(1, 17), AssertionError);
  EXPECT_THROW(bits.WriteBits(4, 2), AssertionError);
  EXPECT_THROW(DfOutBitStream(nullptr), AssertionError);
}

// More than the 16 KiB byte buffer of bits, and a large raw write: nothing is lost at the seams.
TEST(OutBitStreamTest, LongOutputsSurviveBufferFlushes) {
  MemoryStream out;
  DfOutBitStream bits(&out);
  for (int i = 0; i < 40000; ++i) bits.WriteBits(static_cast<uint32_t>(i & 0x1FF), 9);
  bits.ByteAlign();
  const auto raw = testing::MakeCorpus(testing::CorpusKind::kRandom, 50000);
  bits.WriteBuffer(raw.data(), static_cast<int64_t>(raw.size()));
  bits.Finish();
  const auto& d = out.Data();
  ASSERT_EQ(d.size(), 45000u + 50000u);
  uint64_t acc = 0;
  int have = 0;
  size_t pos = 0;
  for (int i = 0; i < 40000; ++i) {
    while (have < 9) {
      acc |= static_cast<uint64_t>(d[pos++]) << have;
      have += 8;
    }
    ASSERT_EQ(acc & 0x1FF, static_cast<uint64_t>(i & 0x1FF)) << i;
    acc >>= 9;
    have -= 9;
  }
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), d.begin() + 45000));
}

struct TokenFixture {
  MemoryStream source{testing::MakeCorpus(testing::CorpusKind::kText, 100000)};
  DfInputWindow window{source, 0, 32768, 32, false, true};
  DfLZStream lz{window, nullptr, false};
};

TEST(LZStreamTest, TokensAndCounts) {
  TokenFixture f;
  for (int s = 0; s < kLitLenAlphabet; ++s) EXPECT_EQ(f.lz.LiteralCounts()[s], s == 256 ? 1 : 0);
  f.lz.PutMatch(258, 1);
  f.lz.PutLiteral('x');
  f.lz.PutMatch(3, 32768);
  EXPECT_EQ(f.lz.Tokens().size(), 12u);
  const std::vector<uint8_t> tokens(f.lz.Tokens().begin(), f.lz.Tokens().end());
  EXPECT_EQ(tokens, (std::vector<uint8_t>{0, 1, 1, 0, 0, 1, 'x', 0, 2, 0, 0xFF, 0x7F}));
  EXPECT_EQ(f.lz.CoveredBytes(), 262);
  EXPECT_EQ(f.lz.LiteralCounts()[285], 1);
  EXPECT_EQ(f.lz.LiteralCounts()[257], 1);
  EXPECT_EQ(f.lz.DistanceCounts()[0], 1);
  EXPECT_EQ(f.lz.DistanceCounts()[29], 1);
  // Fixed-code bits: 285 (8 bits), 'x' (8), 257 (7), distance 0 (5) and 29 (5 + 13 extra).
  EXPECT_EQ(f.lz.StaticBitCount(), 8 + 8 + 7 + 5 + 18 + 7);
  f.lz.Reset(0);
  EXPECT_TRUE(f.lz.Tokens().empty());
  EXPECT_EQ(f.lz.CoveredBytes(), 0);
  EXPECT_EQ(f.lz.LiteralCounts()[285], 0);
  EXPECT_EQ(f.lz.LiteralCounts()[256], 1);
}

TEST(LZStreamTest, BlockFullRules) {
  struct Case {
    const char* name;
    int literals, matches, match_length, distance;
    bool full;
  };
  const Case cases[] = {
      // 8192 tokens, literals dominate, estimate (13*3192 + 8*5000)/8 = 10187 < covered / 2.
      {"compressing literals at 8192", 5000, 3192, 30, 1, true},
      {"short matches at 8192", 5000, 3192, 3, 1, false},
      {"matches dominate at 8192", 3000, 5192, 30, 1, false},
      {"not a multiple of 8192", 5000, 3193, 30, 1, false},
      {"32768 tokens", 32768, 0, 0, 0, true},
      {"32767 tokens", 32767, 0, 0, 0, false},
      {"32768 match tokens", 0, 32768, 3, 1, true},
  };
  for (const Case& c : cases) {
    TokenFixture f;
    bool full = false;
    for (int i = 0; i < c.matches; ++i) full = f.lz.PutMatch(c.match_length, c.distance);
    for (int i = 0; i < c.literals; ++i) full = f.lz.PutLiteral('a');
    EXPECT_EQ(full, c.full) << c.name;
  }
  // Room for the tokens that follow a full report.
  TokenFixture f;
  for (int i = 0; i < 32768; ++i) f.lz.PutMatch(258, 32768);
  f.lz.PutMatch(258, 32768);
  f.lz.PutMatch(258, 32768);
  f.lz.PutMatch(258, 32768);
  EXPECT_EQ(f.lz.Tokens().size(), 5u * 32771u);
}

TEST(CodeLenStreamTest, RunLengthCoding) {
  struct Case {
    const char* name;
    std::vector<int32_t> lengths;
    std::vector<uint8_t> symbols;  // repeats with their values
  };
  std::vector<int32_t> zeros139(139, 0);
  std::vector<int32_t> zeros140(140, 0);
  std::vector<int32_t> zeros300(300, 0);
  const Case cases[] = {
      {"eight eights", std::vector<int32_t>(8, 8), {8, 16, 3, 8}},
      {"139 zeros", zeros139, {18, 127, 0}},
      {"140 zeros", zeros140, {18, 127, 0, 0}},
      {"300 zeros", zeros300, {18, 127, 18, 127, 18, 13}},
      {"ten zeros", std::vector<int32_t>(10, 0), {17, 7}},
      {"two zeros", {0, 0}, {0, 0}},
      {"mixed", {5, 5, 5, 0, 0, 0, 7, 6, 6}, {5, 5, 5, 17, 0, 7, 6, 6}},
      {"four equal", {3, 3, 3, 3}, {3, 16, 0}},
      {"nothing", {}, {}},
  };
  for (const Case& c : cases) {
    DfCodeLenStream rle;
    rle.RunLengthEncode(c.lengths.data(), static_cast<int>(c.lengths.size()));
    const std::vector<uint8_t> got(rle.Symbols().begin(), rle.Symbols().end());
    EXPECT_EQ(got, c.symbols) << c.name;
  }
  DfCodeLenStream rle;
  const std::vector<int32_t> lengths = {5, 5, 5, 0, 0, 0, 7, 6, 6};
  rle.RunLengthEncode(lengths.data(), 9);
  EXPECT_EQ(rle.Counts()[5], 3);
  EXPECT_EQ(rle.Counts()[17], 1);
  EXPECT_EQ(rle.Counts()[6], 2);
  EXPECT_EQ(rle.Counts()[0], 0);
}

TEST(PackageMergeTest, SmallCases) {
  struct Case {
    const char* name;
    int max_len;
    std::vector<int32_t> weights;
    std::vector<int32_t> lengths;
  };
  const Case cases[] = {
      {"1, 1, 100", 15, {1, 1, 100}, {2, 2, 1}},
      {"single used symbol", 15, {0, 0, 0, 0, 0, 9, 0}, {0, 0, 0, 0, 0, 1, 0}},
      {"nothing used", 15, {0, 0, 0}, {1, 0, 0}},
      {"two symbols", 15, {3, 0, 1}, {1, 0, 1}},
      {"fibonacci unlimited", 15, {1, 1, 2, 3, 5, 8, 13}, {6, 6, 5, 4, 3, 2, 1}},
      {"fibonacci limited to 4", 4, {1, 1, 2, 3, 5, 8, 13}, {4, 4, 3, 3, 3, 2, 2}},
      {"equal weights", 15, {4, 4, 4, 4}, {2, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> lengths(c.weights.size() + 2, 99);
    GenerateCodeLengths(c.max_len, c.weights, lengths, 2, nullptr);
    EXPECT_EQ(std::vector<int32_t>(lengths.begin() + 2, lengths.end()), c.lengths) << c.name;
    EXPECT_EQ(lengths[0], 99) << c.name;
  }
  std::vector<int32_t> out(300);
  EXPECT_THROW(GenerateCodeLengths(0, std::vector<int32_t>(3, 1), out, 0, nullptr), AssertionError);
  EXPECT_THROW(GenerateCodeLengths(16, std::vector<int32_t>(3, 1), out, 0, nullptr),
               AssertionError);
  EXPECT_THROW(GenerateCodeLengths(15, std::vector<int32_t>(287, 1), out, 0, nullptr),
               AssertionError);
  EXPECT_THROW(GenerateCodeLengths(2, std::vector<int32_t>(4, 1), out, 0, nullptr), AssertionError);
}

// Random weights: the code is complete (Kraft sum exactly 1), within its limit, and as cheap as
// an unlimited Huffman code whenever the limit does not bind.
TEST(PackageMergeTest, CodesAreCompleteLimitedAndOptimal) {
  std::mt19937 rng(11);
  int unlimited = 0;
  for (int round = 0; round < 300; ++round) {
    const int n = 2 + static_cast<int>(rng() % 285);
    const int max_len = round % 3 == 0 ? 7 + static_cast<int>(rng() % 3) : 15;
    if (n >= (1 << max_len)) continue;
    std::vector<int32_t> weights(static_cast<size_t>(n));
    for (auto& w : weights)
      w = rng() % 4 == 0
              ? 0
              : static_cast<int32_t>(1 + (rng() % 1000) * (rng() % 1000) / (1 + rng() % 50));
    std::vector<int32_t> lengths(static_cast<size_t>(n));
    GenerateCodeLengths(max_len, weights, lengths, 0, nullptr);
    int used = 0;
    double kraft = 0;
    int64_t cost = 0;
    int longest = 0;
    std::vector<int64_t> heap;
    for (int s = 0; s < n; ++s) {
      if (weights[s] == 0) continue;
      ++used;
      ASSERT_GE(lengths[s], 1);
      kraft += std::ldexp(1.0, -lengths[s]);
      cost += int64_t{weights[s]} * lengths[s];
      longest = std::max(longest, lengths[s]);
      heap.push_back(weights[s]);
    }
    ASSERT_LE(longest, max_len);
    if (used >= 2) {
      EXPECT_DOUBLE_EQ(kraft, 1.0) << round;
    }
    // Huffman's code: its cost and its longest code.
    using Item = std::pair<int64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<>> queue;
    std::vector<int> parent(heap.size(), -1);
    for (size_t i = 0; i < heap.size(); ++i) queue.push({heap[i], static_cast<int>(i)});
    int64_t huffman = 0;
    while (queue.size() > 1) {
      const Item a = queue.top();
      queue.pop();
      const Item b = queue.top();
      queue.pop();
      parent.push_back(-1);
      const int id = static_cast<int>(parent.size()) - 1;
      parent[static_cast<size_t>(a.second)] = id;
      parent[static_cast<size_t>(b.second)] = id;
      huffman += a.first + b.first;
      queue.push({a.first + b.first, id});
    }
    int huffman_longest = 0;
    for (size_t i = 0; i < heap.size(); ++i) {
      int depth = 0;
      for (int at = static_cast<int>(i); parent[static_cast<size_t>(at)] >= 0;
           at = parent[static_cast<size_t>(at)]) {
        ++depth;
      }
      huffman_longest = std::max(huffman_longest, depth);
    }
    if (used >= 2) {
      EXPECT_GE(cost, huffman) << round;
      if (huffman_longest <= max_len) {
        ++unlimited;
        EXPECT_EQ(cost, huffman) << round;
      }
    }
  }
  EXPECT_GT(unlimited, 50);
}

// Block writer cases built on real token buffers.
struct BlockCase {
  std::vector<uint8_t> data;
  MemoryStream source;
  DfInputWindow window;
  DfLZStream lz;
  explicit BlockCase(std::vector<uint8_t> d)
      : data(std::move(d)),
        source(data),
        window(source, 0, 32768, 32, false, true),
        lz(window, nullptr, false) {}
};

TEST(BlockWriterTest, EmptyBlockTakesTheFixedCodes) {
  BlockCase c({});
  MemoryStream out;
  DfOutBitStream bits(&out);
  DfBlockWriter writer(bits, nullptr);
  writer.WriteBlock(true, false, true, c.lz);
  bits.Finish();
  EXPECT_EQ(out.Data(), (std::vector<uint8_t>{0x03, 0x00}));  // 3 + 7 bits
}

TEST(BlockWriterTest, LongStoredBlockIsSplitAt65535) {
  BlockCase c(testing::MakeCorpus(testing::CorpusKind::kRandom, 70000));
  for (uint8_t b : c.data) c.lz.PutLiteral(b);
  MemoryStream out;
  DfOutBitStream bits(&out);
  DfBlockWriter writer(bits, nullptr);
  writer.WriteBlock(true, false, true, c.lz);  // random bytes: stored is smallest
  bits.Finish();
  const auto& d = out.Data();
  ASSERT_EQ(d.size(), 70000u + 10u);
  EXPECT_EQ(d[0], 0);
  EXPECT_EQ(d[1] | (d[2] << 8), 65535);
  EXPECT_EQ(d[5 + 65535], 1);
  EXPECT_EQ(d[5 + 65535 + 1] | (d[5 + 65535 + 2] << 8), 4465);
  bool ok = false;
  EXPECT_EQ(testing::ZlibInflateRaw(d, ok), c.data);
  EXPECT_TRUE(ok);
}

TEST(BlockWriterTest, ForcedDynamicBlockOfLiteralsHasOneDistanceCode) {
  BlockCase c({'a', 'b', 'c', 'a'});
  for (uint8_t b : c.data) c.lz.PutLiteral(b);
  MemoryStream out;
  DfOutBitStream bits(&out);
  DfBlockWriter writer(bits, nullptr);
  writer.WriteBlock(true, false, false, c.lz);
  bits.Finish();
  const auto& d = out.Data();
  EXPECT_EQ(d[0] & 7, 5);  // final, dynamic
  const int header = (d[0] >> 3) | (d[1] << 5) | (d[2] << 13);
  EXPECT_EQ(((header >> 5) & 31) + 1, 1);  // HDIST
  bool ok = false;
  EXPECT_EQ(testing::ZlibInflateRaw(d, ok), c.data);
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace vz
