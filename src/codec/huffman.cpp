// Canonical Huffman code tables; see huffman.h.
#include "codec/huffman.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Extra bits grow by one every four length symbols from 265 and every two distance symbols from 4.
constexpr std::array<uint8_t, 31> MakeLengthExtraBits() {
  std::array<uint8_t, 31> bits{};
  for (int s = 257; s <= 284; ++s)
    bits[s - 257] = s < 265 ? 0 : static_cast<uint8_t>((s - 261) / 4);
  bits[285 - 257] = 16;
  bits[286 - 257] = 99;
  bits[287 - 257] = 99;
  return bits;
}

constexpr std::array<uint8_t, 32> MakeDistanceExtraBits() {
  std::array<uint8_t, 32> bits{};
  for (int d = 0; d < 32; ++d) bits[d] = d < 4 ? 0 : static_cast<uint8_t>(d / 2 - 1);
  return bits;
}

constexpr std::array<uint8_t, 31> kLengthExtra = MakeLengthExtraBits();
constexpr std::array<uint8_t, 32> kDistanceExtra = MakeDistanceExtraBits();

constexpr std::array<int32_t, 288> MakeFixedLitLenLengths() {
  std::array<int32_t, 288> lengths{};
  for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return lengths;
}

constexpr std::array<int32_t, 288> kFixedLitLen = MakeFixedLitLenLengths();
constexpr std::array<int32_t, 32> kFixedDist = [] {
  std::array<int32_t, 32> lengths{};
  lengths.fill(5);
  return lengths;
}();

}  // namespace

std::span<const uint8_t, 31> LengthExtraBits() {
  return kLengthExtra;
}
std::span<const uint8_t, 32> DistanceExtraBits() {
  return kDistanceExtra;
}
std::span<const int32_t, 288> FixedLitLenLengths() {
  return kFixedLitLen;
}
std::span<const int32_t, 32> FixedDistLengths() {
  return kFixedDist;
}

DfDecodeHuffmanTree::DfDecodeHuffmanTree(int32_t alphabet_size, int32_t max_allowed_length,
                                         TreeRole role)
    : alphabet_size_(alphabet_size), max_allowed_length_(max_allowed_length), role_(role) {
  Check(alphabet_size >= 2,
        "DfDecodeHuffmanTree.Create: a huffman tree must be for at least two symbols");
  Check(max_allowed_length >= 1 && max_allowed_length <= 15,
        "DfDecodeHuffmanTree.Create: code lengths are at most 15");
  if (role != trDecode) encode_ = std::make_unique<uint32_t[]>(alphabet_size);
}

void DfDecodeHuffmanTree::Build(std::span<const int32_t> lengths, int32_t start, int32_t count,
                                std::span<const uint8_t> extra_bits, int32_t extra_offset) {
  Check(start >= 0 && count >= 0 && count <= alphabet_size_ &&
            static_cast<size_t>(start) + static_cast<size_t>(count) <= lengths.size(),
        "DfDecodeHuffmanTree.Build: lengths outside the array");
  const std::span<const int32_t> lens = lengths.subspan(start, count);
  std::array<int32_t, 16> length_count{};
  lookup_bit_length_ = 0;
  for (const int32_t length : lens) {
    if (length < 0 || length > max_allowed_length_) {
      throw AssertionError("DfDecodeHuffmanTree.Build: a code length is greater than " +
                           std::to_string(max_allowed_length_));
    }
    lookup_bit_length_ = std::max(lookup_bit_length_, length);
    ++length_count[length];
  }
  const uint32_t table_size = 1u << lookup_bit_length_;
  if (role_ != trEncode) {
    decode_ = std::make_unique<uint32_t[]>(table_size);
    std::fill_n(decode_.get(), table_size, kNoCode);
    lookup_mask_ = ~(table_size - 1);
  }

  // First code of each length (RFC 1951, 3.2.2).
  std::array<uint32_t, 16> next_code{};
  uint32_t code = 0;
  length_count[0] = 0;
  for (int bits = 1; bits <= max_allowed_length_; ++bits) {
    code = (code + static_cast<uint32_t>(length_count[bits - 1])) << 1;
    next_code[bits] = code;
  }

  for (int32_t s = 0; s < count; ++s) {
    const int32_t length = lens[s];
    if (length == 0) {
      if (encode_) encode_[s] = kNoCode;
      continue;
    }
    const uint32_t reversed = ReverseBits(next_code[length]++, length);
    uint32_t extra = 0;
    if (s >= extra_offset && static_cast<size_t>(s - extra_offset) < extra_bits.size()) {
      extra = extra_bits[s - extra_offset];
    }
    const uint32_t fields = (extra << 24) | (static_cast<uint32_t>(length) << 16);
    if (decode_) {
      for (uint32_t i = reversed; i < table_size; i += 1u << length) decode_[i] = fields | s;
    }
    if (encode_) encode_[s] = fields | reversed;
  }
}

uint32_t DfDecodeHuffmanTree::Decode(uint32_t index) const {
  Check(decode_ != nullptr && (index & lookup_mask_) == 0,
        "DfDecodeHuffmanTree.Decode: trying to decode too many bits, use LookupBitLength property");
  return decode_[index];
}

uint32_t DfDecodeHuffmanTree::Encode(int32_t symbol) const {
  Check(encode_ != nullptr && symbol >= 0 && symbol < alphabet_size_,
        "DfDecodeHuffmanTree.Encode: trying to encode a symbol that is not in the alphabet");
  const uint32_t entry = encode_[symbol];
  Check(entry != kNoCode,
        "DfDecodeHuffmanTree.Encode: trying to encode a symbol that was not used");
  return entry;
}

const DfDecodeHuffmanTree& FixedLitLenTree() {
  static const DfDecodeHuffmanTree* tree = [] {
    static DfDecodeHuffmanTree t(288, 15, trBoth);
    t.Build(kFixedLitLen, 0, 288, kLengthExtra, 257);
    return &t;
  }();
  return *tree;
}

const DfDecodeHuffmanTree& FixedDistTree() {
  static const DfDecodeHuffmanTree* tree = [] {
    static DfDecodeHuffmanTree t(32, 15, trBoth);
    t.Build(kFixedDist, 0, 32, kDistanceExtra, 0);
    return &t;
  }();
  return *tree;
}

}  // namespace vz
