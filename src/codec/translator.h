// The Deflate symbol alphabet of lengths and distances, and the translator that maps a match
// length or distance to its symbol.
//
// RFC 1951 codes a length as one of 29 symbols (257..285) and a distance as one of 30 symbols
// (0..29) followed by extra bits; Deflate64 adds distance symbols 30 and 31 and gives symbol 285
// sixteen extra bits (length - 3). Every base follows from the extra-bit counts: a symbol with k
// extra bits covers 2^k values, so the next base is this base plus 2^k. The tables here are built
// from that rule, not typed in.
//
// The translator answers "which symbol has the largest base not above this value" with one lookup.
// Lengths 3..258 index a 256-entry table directly. Distances 1..256 do the same; above that every
// base is one more than a multiple of 128, so (distance - 1) div 128 indexes a second table, and
// above 32768 (Deflate64 only) a step of 16384 picks between symbols 30 and 31. Each table is made
// by writing each symbol at its base's slot and filling forward: a slot between two bases keeps the
// lower symbol.
#pragma once

#include <array>
#include <cstdint>

namespace vz {

inline constexpr int kLengthSymbolCount = 29;    // symbols 257..285
inline constexpr int kDistanceSymbolCount = 32;  // 0..29 in Deflate, 30 and 31 in Deflate64
inline constexpr int kLitLenAlphabet = 286;      // literals, end of block, lengths
inline constexpr int kEndOfBlock = 256;

// Extra bits of length symbols 257..284 (symbol 285 is handled apart: 0 bits, or 16 in Deflate64).
constexpr int LengthExtraBits(int index) {
  return index < 8 ? 0 : (index - 4) / 4;
}
// Extra bits of distance symbols 0..31.
constexpr int DistanceExtraBits(int symbol) {
  return symbol < 4 ? 0 : (symbol - 2) / 2;
}

struct DeflateSymbolTables {
  std::array<int32_t, kLengthSymbolCount> length_base{};  // index = symbol - 257
  std::array<uint8_t, kLengthSymbolCount> length_extra{};
  std::array<int32_t, kDistanceSymbolCount> distance_base{};
  std::array<uint8_t, kDistanceSymbolCount> distance_extra{};
};

constexpr DeflateSymbolTables MakeDeflateSymbolTables() {
  DeflateSymbolTables t;
  int32_t base = 3;
  for (int i = 0; i < kLengthSymbolCount - 1; ++i) {
    t.length_base[i] = base;
    t.length_extra[i] = static_cast<uint8_t>(LengthExtraBits(i));
    base += 1 << LengthExtraBits(i);
  }
  // 285: length 258 in Deflate, the base of its 16 extra bits (length - 3) in Deflate64.
  t.length_base[kLengthSymbolCount - 1] = 258;
  t.length_extra[kLengthSymbolCount - 1] = 16;
  base = 1;
  for (int d = 0; d < kDistanceSymbolCount; ++d) {
    t.distance_base[d] = base;
    t.distance_extra[d] = static_cast<uint8_t>(DistanceExtraBits(d));
    base += 1 << DistanceExtraBits(d);
  }
  return t;
}

inline constexpr DeflateSymbolTables kDeflateSymbols = MakeDeflateSymbolTables();

// Order in which the lengths of the code-length alphabet are sent.
inline constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};

// Maps lengths and distances to their symbols. One read-only instance serves every run.
class DfTranslator {
 public:
  DfTranslator();

  // 257..285 for a length of 3..65536 (every length above 258 is symbol 285).
  int LengthSymbol(int32_t length) const;
  // 0..31 for a distance of 1..65536.
  int DistanceSymbol(int32_t distance) const;

  // The checked forms above, without the range checks, for the encoder's inner loops.
  int LengthSymbolFast(int32_t length) const {
    return length <= 258 ? 257 + length_[length - 3] : 285;
  }
  int DistanceSymbolFast(int32_t distance) const {
    if (distance <= 256) return short_[distance - 1];
    if (distance <= 32768) return medium_[((distance - 1) >> 7) - 2];
    return long_[((distance - 1) >> 14) - 2];
  }

 private:
  std::array<uint8_t, 256> length_{};
  std::array<uint8_t, 2> long_{};
  std::array<uint8_t, 256> medium_{};
  std::array<uint8_t, 256> short_{};
};

// The shared translator.
const DfTranslator& Translator();

}  // namespace vz
