// The inflate decoder: block parsing, code tables and the symbol loop.
//
// Why it is fast:
// - Code tables resolve a whole literal/length or distance symbol in one lookup (two for the
//   rare codes longer than the table's primary bits), and the entry already carries the length
//   or distance base and the count of extra bits, so a match costs two lookups and two shifts.
// - Bits come from a 64-bit buffer refilled eight bytes at a time, enough for a whole
//   literal/length-plus-distance step without checks in between. A lookup is made from the bits
//   already in the buffer while the refill runs, so the chain from one symbol to the next is a
//   shift, a mask and a load.
// - Output goes straight into a large window buffer; matches are copied 16 or 8 bytes at a time
//   (overrunning into a margin), and the checksum runs once over big pieces.
// - The symbol loop keeps its whole state (bit buffer, count, input and output pointers) in
//   registers: nothing of it has its address taken. A round of literals starts only while its
//   literals cannot reach the flush point or the output limit, so that literals need no test of
//   the output; near either, a careful copy of the loop tests after every literal.
// - On x86-64 processors with BMI2 the same loop runs compiled for them (one-instruction shifts
//   by a register and bit-field cuts).
//
// The decoder still behaves exactly like one that peeks each symbol through a 32-bit reservoir
// and a 16 KiB input buffer: the fast loop runs only while no peek of the current step can reach
// past the buffered whole words, and the remaining steps take the exact path (SlowSymbol), so
// reads of the source, progress reports, errors and the final source position do not depend on
// the fast loop. Its single-level code tables are reproduced entry for entry, incomplete and
// over-subscribed codes included.
#include "codec/inflate.h"

#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "codec/crypt_streams.h"
#include "codec/deflate_streams.h"
#include "codec/huffman.h"
#include "codec/inflate_window.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

// ---- Code tables -----------------------------------------------------------------------------

// A table entry: bits 0-7 code length plus extra bits (all the bits the symbol uses, so that one
// shift passes them), 8-12 code length, 13-15 kind, 16-31 value (literal byte, length or distance
// base, or the offset of a subtable).
enum EntryKind : uint32_t {
  kLiteral = 0,
  kLength = 1,
  kEndOfBlock = 2,
  kBadLength = 3,    // length symbol above 285, or a pattern that begins no code
  kBadDistance = 4,  // distance symbol above 29 outside Deflate64, or no code
  kBadBitCount = 5,  // no distance code in Deflate64: its 255 + 255 bits cannot be discarded
  kSubtable = 6,
  kDistance = 7,
};

constexpr uint32_t MakeEntry(EntryKind kind, uint32_t value, uint32_t length, uint32_t extra) {
  return (value << 16) | (static_cast<uint32_t>(kind) << 13) | (length << 8) | (length + extra);
}
inline uint32_t KindOf(uint32_t e) {
  return (e >> 13) & 7u;
}
inline uint32_t ValueOf(uint32_t e) {
  return e >> 16;
}
inline int TotalBitsOf(uint32_t e) {
  return static_cast<int>(e & 0xFFu);
}
inline int CodeLengthOf(uint32_t e) {
  return static_cast<int>((e >> 8) & 0x1Fu);
}
inline int ExtraOf(uint32_t e) {
  return TotalBitsOf(e) - CodeLengthOf(e);
}

// Length bases of symbols 257..284 and distance bases of 0..31, from the extra-bit counts.
struct Bases {
  std::array<uint32_t, 29> length{};
  std::array<uint32_t, 32> distance{};
};
constexpr Bases MakeBases() {
  Bases b;
  constexpr std::array<uint8_t, 31> kLengthExtra = [] {
    std::array<uint8_t, 31> e{};
    for (int s = 257; s <= 284; ++s) e[s - 257] = s < 265 ? 0 : static_cast<uint8_t>((s - 261) / 4);
    return e;
  }();
  b.length[0] = 3;
  for (int i = 1; i < 28; ++i) b.length[i] = b.length[i - 1] + (1u << kLengthExtra[i - 1]);
  b.length[28] = 258;
  b.distance[0] = 1;
  for (int d = 1; d < 32; ++d) {
    const int extra = d - 1 < 4 ? 0 : (d - 1) / 2 - 1;
    b.distance[d] = b.distance[d - 1] + (1u << extra);
  }
  return b;
}
constexpr Bases kBases = MakeBases();
static_assert(kBases.length[27] == 227 && kBases.distance[29] == 24577 &&
              kBases.distance[31] == 49153);

constexpr int kLitPrimaryBits = 11;
constexpr int kDistPrimaryBits = 10;

// A decode table equivalent to the single-level table of the longest code present: a primary
// table indexed by the first kPrimaryBits bits and subtables for the longer codes. When every code
// is shorter than that, the primary table repeats the single-level table, so a lookup always masks
// the same constant number of bits.
template <int kPrimaryBits, int kSymbols>
struct DecodeTable {
  static constexpr uint32_t kPrimarySize = 1u << kPrimaryBits;
  int lookup_bits = 0;
  uint32_t sub_mask = 0;  // index bits of a subtable
  std::array<uint32_t, kPrimarySize + kSymbols*(1u << (15 - kPrimaryBits))> entries;

  uint32_t Lookup(uint64_t bits) const {
    const uint32_t e = entries[bits & (kPrimarySize - 1)];
    if (KindOf(e) != kSubtable) return e;
    return entries[ValueOf(e) + ((bits >> kPrimaryBits) & sub_mask)];
  }

  // Later symbols overwrite the patterns of earlier ones and missing patterns keep no_code, as in
  // a single-level table filled in symbol order.
  template <typename EntryOf>
  void Build(const int32_t* lengths, int count, uint32_t no_code, EntryOf entry_of) {
    std::array<int, 16> length_count{};
    lookup_bits = 0;
    for (int s = 0; s < count; ++s) {
      ++length_count[lengths[s]];
      if (lengths[s] > lookup_bits) lookup_bits = lengths[s];
    }
    const uint32_t sub_size = lookup_bits > kPrimaryBits ? 1u << (lookup_bits - kPrimaryBits) : 1u;
    sub_mask = sub_size - 1;
    uint32_t pool = kPrimarySize;

    std::array<uint32_t, 16> next_code{};
    uint32_t code = 0;
    length_count[0] = 0;
    uint32_t kraft = 0;  // the codes' share of all 15-bit patterns
    for (int bits = 1; bits <= 15; ++bits) {
      code = (code + static_cast<uint32_t>(length_count[bits - 1])) << 1;
      next_code[bits] = code;
      kraft += static_cast<uint32_t>(length_count[bits]) << (15 - bits);
    }
    // Codes that do not overlap (every valid stream's) give each pattern at most one symbol, so
    // the order of filling does not matter. The primary table is then built from the shortest
    // codes up: the table of the first L bits, doubled, is the one of L + 1 bits before the codes
    // of length L + 1 go in. That is one store per symbol instead of one per pattern.
    const bool no_overlap = kraft <= (1u << 15);
    if (no_overlap) {
      std::array<int16_t, kSymbols> by_length;
      std::array<int, 17> start{};
      for (int bits = 1; bits <= 15; ++bits) start[bits + 1] = start[bits] + length_count[bits];
      for (int s = 0; s < count; ++s) {
        if (lengths[s] != 0)
          by_length[static_cast<size_t>(start[lengths[s]]++)] = static_cast<int16_t>(s);
      }
      entries[0] = no_code;
      int at = 0;
      for (int bits = 1; bits <= kPrimaryBits; ++bits) {
        const uint32_t half = 1u << (bits - 1);
        std::copy_n(entries.begin(), half, entries.begin() + half);
        for (int k = 0; k < length_count[bits]; ++k, ++at) {
          const int s = by_length[static_cast<size_t>(at)];
          entries[ReverseBits(next_code[bits]++, bits)] = entry_of(s, static_cast<uint32_t>(bits));
        }
      }
    } else {
      std::fill_n(entries.begin(), kPrimarySize, no_code);
    }
    for (int s = 0; s < count; ++s) {
      const int length = lengths[s];
      if (length == 0 || (no_overlap && length <= kPrimaryBits)) continue;
      const uint32_t reversed = ReverseBits(next_code[length]++, length);
      const uint32_t e = entry_of(s, static_cast<uint32_t>(length));
      if (length <= kPrimaryBits) {
        for (uint32_t i = reversed; i < kPrimarySize; i += 1u << length) entries[i] = e;
        continue;
      }
      const uint32_t slot = reversed & (kPrimarySize - 1);
      if (KindOf(entries[slot]) != kSubtable) {
        std::fill_n(entries.begin() + pool, sub_size, entries[slot]);
        entries[slot] = MakeEntry(kSubtable, pool, 0, 0);
        pool += sub_size;
      }
      const uint32_t base = ValueOf(entries[slot]);
      for (uint32_t j = reversed >> kPrimaryBits; j < sub_size;
           j += 1u << (length - kPrimaryBits)) {
        entries[base + j] = e;
      }
    }
  }
};

using LitTable = DecodeTable<kLitPrimaryBits, 288>;
using DistTable = DecodeTable<kDistPrimaryBits, 32>;

void BuildLitTable(LitTable& table, const int32_t* lengths, int count, bool deflate64) {
  table.Build(lengths, count, MakeEntry(kBadLength, 0, 0, 0), [&](int s, uint32_t length) {
    if (s < 256) return MakeEntry(kLiteral, static_cast<uint32_t>(s), length, 0);
    if (s == 256) return MakeEntry(kEndOfBlock, 0, length, 0);
    if (s == 285) {
      return deflate64 ? MakeEntry(kLength, 3, length, 16) : MakeEntry(kLength, 258, length, 0);
    }
    if (s > 285) return MakeEntry(kBadLength, 0, length, 0);
    const uint32_t extra = s < 265 ? 0 : static_cast<uint32_t>((s - 261) / 4);
    return MakeEntry(kLength, kBases.length[s - 257], length, extra);
  });
}

void BuildDistTable(DistTable& table, const int32_t* lengths, int count, bool deflate64) {
  const uint32_t no_code = MakeEntry(deflate64 ? kBadBitCount : kBadDistance, 0, 0, 0);
  table.Build(lengths, count, no_code, [&](int s, uint32_t length) {
    if (s > 29 && !deflate64) return MakeEntry(kBadDistance, 0, length, 0);
    const uint32_t extra = s < 4 ? 0 : static_cast<uint32_t>(s / 2 - 1);
    return MakeEntry(kDistance, kBases.distance[s], length, extra);
  });
}

// A block's two tables together, so that one base register reaches both in the symbol loop.
struct CodeTables {
  LitTable lit;
  DistTable dist;
};

const CodeTables& Fixed(bool deflate64) {
  static const auto* tables = [] {
    static std::array<CodeTables, 2> t;
    for (int d64 = 0; d64 < 2; ++d64) {
      BuildLitTable(t[d64].lit, FixedLitLenLengths().data(), 288, d64 != 0);
      BuildDistTable(t[d64].dist, FixedDistLengths().data(), 32, d64 != 0);
    }
    return &t;
  }();
  return (*tables)[deflate64 ? 1 : 0];
}

[[noreturn]] void Fail(const char* text) {
  throw InternalInflateError(text);
}

constexpr const char* kBadLengthText =
    "decoded an invalid length symbol: greater than 285 [DecodeData]";
constexpr const char* kBadDistanceText =
    "decoded an invalid distance symbol: greater than 29 [DecodeData]";
constexpr const char* kBadBitCountText =
    "count of bits must be between 1 and 32 inclusive [DfInBitStream.DiscardBits]";

}  // namespace

// ---- The decoder -----------------------------------------------------------------------------

class InflateDecoder {
 public:
  InflateDecoder(DfInBitStream& in, DfOutputWindow& out, bool deflate64)
      : in_(in), out_(out), deflate64_(deflate64) {}

  void Run() {
    bool final_block = false;
    do {
      final_block = in_.ReadBit() != 0;
      switch (in_.ReadBits(2)) {
        case 0:
          InflateStoredBlock();
          break;
        case 1:
          InflateFixedBlock();
          break;
        case 2:
          InflateDynamicBlock();
          break;
        default:
          Fail("starting new block, but invalid block type [Inflate]");
      }
    } while (!final_block);
  }

 private:
  void InflateStoredBlock() {
    in_.ByteAlign();
    uint8_t header[4];
    in_.ReadBuffer(header, 4);
    const uint32_t length = header[0] | (header[1] << 8);
    const uint32_t not_length = header[2] | (header[3] << 8);
    if (not_length != (~length & 0xFFFFu)) {
      Fail("invalid stored block (length and NOT length do not match) [InflateStoredBlock]");
    }
    // Pieces of 16 KiB go straight from the input buffer into the window; a piece counts as
    // output only once it has been read whole.
    for (int64_t left = length; left > 0;) {
      const int64_t piece = left < 16384 ? left : 16384;
      in_.ReadBuffer(out_.Reserve(piece), piece);
      out_.pos_ += static_cast<size_t>(piece);
      left -= piece;
    }
  }

  // Fixed-code blocks use tables built once per mode.
  void InflateFixedBlock() { DecodeData(Fixed(deflate64_)); }

  void InflateDynamicBlock() {
    const int hlit = static_cast<int>(in_.ReadBits(5)) + 257;
    const int hdist = static_cast<int>(in_.ReadBits(5)) + 1;
    const int hclen = static_cast<int>(in_.ReadBits(4)) + 4;
    if (hlit > 286)
      Fail("count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]");
    if (!deflate64_ && hdist > 30) {
      Fail("count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]");
    }
    static constexpr std::array<uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<int32_t, 318> lengths{};
    for (int i = 0; i < hclen; ++i) lengths[kOrder[i]] = static_cast<int32_t>(in_.ReadBits(3));
    DfDecodeHuffmanTree code_lengths(19, 7, trDecode);
    static constexpr std::array<uint8_t, 1> kNoExtra = {0};
    code_lengths.Build(lengths, 0, 19, kNoExtra, 65535);
    ReadLitDistCodeLengths(code_lengths, lengths, hlit + hdist);

    if (!tables_) tables_ = std::make_unique_for_overwrite<CodeTables>();
    BuildLitTable(tables_->lit, lengths.data(), hlit, deflate64_);
    BuildDistTable(tables_->dist, lengths.data() + hlit, hdist, deflate64_);
    DecodeData(*tables_);
  }

  // Code lengths are read straight from the bit buffer, held in locals, while the whole peek
  // stays within the buffered whole words; near them, through the exact peek and discard.
  void ReadLitDistCodeLengths(const DfDecodeHuffmanTree& tree, std::array<int32_t, 318>& lengths,
                              int count) {
    lengths.fill(0);
    const int lookup = tree.LookupBitLength();
    const int peek = lookup + 7;
    const uint32_t mask = (1u << lookup) - 1;
    std::array<uint32_t, 128> table;  // the tree's entries (its codes are at most 7 bits)
    for (uint32_t k = 0; k <= mask; ++k) table[k] = tree.Decode(k);

    const uint8_t* const buf = in_.buf_.get();
    uint64_t bb = in_.bitbuf_;
    int bc = in_.bitcnt_;
    size_t pos = in_.pos_;
    int64_t direct_end = 8 * static_cast<int64_t>(in_.aligned_end_) - peek;
    const auto save = [&] {
      in_.bitbuf_ = bb;
      in_.bitcnt_ = bc;
      in_.pos_ = pos;
    };
    const auto load = [&] {
      bb = in_.bitbuf_;
      bc = in_.bitcnt_;
      pos = in_.pos_;
      direct_end = 8 * static_cast<int64_t>(in_.aligned_end_) - peek;
    };
    const auto fail = [&](const char* text) {
      save();
      Fail(text);
    };
    int i = 0;
    while (i < count) {
      const bool direct = 8 * static_cast<int64_t>(pos) <= direct_end;
      uint32_t p;
      if (direct) {
        if (bc < 56) {
          uint64_t word;
          std::memcpy(&word, buf + pos, 8);
          bb |= word << bc;
          pos += static_cast<size_t>((63 - bc) >> 3);
          bc |= 56;
        }
        p = static_cast<uint32_t>(bb & ((uint64_t{1} << peek) - 1));
      } else {
        save();
        p = in_.PeekBits(peek);
        load();
      }
      const auto discard = [&](int n) {
        if (direct) {
          bb >>= n;
          bc -= n;
          return;
        }
        save();
        in_.DiscardBits(n);
        load();
      };
      const uint32_t e = table[p & mask];
      const uint32_t symbol = DfDecodeHuffmanTree::SymbolOf(e);
      const int length = static_cast<int>(DfDecodeHuffmanTree::LengthOf(e));
      if (symbol > 18) fail("decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}");
      if (length == 0 || length > lookup) {
        fail("decoded a code length out of range {ReadLitDistCodeLengths}");
      }
      if (symbol <= 15) {
        lengths[i++] = static_cast<int32_t>(symbol);
        discard(length);
        continue;
      }
      // Repeats: 16 repeats the previous length 3-6 times, 17 and 18 give 3-10 and 11-138 zeros.
      static constexpr int kRepeatBits[3] = {2, 3, 7};
      static constexpr int kRepeatBase[3] = {3, 3, 11};
      const int kind = static_cast<int>(symbol) - 16;
      const int repeat =
          static_cast<int>((p >> length) & ((1u << kRepeatBits[kind]) - 1)) + kRepeatBase[kind];
      if (kind == 0 && i == 0) {
        fail("repeat of a previous code length before the first one {ReadLitDistCodeLengths}");
      }
      if (i + repeat > count) {
        fail("repeated code lengths run past the count of codes {ReadLitDistCodeLengths}");
      }
      const int32_t value = kind == 0 ? lengths[i - 1] : 0;
      for (int r = 0; r < repeat; ++r) lengths[i++] = value;
      discard(length + kRepeatBits[kind]);
    }
    save();
  }

  // One symbol (and its distance) through the exact bit-stream operations. True at the end of
  // the block.
  bool SlowSymbol(const LitTable& lit, const DistTable& dist) {
    const uint32_t p = in_.PeekBits(lit.lookup_bits + (deflate64_ ? 16 : 5));
    const uint32_t e = lit.Lookup(p);
    const int length_bits = CodeLengthOf(e);
    switch (KindOf(e)) {
      case kLiteral:
        out_.PutByte(static_cast<uint8_t>(ValueOf(e)));
        in_.DiscardBits(length_bits);
        return false;
      case kEndOfBlock:
        in_.DiscardBits(length_bits);
        return true;
      case kLength:
        break;
      default:
        Fail(kBadLengthText);
    }
    const int extra = ExtraOf(e);
    const int length = static_cast<int>(ValueOf(e) + ((p >> length_bits) & ((1u << extra) - 1)));
    in_.DiscardBits(length_bits + extra);

    const uint32_t q = in_.PeekBits(dist.lookup_bits + 14);
    const uint32_t d = dist.Lookup(q);
    if (KindOf(d) == kBadDistance) Fail(kBadDistanceText);
    if (KindOf(d) == kBadBitCount) Fail(kBadBitCountText);
    const int dist_bits = CodeLengthOf(d);
    const int dist_extra = ExtraOf(d);
    const int distance =
        static_cast<int>(ValueOf(d) + ((q >> dist_bits) & ((1u << dist_extra) - 1)));
    in_.DiscardBits(dist_bits + dist_extra);
    out_.CopyMatch(length, distance);
    return false;
  }

  void DecodeData(const CodeTables& t) {
    const LitTable& lit = t.lit;
    const DistTable& dist = t.dist;
    // The most bits one literal/length-plus-distance step may peek past the cursor.
    const int64_t step_bits = lit.lookup_bits + (deflate64_ ? 16 : 5) + dist.lookup_bits + 14;
    // A round of the fast loop may decode two literals before such a step.
    const int64_t round_bits = step_bits + 2 * lit.lookup_bits;
    while (true) {
      if (out_.pos_ >= out_.flush_at_) out_.Slide();
      // A stored block may have carried the output past its limit; the next symbol then takes the
      // exact path, which stops right after it.
      if (!FastInputAhead(in_.pos_, round_bits) ||
          static_cast<int64_t>(out_.pos_) >= out_.limit_rel_) {
        if (SlowSymbol(lit, dist)) return;
        continue;
      }
      // The last literals before the flush point or the limit are checked one by one.
      if (!FastOutputAhead()) {
        if (FastLoopBody<true>(t, round_bits)) return;
        continue;
      }
      if (FastLoop(t, round_bits)) return;
    }
  }

  // Whether a round that starts with the next bit-buffer load at byte pos may run in the fast
  // loop: its peeks (at most round_bits from the cursor, which never stands after 8 * pos) stay
  // within the buffered whole words. Steps near the end take the exact path instead.
  bool FastInputAhead(size_t pos, int64_t round_bits) const {
    return 8 * static_cast<int64_t>(pos) + round_bits <= 8 * static_cast<int64_t>(in_.aligned_end_);
  }

  // Whether the output lets a round of the fast loop start: its literals (three at most) must
  // stay short of the window's flush point and of the output limit, so that only a match can
  // reach either.
  bool FastOutputAhead() const {
    const int64_t stop = static_cast<int64_t>(out_.flush_at_) < out_.limit_rel_
                             ? static_cast<int64_t>(out_.flush_at_)
                             : out_.limit_rel_;
    return static_cast<int64_t>(out_.pos_) + kRoundLiterals < stop;
  }

  static constexpr int kRoundLiterals = 3;

  // The fast loop, built a second time for processors with BMI2, whose shifts take their count
  // from any register and whose bit-field extraction is one instruction.
  bool FastLoop(const CodeTables& t, int64_t round_bits) {
#if defined(__x86_64__)
    if (Bmi2Available()) return FastLoopBmi2(t, round_bits);
#endif
    return FastLoopBody<false>(t, round_bits);
  }

#if defined(__x86_64__)
  static bool Bmi2Available() {
    static const bool available = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    return available;
  }

  __attribute__((target("bmi,bmi2"))) bool FastLoopBmi2(const CodeTables& t, int64_t round_bits) {
    return FastLoopBody<false>(t, round_bits);
  }
#endif

  // Decodes symbols while no step can reach past the buffered input, the window's flush point or
  // the output limit. True at the end of the block.
  //
  // One round loads the bit buffer to at least 56 bits and decodes up to three literals from it,
  // or up to two literals and then a length with its distance (after a second load). A round
  // may therefore use two literals' bits more than one step, which the input bound allows for.
  // Lookups never wait for a load: each is made from the bits already there (enough for it), and
  // the load runs beside it.
  // Unless careful, a round starts only while its literals cannot reach the flush point or the
  // output limit (FastOutputAhead), so that the step that reaches either is always a match, whose
  // bits count as used as on the exact path. The careful loop tests the output after every
  // literal instead: a literal that reaches the limit stops decoding before its bits count as
  // used.
  template <bool kCareful>
  [[gnu::always_inline]] inline bool FastLoopBody(const CodeTables& t, int64_t round_bits) {
    // Cursors are pointers and the bounds are pointers too, so that the loop's state stays in
    // registers.
    const uint8_t* const in = in_.buf_.get();
    const uint8_t* ip = in + in_.pos_;
    uint64_t bb = in_.bitbuf_;
    int bc = in_.bitcnt_;
    uint8_t* const out = out_.buf_.get();
    uint8_t* op = out + out_.pos_;
    const int64_t limit = out_.limit_rel_;
    const size_t out_stop =
        limit < static_cast<int64_t>(out_.flush_at_) ? static_cast<size_t>(limit) : out_.flush_at_;
    // The caller makes sure that a first round may run.
    uint8_t* const round_stop = out + (kCareful ? out_stop : out_stop - kRoundLiterals);
    // The code bits of the last symbol when it was a literal (careful loop only).
    int literal_bits = 0;
    // The output before op is op + produced_bias bytes (modulo 2^64, exact as a count).
    const uint64_t produced_bias =
        static_cast<uint64_t>(out_.base_total_) - reinterpret_cast<uintptr_t>(out);

    // Written as a macro so that the loop's state never has its address taken.
#define VZ_SAVE()                              \
  do {                                         \
    in_.pos_ = static_cast<size_t>(ip - in);   \
    in_.bitbuf_ = bb;                          \
    in_.bitcnt_ = bc;                          \
    out_.pos_ = static_cast<size_t>(op - out); \
  } while (0)
    // The low n bits of x.
    const auto low_bits = [](uint64_t x, int n) { return x & ~(~uint64_t{0} << n); };
    // The count is 0 to 63 here, so flipping its six bits gives 63 minus it without a register
    // holding 63.
#define VZ_REFILL()                            \
  do {                                         \
    uint64_t word;                             \
    std::memcpy(&word, ip, 8);                 \
    bb |= word << (bc & 63);                   \
    ip += static_cast<unsigned>(bc ^ 63) >> 3; \
    bc |= 56;                                  \
  } while (0)
#define VZ_LITERAL(e)                                      \
  do {                                                     \
    *op++ = static_cast<uint8_t>(ValueOf(e));              \
    if constexpr (kCareful) literal_bits = TotalBitsOf(e); \
    VZ_CONSUME(TotalBitsOf(e));                            \
  } while (0)
#define VZ_CONSUME(n)         \
  do {                        \
    const int consumed = (n); \
    bb >>= consumed;          \
    bc -= consumed;           \
  } while (0)
    const auto is_literal = [](uint32_t e) { return (e & (7u << 13)) == 0; };
    const auto is_kind = [](uint32_t e, EntryKind kind) {
      return (e & (7u << 13)) == static_cast<uint32_t>(kind) << 13;
    };

    // The byte position only moves at a refill, so one test of it covers a whole round.
    const uint8_t* const ip_stop =
        in + (8 * static_cast<int64_t>(in_.aligned_end_) - round_bits) / 8;
    uint32_t e;
    VZ_REFILL();
    while (ip <= ip_stop && op < round_stop) {
      // A round starts with at least 11 bits in the buffer (it takes at most three literal codes
      // of 15 bits from 56), enough for the first lookup, so the refill runs beside it.
      e = t.lit.entries[bb & (LitTable::kPrimarySize - 1)];
      VZ_REFILL();
    have_entry:
      if (is_literal(e)) {
        // 41 bits are left after the first literal, enough for two more literal codes.
        VZ_LITERAL(e);
        if (kCareful && op >= round_stop) continue;
        e = t.lit.entries[bb & (LitTable::kPrimarySize - 1)];
        if (is_literal(e)) {
          VZ_LITERAL(e);
          if (kCareful && op >= round_stop) continue;
          e = t.lit.entries[bb & (LitTable::kPrimarySize - 1)];
          if (is_literal(e)) {
            VZ_LITERAL(e);
            continue;
          }
        }
        VZ_REFILL();
      }
      if (!is_kind(e, kLength)) [[unlikely]] {
        if (is_kind(e, kSubtable)) {
          e = t.lit.entries[ValueOf(e) + ((bb >> kLitPrimaryBits) & t.lit.sub_mask)];
          if (is_literal(e)) {
            VZ_LITERAL(e);
            continue;
          }
        }
        if (is_kind(e, kEndOfBlock)) {
          VZ_CONSUME(TotalBitsOf(e));
          VZ_SAVE();
          return true;
        }
        if (!is_kind(e, kLength)) {
          VZ_SAVE();
          Fail(kBadLengthText);
        }
      }
      if constexpr (kCareful) literal_bits = 0;
      // The bit buffer moves past code and extra bits in one shift; the extra value is cut from
      // the bits before it.
      const uint32_t length =
          ValueOf(e) + static_cast<uint32_t>(low_bits(bb, TotalBitsOf(e)) >> CodeLengthOf(e));
      VZ_CONSUME(TotalBitsOf(e));
      // The length took at most 20 of 56 bits (31 in Deflate64), which leaves enough for the
      // distance's first lookup; the refill runs beside it and serves the rest.
      uint32_t d = t.dist.entries[bb & (DistTable::kPrimarySize - 1)];
      VZ_REFILL();
      if (!is_kind(d, kDistance)) [[unlikely]] {
        if (is_kind(d, kSubtable))
          d = t.dist.entries[ValueOf(d) + ((bb >> kDistPrimaryBits) & t.dist.sub_mask)];
        if (!is_kind(d, kDistance)) {
          VZ_SAVE();
          Fail(is_kind(d, kBadDistance) ? kBadDistanceText : kBadBitCountText);
        }
      }
      const uint32_t distance =
          ValueOf(d) + static_cast<uint32_t>(low_bits(bb, TotalBitsOf(d)) >> CodeLengthOf(d));
      VZ_CONSUME(TotalBitsOf(d));
      if (distance > reinterpret_cast<uintptr_t>(op) + produced_bias) [[unlikely]] {
        VZ_SAVE();
        Fail("invalid distance: too far back");
      }
      // The next symbol's entry is looked up before the copy, so that the two overlap, and
      // before the refill: at least 27 bits are left.
      e = t.lit.entries[bb & (LitTable::kPrimarySize - 1)];
      VZ_REFILL();
      CopyMatchFast(op, length, distance);
      op += length;
      if (ip <= ip_stop && op < round_stop) goto have_entry;
      break;
    }
#undef VZ_REFILL
#undef VZ_CONSUME
#undef VZ_LITERAL
    VZ_SAVE();
#undef VZ_SAVE
    if (op - out >= limit) {
      if (kCareful && literal_bits != 0) in_.Resync(in_.Cursor() - literal_bits);
      throw PartSizedInflateError();
    }
    return false;
  }

  // Copies a match that may write up to 31 bytes past its end (the window keeps a margin for
  // that). Sources at least 16 bytes back never overlap the bytes of their own copy step, so the
  // common short matches take two 16-byte moves, made whatever the length: a branch on the
  // length of short matches is mispredicted too often to pay. Sources 8 to 15 bytes back do the
  // same with 8-byte moves, and longer matches go on with 16-byte moves from two periods back.
  // Nearer sources repeat a pattern: its first 16 bytes are stored again every whole number of
  // periods that fits in 16 bytes.
  static void CopyMatchFast(uint8_t* dst, uint32_t length, uint32_t distance) {
    const uint8_t* src = dst - distance;
    uint8_t* const end = dst + length;
    const auto copy16 = [](uint8_t* to, const uint8_t* from) {
      uint8_t w[16];
      std::memcpy(w, from, 16);
      std::memcpy(to, w, 16);
    };
    const auto copy8 = [](uint8_t* to, const uint8_t* from) {
      uint64_t w;
      std::memcpy(&w, from, 8);
      std::memcpy(to, &w, 8);
    };
    if (distance >= 16) {
      copy16(dst, src);
      copy16(dst + 16, src + 16);
      if (length <= 32) [[likely]]
        return;
      dst += 32;
      src += 32;
      do {
        copy16(dst, src);
        dst += 16;
        src += 16;
      } while (dst < end);
      return;
    }
    if (distance >= 8) {
      copy8(dst, src);
      copy8(dst + 8, src + 8);
      if (length <= 16) [[likely]]
        return;
      // Two periods back is at least 16 bytes back.
      dst += 16;
      src = dst - 2 * distance;
      do {
        copy16(dst, src);
        dst += 16;
        src += 16;
      } while (dst < end);
      return;
    }
    // The pattern's first 16 bytes go byte by byte; the stores of the whole pattern after them do
    // not wait for each other's bytes.
    if (distance == 1) {
      std::memset(dst, src[0], 16);
    } else {
      for (int i = 0; i < 16; ++i) dst[i] = src[i];
    }
    if (length <= 16) return;
    uint8_t pattern[16];
    std::memcpy(pattern, dst, 16);
    const uint32_t step = 16 - 16 % distance;
    dst += step;
    do {
      std::memcpy(dst, pattern, 16);
      dst += step;
    } while (dst < end);
  }

  DfInBitStream& in_;
  DfOutputWindow& out_;
  bool deflate64_;
  std::unique_ptr<CodeTables> tables_;  // the tables of dynamic blocks, reused
};

// ---- Entry point -----------------------------------------------------------------------------

uint32_t Inflate(Stream* source, Stream* destination, DeflateHelper* helper) {
  Check(source != nullptr, "Deflate: aSource stream cannot be nil");
  Check(destination != nullptr, "Deflate: aDest stream cannot be nil");
  DeflateHelper options;
  if (helper != nullptr) options.AssignFrom(*helper);
  const int64_t source_start = source->Position();
  const int64_t dest_start = destination->Position();

  int64_t source_size = options.SourceSize();
  if (!options.OnPercentDone()) {
    source_size = 0;
  } else if (source_size == -1) {
    source_size = source->Size();
  }

  std::unique_ptr<Logger> log;
  if (!options.LogFileName().empty()) {
    log = std::make_unique<Logger>(options.LogFileName());
    log->WriteTextLine("INFLATING STREAM...");
    log->WriteTextLine("Need to recompile the app with UseLogging turned on");
  }

  std::unique_ptr<DfDecryptStream> decrypt;
  Stream* input = source;
  if (!options.CryptPassword().empty()) {
    decrypt = std::make_unique<DfDecryptStream>(
        *source, static_cast<uint32_t>(options.CryptCheck()), options.CryptPassword());
    if (!decrypt->ReadAndVerifyHeader()) throw InflatePasswordError();
    input = decrypt.get();
  }

  const uint32_t flags = options.Options();
  const bool test_only = (flags & dfoTestOnly) != 0;
  uint32_t result = 0;
  std::exception_ptr failure;
  {
    DfInBitStream bits(input, source_size, options.OnPercentDone());
    DfOutputWindow window(destination, (flags & dfoDeflate64) != 0, (flags & dfoAdler32) == 0,
                          options.OutputLimit(), test_only);
    try {
      InflateDecoder(bits, window, (flags & dfoDeflate64) != 0).Run();
      result = window.FinalChecksum();
      if (test_only && helper != nullptr) {
        helper->SetUncompressedBytes(static_cast<int32_t>(window.BytesOutput()));
      }
    } catch (const PartSizedInflateError&) {
      result = 0;
    } catch (const AbortProgressError&) {
      result = 0;
    } catch (const InternalInflateError& e) {
      if (log) log->WriteTextLine(std::string("Internal exception raised: ") + e.what());
      failure = std::make_exception_ptr(InflateError(e.what()));
    } catch (...) {
      failure = std::current_exception();
    }
    // The destination receives everything decoded, also after a failure; the source gets back
    // the input read ahead.
    try {
      window.WriteOut();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    try {
      bits.GiveBack();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);

  if (helper != nullptr) {
    if (!test_only) {
      helper->SetUncompressedBytes(static_cast<int32_t>(destination->Position() - dest_start));
    }
    helper->SetCompressedBytes(static_cast<int32_t>(source->Position() - source_start));
  }
  return result;
}

}  // namespace vz
