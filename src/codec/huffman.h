// Canonical Huffman codes of Deflate, built from a list of code lengths.
//
// A tree keeps up to two flat tables. The decode table has one entry for every bit pattern of the
// longest code present (LookupBitLength bits, first stream bit lowest), so a decoder peeks that
// many bits and finds the symbol, its code length and its extra-bit count in one lookup. The encode
// table maps a symbol to its code, already bit-reversed for a writer that emits the least
// significant bit first. The two fixed trees of Deflate are built once and shared.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace vz {

enum TreeRole : uint8_t { trEncode = 0, trDecode = 1, trBoth = 2 };

class DfDecodeHuffmanTree {
 public:
  // The decode entry of a bit pattern that begins no code (symbol 65535, length 255, 255 extra).
  static constexpr uint32_t kNoCode = 0xFFFFFFFFu;

  // Entry fields, for decode and encode entries alike.
  static uint32_t SymbolOf(uint32_t entry) { return entry & 0xFFFFu; }  // code for encode entries
  static uint32_t LengthOf(uint32_t entry) { return (entry >> 16) & 0xFFu; }
  static uint32_t ExtraOf(uint32_t entry) { return entry >> 24; }

  // alphabet_size >= 2; max_allowed_length is the longest code Build accepts (at most 15).
  DfDecodeHuffmanTree(int32_t alphabet_size, int32_t max_allowed_length, TreeRole role);
  DfDecodeHuffmanTree(const DfDecodeHuffmanTree&) = delete;
  DfDecodeHuffmanTree& operator=(const DfDecodeHuffmanTree&) = delete;

  // Builds the code of symbols 0 .. count - 1 from lengths[start .. start + count - 1]. Symbol
  // s >= extra_offset has extra_bits[s - extra_offset] extra bits. Incomplete or over-subscribed
  // length sets are accepted: later symbols overwrite earlier ones, missing patterns stay kNoCode.
  void Build(std::span<const int32_t> lengths, int32_t start, int32_t count,
             std::span<const uint8_t> extra_bits, int32_t extra_offset);

  // The decode entry of a pattern of LookupBitLength bits.
  uint32_t Decode(uint32_t index) const;
  // The encode entry of a symbol (bit-reversed code, length, extra bits).
  uint32_t Encode(int32_t symbol) const;

  int32_t AlphabetSize() const { return alphabet_size_; }
  int32_t MaxAllowedLength() const { return max_allowed_length_; }
  int32_t LookupBitLength() const { return lookup_bit_length_; }
  uint32_t LookupMask() const { return lookup_mask_; }
  TreeRole Role() const { return role_; }

 private:
  int32_t alphabet_size_;
  std::unique_ptr<uint32_t[]> decode_;
  int32_t max_allowed_length_;
  std::unique_ptr<uint32_t[]> encode_;
  uint32_t lookup_mask_ = 0xFFFFFFFFu;
  int32_t lookup_bit_length_ = 0;
  TreeRole role_;
};

// Extra bits of the length symbols 257..287 (285 carries its Deflate64 meaning, 16; 286 and 287,
// which no valid stream holds, 99) and of the distance symbols 0..31.
std::span<const uint8_t, 31> LengthExtraBits();
std::span<const uint8_t, 32> DistanceExtraBits();

// The fixed literal/length code (288 symbols) and the fixed distance code (32 symbols).
const DfDecodeHuffmanTree& FixedLitLenTree();
const DfDecodeHuffmanTree& FixedDistTree();
// The code lengths those two trees are built from.
std::span<const int32_t, 288> FixedLitLenLengths();
std::span<const int32_t, 32> FixedDistLengths();

// Reverses the low `bits` bits (0 to 16) of code, a byte at a time.
inline uint32_t ReverseBits(uint32_t code, int bits) {
  static constexpr auto kReversed = [] {
    std::array<uint8_t, 256> table{};
    for (uint32_t b = 0; b < 256; ++b) {
      for (int i = 0; i < 8; ++i) table[b] |= static_cast<uint8_t>(((b >> i) & 1u) << (7 - i));
    }
    return table;
  }();
  const uint32_t whole =
      (static_cast<uint32_t>(kReversed[code & 0xFFu]) << 8) | kReversed[(code >> 8) & 0xFFu];
  return whole >> (16 - bits);
}

}  // namespace vz
