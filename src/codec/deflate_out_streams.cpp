// Token buffer, bit writer, run-length coder of code lengths and encode tables of the encoder.
#include "codec/deflate_out_streams.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "codec/scratch.h"

namespace vz {

// ---- Bit writer ------------------------------------------------------------------------------

DfOutBitStream::DfOutBitStream(Stream* stream)
    // Left as it comes: only the bytes below fill_ are ever written out.
    : buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)), stream_(stream) {
  Check(stream != nullptr,
        "DfOutBitStream.Create: Cannot create a bit stream wrapping a nil stream");
}

void DfOutBitStream::ByteAlign() {
  count_ = (count_ + 7) & ~7;
  if (count_ == 32) {
    if (kBufferSize - fill_ < 4) EmptyBuffer();
    StoreWord();
  }
}

void DfOutBitStream::DrainWholeBytes() {
  while (count_ >= 8) {
    if (fill_ == kBufferSize) EmptyBuffer();
    buffer_[fill_++] = static_cast<uint8_t>(acc_);
    acc_ >>= 8;
    count_ -= 8;
  }
}

void DfOutBitStream::WriteBuffer(const uint8_t* data, int64_t count) {
  Check(count_ % 8 == 0, "DfOutBitStream.WriteBuffer: must be byte aligned");
  DrainWholeBytes();
  while (count > 0) {
    if (fill_ == kBufferSize) EmptyBuffer();
    const int32_t piece = static_cast<int32_t>(std::min<int64_t>(count, kBufferSize - fill_));
    std::memcpy(buffer_.get() + fill_, data, static_cast<size_t>(piece));
    fill_ += piece;
    data += piece;
    count -= piece;
  }
  EmptyBuffer();
}

void DfOutBitStream::EmptyBuffer() {
  const int64_t written =
      stream_->Write(std::span<const uint8_t>(buffer_.get(), static_cast<size_t>(fill_)));
  if (written < fill_) {
    throw InternalDeflateError(
        "could not write to the output stream [DfInBitStream.obsEmptyBuffer]");
  }
  fill_ = 0;
}

void DfOutBitStream::Finish() {
  if (count_ > 0) {
    ByteAlign();
    DrainWholeBytes();
  }
  if (fill_ > 0) EmptyBuffer();
}

// ---- Token buffer ----------------------------------------------------------------------------

DfLZStream::DfLZStream(DfInputWindow& window, Logger* log, bool deflate64)
    // Left as it comes: only the tokens below token_pos_ are ever read.
    : tokens_(TakeScratchBytes(ScratchSlot::kTokens, kBufferBytes, &tokens_capacity_)),
      token_pos_(tokens_.get()),
      window_(window),
      log_(log),
      deflate64_(deflate64) {
  Reset(0);
}

DfLZStream::~DfLZStream() {
  KeepScratchBytes(ScratchSlot::kTokens, std::move(tokens_), tokens_capacity_);
}

void DfLZStream::Reset(int64_t block_start) {
  token_pos_ = tokens_.get();
  literal_tokens_ = 0;
  match_tokens_ = 0;
  covered_bytes_ = 0;
  literal_counts_.fill(0);
  distance_counts_.fill(0);
  literal_counts_[kEndOfBlock] = 1;
  block_start_ = block_start;
}

int64_t DfLZStream::EstimateBytes() const {
  int64_t bits = 13 * int64_t{match_tokens_} + 8 * int64_t{literal_tokens_};
  for (int d = 4; d < kDistanceSymbolCount; ++d) {
    bits += int64_t{distance_counts_[d]} * kDeflateSymbols.distance_extra[d];
  }
  return bits / 8;
}

int64_t DfLZStream::StaticBitCount() const {
  const auto& s = kDeflateSymbols;
  int64_t bits = 0;
  for (int i = 0; i < 144; ++i) bits += int64_t{literal_counts_[i]} * 8;
  for (int i = 144; i < 256; ++i) bits += int64_t{literal_counts_[i]} * 9;
  bits += int64_t{literal_counts_[256]} * 7;
  for (int i = 257; i < 285; ++i) {
    const int code_len = i < 280 ? 7 : 8;
    bits += int64_t{literal_counts_[i]} * (code_len + s.length_extra[i - 257]);
  }
  bits += int64_t{literal_counts_[285]} * (deflate64_ ? 24 : 8);
  for (int d = 0; d < kDistanceSymbolCount; ++d) {
    bits += int64_t{distance_counts_[d]} * (5 + s.distance_extra[d]);
  }
  return bits;
}

void DfLZStream::Encode(DfOutBitStream& bits, const DfDecodeHuffmanTree& lit_tree, bool deflate64,
                        const DfDecodeHuffmanTree& dist_tree) const {
  // The entries of the symbols this block uses, fetched (and checked) once.
  std::array<uint32_t, kLitLenAlphabet> lit{};
  std::array<uint32_t, kDistanceSymbolCount> dist{};
  for (int s = 0; s < kLitLenAlphabet; ++s) {
    if (literal_counts_[s] != 0 && s != kEndOfBlock) lit[s] = lit_tree.Encode(s);
  }
  for (int d = 0; d < kDistanceSymbolCount; ++d) {
    if (distance_counts_[d] == 0) continue;
    Check(deflate64 || d < 30,
          "DfLZStream.Encode: a Deflate64 distance symbol has been generated for Deflate");
    dist[d] = dist_tree.Encode(d);
  }
  const auto& s = kDeflateSymbols;
  const DfTranslator& translator = Translator();
  const uint8_t* p = tokens_.get();
  const uint8_t* const end = token_pos_;
  while (p < end) {
    if (p[0] == 1) {
      const uint32_t e = lit[p[1]];
      bits.PutBits(e & 0xFFFF, (e >> 16) & 0xFF);
      p += 2;
      continue;
    }
    const int32_t length = (p[1] | (p[2] << 8)) + 1;
    const int32_t distance = (p[3] | (p[4] << 8)) + 1;
    p += 5;
    const int ls = translator.LengthSymbolFast(length);
    const uint32_t le = lit[ls];
    uint64_t code = le & 0xFFFF;
    int code_len = (le >> 16) & 0xFF;
    if (ls == 285) {
      if (deflate64) {
        code |= static_cast<uint64_t>(length - 3) << code_len;
        code_len += 16;
      }
    } else {
      code |= static_cast<uint64_t>(length - s.length_base[ls - 257]) << code_len;
      code_len += s.length_extra[ls - 257];
    }
    bits.PutBits(code, code_len);
    const int ds = translator.DistanceSymbolFast(distance);
    const uint32_t de = dist[ds];
    code = de & 0xFFFF;
    code_len = (de >> 16) & 0xFF;
    code |= static_cast<uint64_t>(distance - s.distance_base[ds]) << code_len;
    code_len += s.distance_extra[ds];
    bits.PutBits(code, code_len);
  }
}

void DfLZStream::ReadCoveredBytes(uint8_t* buffer, int32_t count) {
  window_.ReadSourceBytes(buffer, count, block_start_);
  block_start_ += count;
}

// ---- Run-length coder of code lengths --------------------------------------------------------

void DfCodeLenStream::RunLengthEncode(const int32_t* code_lengths, int count) {
  enum class State { kEmpty, kOne, kTwo, kRun };
  State state = State::kEmpty;
  int32_t previous = 0;
  int run = 0;
  // One step past the end with a marker that equals no length ends the last run.
  for (int i = 0; i <= count; ++i) {
    const int32_t current = i < count ? code_lengths[i] : -1;
    switch (state) {
      case State::kEmpty:
        previous = current;
        state = State::kOne;
        break;
      case State::kOne:
        if (current == previous) {
          state = State::kTwo;
        } else {
          Emit(static_cast<uint8_t>(previous));
          previous = current;
        }
        break;
      case State::kTwo:
        if (current == previous) {
          state = State::kRun;
          run = 3;
        } else {
          Emit(static_cast<uint8_t>(previous));
          Emit(static_cast<uint8_t>(previous));
          previous = current;
          state = State::kOne;
        }
        break;
      case State::kRun:
        if (current == previous) {
          ++run;
          break;
        }
        if (previous == 0) {
          while (run > 0) {
            if (run < 3) {
              for (; run > 0; --run) Emit(0);
            } else if (run <= 10) {
              EmitRepeat(17, run - 3);
              run = 0;
            } else {
              const int part = std::min(run, 138);
              EmitRepeat(18, part - 11);
              run -= part;
            }
          }
        } else {
          Emit(static_cast<uint8_t>(previous));
          --run;
          while (run > 0) {
            if (run < 3) {
              for (; run > 0; --run) Emit(static_cast<uint8_t>(previous));
            } else {
              const int part = std::min(run, 6);
              EmitRepeat(16, part - 3);
              run -= part;
            }
          }
        }
        previous = current;
        state = State::kOne;
        break;
    }
  }
}

void DfCodeLenStream::WriteCodes(DfOutBitStream& bits, const DfDecodeHuffmanTree& tree) const {
  for (size_t i = 0; i < end_; ++i) {
    const uint8_t symbol = buffer_[i];
    const uint32_t e = tree.Encode(symbol);
    bits.WriteBits(e & 0xFFFF, static_cast<int>((e >> 16) & 0xFF));
    if (symbol >= 16) {
      static constexpr int kRepeatBits[3] = {2, 3, 7};
      bits.WriteBits(buffer_[++i], kRepeatBits[symbol - 16]);
    }
  }
}

}  // namespace vz
