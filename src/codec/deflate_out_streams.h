// The output side of the encoder's streams: the token buffer of one block with its symbol counts
// (DfLZStream), the least-significant-bit-first bit writer (DfOutBitStream), the run-length coder
// of a dynamic block's code lengths (DfCodeLenStream) and the encode table of a prefix code
// (DfDecodeHuffmanTree) with the two fixed codes.
//
// The token buffer keeps one block in a compact byte form (a literal is 1 and the byte, a match is
// 0 and length - 1 and distance - 1 as 16-bit little-endian numbers) while counting the symbols,
// so that the block writers can build codes and compare sizes before a single bit is written. It
// has room for 32,768 match tokens plus the few tokens the encoding loop may add after the block
// has reported itself full.
//
// The bit writer keeps a 64-bit accumulator and stores 32 bits at a time into a 16 KiB byte buffer
// that reaches the destination in large writes; the bits on the wire are those of RFC 1951 whatever
// the width of the accumulator. Its final bytes are written by Finish, not by its destructor, so a
// destination that fails at the end raises an error instead of terminating the program.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/huffman.h"
#include "codec/input_window.h"
#include "codec/translator.h"
#include "platform/runtime_errors.h"
#include "platform/stream.h"

namespace vz {

// ---- Bit writer ------------------------------------------------------------------------------

class DfOutBitStream {
 public:
  static constexpr int32_t kBufferSize = 16384;

  // The stream is not owned; a null stream is a programming error.
  explicit DfOutBitStream(Stream* stream);
  DfOutBitStream(const DfOutBitStream&) = delete;
  DfOutBitStream& operator=(const DfOutBitStream&) = delete;

  // Appends the count (1..16) low bits of bits.
  void WriteBits(uint32_t bits, int count) {
    Check(count >= 1 && count <= 16, "DfOutBitStream.WriteBits: aCount should be from 1 to 16");
    Check(bits < (1u << count), "DfOutBitStream.WriteBits: aBits has more than aCount bits");
    PutBits(bits, count);
  }
  // Unchecked form for up to 32 bits at once (a code and its extra bits).
  void PutBits(uint64_t bits, int count) {
    acc_ |= bits << count_;
    count_ += count;
    if (count_ >= 32) {
      if (kBufferSize - fill_ < 4) EmptyBuffer();
      StoreWord();
    }
  }
  // Pads with zero bits to a byte boundary.
  void ByteAlign();
  // Writes bytes as they are; the bits so far must end on a byte boundary. Everything written so
  // far reaches the stream.
  void WriteBuffer(const uint8_t* data, int64_t count);
  // Writes the byte buffer to the stream; a stream that takes fewer bytes raises
  // InternalDeflateError.
  void EmptyBuffer();
  // Pads the last byte with zero bits and writes everything out.
  void Finish();

 private:
  void StoreWord() {
    const uint32_t w = static_cast<uint32_t>(acc_);
    buffer_[fill_] = static_cast<uint8_t>(w);
    buffer_[fill_ + 1] = static_cast<uint8_t>(w >> 8);
    buffer_[fill_ + 2] = static_cast<uint8_t>(w >> 16);
    buffer_[fill_ + 3] = static_cast<uint8_t>(w >> 24);
    fill_ += 4;
    acc_ >>= 32;
    count_ -= 32;
  }
  // Moves the whole bytes of the accumulator into the byte buffer.
  void DrainWholeBytes();

  uint64_t acc_ = 0;
  int count_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  int32_t fill_ = 0;
  Stream* stream_;
};

// ---- Token buffer of one block ---------------------------------------------------------------

class DfLZStream {
 public:
  static constexpr int32_t kMaxMatchTokens = 32768;
  static constexpr int32_t kMaxTokens = 32768;
  // Room for 32,768 match tokens and the three tokens that may follow a full report.
  static constexpr int32_t kBufferBytes = kMaxMatchTokens * 5 + 3 * 5;

  // The window and log are not owned; the log is only kept.
  DfLZStream(DfInputWindow& window, Logger* log, bool deflate64);
  ~DfLZStream();
  DfLZStream(const DfLZStream&) = delete;
  DfLZStream& operator=(const DfLZStream&) = delete;

  // Both return BlockFull after adding the token.
  bool PutLiteral(uint8_t b) {
    token_pos_[0] = 1;
    token_pos_[1] = b;
    token_pos_ += 2;
    ++literal_tokens_;
    ++literal_counts_[b];
    ++covered_bytes_;
    return BlockFull();
  }
  bool PutMatch(int32_t length, int32_t distance) {
    const uint32_t l = static_cast<uint32_t>(length - 1);
    const uint32_t d = static_cast<uint32_t>(distance - 1);
    token_pos_[0] = 0;
    token_pos_[1] = static_cast<uint8_t>(l);
    token_pos_[2] = static_cast<uint8_t>(l >> 8);
    token_pos_[3] = static_cast<uint8_t>(d);
    token_pos_[4] = static_cast<uint8_t>(d >> 8);
    token_pos_ += 5;
    ++match_tokens_;
    covered_bytes_ += length;
    ++literal_counts_[static_cast<size_t>(translator_.LengthSymbolFast(length))];
    ++distance_counts_[static_cast<size_t>(translator_.DistanceSymbolFast(distance))];
    return BlockFull();
  }
  // Starts a new block whose first token covers the input byte at block_start.
  void Reset(int64_t block_start);
  // Whether the block should end now: at 32,768 tokens (or match tokens), or at a multiple of
  // 8192 tokens when literals dominate and the block already compresses to below half its size.
  bool BlockFull() const {
    const int32_t total = literal_tokens_ + match_tokens_;
    if ((total & 8191) == 0 && match_tokens_ < literal_tokens_ &&
        EstimateBytes() < covered_bytes_ / 2) {
      return true;
    }
    return match_tokens_ >= kMaxMatchTokens || total >= kMaxTokens;
  }
  // A rough size of the block in bytes (13 bits a match, 8 a literal, plus distance extra bits).
  int64_t EstimateBytes() const;
  // The bits of the block with the fixed codes, without the 3-bit header.
  int64_t StaticBitCount() const;
  // Writes every token with the given codes.
  void Encode(DfOutBitStream& bits, const DfDecodeHuffmanTree& lit_tree, bool deflate64,
              const DfDecodeHuffmanTree& dist_tree) const;
  // Reads the next count source bytes of the block (consecutive calls continue).
  void ReadCoveredBytes(uint8_t* buffer, int32_t count);

  int64_t CoveredBytes() const { return covered_bytes_; }
  int32_t LiteralTokens() const { return literal_tokens_; }
  int32_t MatchTokens() const { return match_tokens_; }
  const std::array<int32_t, kLitLenAlphabet>& LiteralCounts() const { return literal_counts_; }
  const std::array<int32_t, kDistanceSymbolCount>& DistanceCounts() const {
    return distance_counts_;
  }
  std::span<const uint8_t> Tokens() const {
    return {tokens_.get(), static_cast<size_t>(token_pos_ - tokens_.get())};
  }
  bool Deflate64() const { return deflate64_; }
  Logger* Log() const { return log_; }

 private:
  const DfTranslator& translator_ = Translator();
  size_t tokens_capacity_ = 0;         // declared first: the making of tokens_ sets it
  std::unique_ptr<uint8_t[]> tokens_;  // from the thread's scratch, returned to it
  uint8_t* token_pos_;
  std::array<int32_t, kLitLenAlphabet> literal_counts_{};
  std::array<int32_t, kDistanceSymbolCount> distance_counts_{};
  int32_t literal_tokens_ = 0;
  int32_t match_tokens_ = 0;
  int64_t covered_bytes_ = 0;
  int64_t block_start_ = 0;
  DfInputWindow& window_;
  Logger* log_;
  bool deflate64_;
};

// ---- Run-length coder of code lengths --------------------------------------------------------

class DfCodeLenStream {
 public:
  // The code lengths of a dynamic block (at most 286 + 32 of them) as code-length symbols: 0..15
  // plainly, 16 (repeat the previous length 3..6 times), 17 (3..10 zeros), 18 (11..138 zeros),
  // each repeat followed by its repeat value.
  void RunLengthEncode(const int32_t* code_lengths, int count);
  // Writes the symbols with the code-length code and the repeat values in 2, 3 or 7 bits.
  void WriteCodes(DfOutBitStream& bits, const DfDecodeHuffmanTree& tree) const;
  const std::array<int32_t, 19>& Counts() const { return counts_; }
  std::span<const uint8_t> Symbols() const { return {buffer_.data(), end_}; }

 private:
  void Emit(uint8_t symbol) {
    buffer_[end_++] = symbol;
    ++counts_[symbol];
  }
  void EmitRepeat(uint8_t symbol, int value) {
    buffer_[end_++] = symbol;
    buffer_[end_++] = static_cast<uint8_t>(value);
    ++counts_[symbol];
  }

  std::array<uint8_t, 634> buffer_{};
  size_t end_ = 0;
  std::array<int32_t, 19> counts_{};
};

}  // namespace vz
