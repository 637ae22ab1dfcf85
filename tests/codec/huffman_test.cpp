#include "codec/huffman.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/runtime_errors.h"

namespace vz {
namespace {

using Tree = DfDecodeHuffmanTree;

uint32_t Entry(uint32_t symbol, uint32_t length, uint32_t extra) {
  return (extra << 24) | (length << 16) | symbol;
}

TEST(HuffmanTest, DecodeEntries) {
  struct Case {
    const char* name;
    std::vector<int32_t> lengths;
    int32_t lookup_bits;
    std::vector<std::pair<uint32_t, uint32_t>> lookups;  // index, entry
  };
  const Case cases[] = {
      {"all lengths zero", {0, 0, 0}, 0, {{0, Tree::kNoCode}}},
      {"one code of length 1", {0, 1}, 1, {{0, Entry(1, 1, 0)}, {1, Tree::kNoCode}}},
      // Codes 10, 0, 110, 111, read first bit lowest.
      {"canonical order",
       {2, 1, 3, 3},
       3,
       {{0, Entry(1, 1, 0)},
        {2, Entry(1, 1, 0)},
        {1, Entry(0, 2, 0)},
        {5, Entry(0, 2, 0)},
        {3, Entry(2, 3, 0)},
        {7, Entry(3, 3, 0)}}},
      // Three codes of length 1: the third overwrites the slots of the first.
      {"over-subscribed", {1, 1, 1}, 1, {{0, Entry(2, 1, 0)}, {1, Entry(1, 1, 0)}}},
  };
  const std::vector<uint8_t> no_extra(1, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tree tree(static_cast<int32_t>(c.lengths.size()), 15, trBoth);
    tree.Build(c.lengths, 0, static_cast<int32_t>(c.lengths.size()), no_extra, 65535);
    EXPECT_EQ(tree.LookupBitLength(), c.lookup_bits);
    for (const auto& [index, entry] : c.lookups) EXPECT_EQ(tree.Decode(index), entry) << index;
  }
}

TEST(HuffmanTest, EncodeEntriesAreReversedCodes) {
  Tree tree(5, 15, trEncode);
  const std::vector<int32_t> lengths = {9, 2, 1, 3, 3};
  const std::vector<uint8_t> no_extra(1, 0);
  tree.Build(lengths, 1, 4, no_extra, 65535);  // start index 1 skips the 9
  EXPECT_EQ(tree.Encode(0), Entry(0b01, 2, 0));
  EXPECT_EQ(tree.Encode(1), Entry(0b0, 1, 0));
  EXPECT_EQ(tree.Encode(2), Entry(0b011, 3, 0));
  EXPECT_EQ(tree.Encode(3), Entry(0b111, 3, 0));
  EXPECT_EQ(tree.Encode(4), 0u);  // never built: zero-filled
  EXPECT_THROW(tree.Decode(0), AssertionError);
}

TEST(HuffmanTest, FixedTrees) {
  const Tree& lit = FixedLitLenTree();
  EXPECT_EQ(lit.LookupBitLength(), 9);
  for (const uint32_t index : {0u, 128u, 256u, 384u})
    EXPECT_EQ(lit.Decode(index), Entry(256, 7, 0));
  EXPECT_EQ(lit.Decode(12), Entry(0, 8, 0));
  EXPECT_EQ(lit.Decode(268), Entry(0, 8, 0));
  EXPECT_EQ(Tree::ExtraOf(lit.Encode(285)), 16u);
  EXPECT_EQ(Tree::ExtraOf(lit.Encode(286)), 99u);
  EXPECT_EQ(Tree::ExtraOf(lit.Encode(287)), 99u);
  EXPECT_EQ(Tree::ExtraOf(lit.Encode(265)), 1u);
  EXPECT_EQ(Tree::ExtraOf(lit.Encode(284)), 5u);
  // Every 9-bit pattern decodes to some symbol: the fixed code is complete.
  for (uint32_t i = 0; i < 512; ++i) EXPECT_NE(lit.Decode(i), Tree::kNoCode);

  const Tree& dist = FixedDistTree();
  EXPECT_EQ(dist.LookupBitLength(), 5);
  EXPECT_EQ(dist.Decode(31), Entry(31, 5, 14));
  EXPECT_EQ(dist.Decode(0), Entry(0, 5, 0));
  EXPECT_EQ(Tree::ExtraOf(dist.Encode(29)), 13u);
  EXPECT_EQ(Tree::ExtraOf(dist.Encode(4)), 1u);
  EXPECT_EQ(&FixedLitLenTree(), &lit);  // built once
}

TEST(HuffmanTest, Assertions) {
  EXPECT_THROW(Tree(1, 15, trDecode), AssertionError);
  Tree code_lengths(19, 7, trDecode);
  const std::vector<int32_t> too_long = {8, 1};
  const std::vector<uint8_t> no_extra(1, 0);
  try {
    code_lengths.Build(too_long, 0, 2, no_extra, 65535);
    FAIL() << "no assertion";
  } catch (const AssertionError& e) {
    EXPECT_STREQ(e.what(), "DfDecodeHuffmanTree.Build: a code length is greater than 7");
  }
  Tree tree(4, 15, trBoth);
  const std::vector<int32_t> lengths = {1, 0, 2, 2};
  tree.Build(lengths, 0, 4, no_extra, 65535);
  EXPECT_EQ(tree.LookupMask(), ~3u);
  EXPECT_THROW(tree.Decode(4), AssertionError);
  EXPECT_THROW(tree.Encode(1), AssertionError);  // not used
  EXPECT_THROW(tree.Encode(4), AssertionError);  // not in the alphabet
}

}  // namespace
}  // namespace vz
