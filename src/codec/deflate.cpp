// The Deflate encoder and its block writers.
#include "codec/deflate.h"

#include <algorithm>
#include <array>
#include <climits>

#include "codec/crypt_streams.h"
#include "codec/input_window.h"
#include "codec/package_merge.h"
#include "codec/percent.h"
#include "codec/translator.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

constexpr int32_t kStoredPiece = 65535;

void WriteEndOfBlock(DfOutBitStream& bits, const DfDecodeHuffmanTree& lit_tree) {
  const uint32_t e = lit_tree.Encode(kEndOfBlock);
  bits.WriteBits(e & 0xFFFF, static_cast<int>((e >> 16) & 0xFF));
}

// The window size a run uses: a power of two no larger than the distances the format can code.
int32_t EffectiveWindowBytes(int32_t requested, bool deflate64) {
  const int32_t largest = deflate64 ? 65536 : 32768;
  int32_t w = 256;
  while (w < largest && w * 2 <= requested) w *= 2;
  return w;
}

int32_t Doubled(int32_t value) {
  return value > INT32_MAX / 2 ? INT32_MAX : value * 2;
}

}  // namespace

// ---- Block writers ---------------------------------------------------------------------------

DfBlockWriter::DfBlockWriter(DfOutBitStream& bits, Logger* log) : bits_(bits), log_(log) {}

void DfBlockWriter::WriteStoredBlock(bool final, DfLZStream& lz) {
  int64_t remaining = lz.CoveredBytes();
  if (remaining > 0 && stored_buffer_.empty()) stored_buffer_.resize(65536);
  while (remaining > 0) {
    const int32_t piece = static_cast<int32_t>(std::min<int64_t>(remaining, kStoredPiece));
    bits_.WriteBits(final && piece == remaining ? 1 : 0, 3);
    bits_.ByteAlign();
    const uint8_t header[4] = {static_cast<uint8_t>(piece), static_cast<uint8_t>(piece >> 8),
                               static_cast<uint8_t>(~piece), static_cast<uint8_t>(~piece >> 8)};
    bits_.WriteBuffer(header, 4);
    lz.ReadCoveredBytes(stored_buffer_.data(), piece);
    bits_.WriteBuffer(stored_buffer_.data(), piece);
    remaining -= piece;
  }
}

void DfBlockWriter::WriteStaticBlock(bool final, bool deflate64, const DfLZStream& lz) {
  bits_.WriteBits(final ? 3 : 2, 3);
  lz.Encode(bits_, FixedLitLenTree(), deflate64, FixedDistTree());
  WriteEndOfBlock(bits_, FixedLitLenTree());
}

int64_t CalcDynamicBitCount(const DfLZStream& lz, const int32_t* code_lengths, int hlit, int hdist,
                            int hclen, const int32_t* cl_lengths, const int32_t* cl_counts,
                            bool deflate64) {
  const auto& s = kDeflateSymbols;
  int64_t bits = 14 + 3 * hclen;
  bits += int64_t{cl_counts[16]} * (cl_lengths[16] + 2) +
          int64_t{cl_counts[17]} * (cl_lengths[17] + 3) +
          int64_t{cl_counts[18]} * (cl_lengths[18] + 7);
  for (int i = 3; i < hclen; ++i) {
    const int sym = kCodeLengthOrder[static_cast<size_t>(i)];
    Check(sym <= 15, "CalcDynamicBitCount: the index array of codelengths is corrupted");
    bits += int64_t{cl_counts[sym]} * cl_lengths[sym];
  }
  const auto& counts = lz.LiteralCounts();
  const int lit_end = std::min(hlit, 285);
  for (int i = 0; i < lit_end; ++i) {
    if (i < 257) {
      bits += int64_t{counts[i]} * code_lengths[i];
    } else {
      bits += int64_t{counts[i]} * (code_lengths[i] + s.length_extra[i - 257]);
    }
  }
  if (hlit == 286) bits += int64_t{counts[285]} * (code_lengths[285] + (deflate64 ? 16 : 0));
  const auto& dcounts = lz.DistanceCounts();
  for (int d = 0; d < hdist; ++d) {
    bits += int64_t{dcounts[d]} * (code_lengths[hlit + d] + s.distance_extra[d]);
  }
  return bits;
}

void DfBlockWriter::WriteBlock(bool final, bool deflate64, bool may_choose, DfLZStream& lz) {
  std::array<int32_t, kLitLenAlphabet + kDistanceSymbolCount> lengths{};
  GenerateCodeLengths(15, lz.LiteralCounts(), lengths, 0, log_);
  int hlit = kLitLenAlphabet;
  while (hlit > 257 && lengths[static_cast<size_t>(hlit - 1)] == 0) --hlit;
  GenerateCodeLengths(15, lz.DistanceCounts(), lengths, hlit, log_);
  int hdist = kDistanceSymbolCount;
  while (hdist > 1 && lengths[static_cast<size_t>(hlit + hdist - 1)] == 0) --hdist;

  DfCodeLenStream cl_stream;
  cl_stream.RunLengthEncode(lengths.data(), hlit + hdist);
  std::array<int32_t, 19> cl_lengths{};
  GenerateCodeLengths(7, cl_stream.Counts(), cl_lengths, 0, log_);
  int hclen = 19;
  while (hclen > 4 && cl_lengths[kCodeLengthOrder[static_cast<size_t>(hclen - 1)]] == 0) --hclen;

  if (may_choose) {
    const int64_t dyn =
        CalcDynamicBitCount(lz, lengths.data(), hlit, hdist, hclen, cl_lengths.data(),
                            cl_stream.Counts().data(), deflate64);
    const int64_t fix = lz.StaticBitCount();
    const int64_t raw = (lz.CoveredBytes() + 4) * 8;
    if (fix < dyn) {
      if (raw < fix) {
        WriteStoredBlock(final, lz);
      } else {
        WriteStaticBlock(final, deflate64, lz);
      }
      return;
    }
    if (raw < dyn) {
      WriteStoredBlock(final, lz);
      return;
    }
  }

  static constexpr uint8_t kNoExtraBits[1] = {0};
  DfDecodeHuffmanTree cl_tree(19, 7, trEncode);
  cl_tree.Build(cl_lengths, 0, 19, kNoExtraBits, 65535);
  DfDecodeHuffmanTree lit_tree(kLitLenAlphabet, 15, trEncode);
  lit_tree.Build(lengths, 0, hlit, LengthExtraBits(), 257);
  DfDecodeHuffmanTree dist_tree(deflate64 ? 32 : 30, 15, trEncode);
  Check(hdist <= dist_tree.AlphabetSize(),
        "DfLZStream.Encode: a Deflate64 distance symbol has been generated for Deflate");
  dist_tree.Build(lengths, hlit, hdist, DistanceExtraBits(), 0);

  bits_.WriteBits(final ? 5 : 4, 3);
  bits_.WriteBits(static_cast<uint32_t>((hlit - 257) + 32 * (hdist - 1) + 1024 * (hclen - 4)), 14);
  for (int i = 0; i < hclen; ++i) {
    bits_.WriteBits(static_cast<uint32_t>(cl_lengths[kCodeLengthOrder[static_cast<size_t>(i)]]), 3);
  }
  cl_stream.WriteCodes(bits_, cl_tree);
  lz.Encode(bits_, lit_tree, deflate64, dist_tree);
  WriteEndOfBlock(bits_, lit_tree);
}

// ---- Encoders --------------------------------------------------------------------------------

uint32_t DeflateStoredOnly(Stream& source, Stream& dest, const DeflateHelper& options, Logger*) {
  const bool use_crc = (options.Options() & dfoAdler32) == 0;
  uint32_t reg = use_crc ? 0xFFFFFFFFu : 1u;
  int64_t size = options.SourceSize();
  if (size <= 0) {
    const int64_t here = source.Position();
    size = source.Seek(0, kSeekEnd) - here;
    source.SetPosition(here);
  }
  const auto& on_percent = options.OnPercentDone();
  std::vector<uint8_t> buffer(kStoredPiece);
  int64_t total = 0;
  bool closed = false;
  while (size > 0) {
    const int64_t n = source.Read(std::span<uint8_t>(
        buffer.data(), static_cast<size_t>(std::min<int64_t>(size, kStoredPiece))));
    // A source that ends early must not be read in vain for ever.
    if (n <= 0) break;
    total += n;
    if (on_percent && options.SourceSize() > 0)
      on_percent(RoundedPercent(total, options.SourceSize()));
    if (use_crc) {
      UpdateCrc32(reg, buffer.data(), n);
    } else {
      UpdateAdler32(reg, buffer.data(), n);
    }
    const bool last = n == size;
    const uint8_t header[5] = {static_cast<uint8_t>(last ? 1 : 0), static_cast<uint8_t>(n),
                               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                               static_cast<uint8_t>(~n >> 8)};
    dest.WriteBuffer(header);
    dest.WriteBuffer(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
    size -= n;
    closed = last;
  }
  // An empty source, or one that ended early, still gets a complete stream: an empty final
  // stored block.
  if (!closed) {
    static constexpr uint8_t kEmptyFinal[5] = {1, 0, 0, 0xFF, 0xFF};
    dest.WriteBuffer(kEmptyFinal);
  }
  return use_crc ? ~reg : reg;
}

// The encoding loop. Positions advance one search at a time; Pending holds a match found at the
// previous position while the next one is searched.
uint32_t DeflateStaticDynamic(bool fixed_only, bool may_choose, Stream& source, Logger* log,
                              DeflateHelper& options, Stream& dest) {
  const bool deflate64 = (options.Options() & dfoDeflate64) != 0;
  DfInputWindow window(source, options.SourceSize(),
                       EffectiveWindowBytes(options.SlidingWindowSize(), deflate64),
                       options.ChainLimit(), deflate64, (options.Options() & dfoAdler32) == 0);
  if (options.OnPercentDone()) window.SetOnPercentDone(options.OnPercentDone());
  DfOutBitStream bits(&dest);
  DfLZStream lz(window, log, deflate64);
  DfBlockWriter writer(bits, log);
  auto write_block = [&](bool final) {
    if (fixed_only) {
      writer.WriteStaticBlock(final, deflate64, lz);
    } else {
      writer.WriteBlock(final, deflate64, may_choose, lz);
    }
  };

  DfMatch pending;
  DfMatch current;
  bool block_done = false;
  bool tune_check = true;
  int32_t sufficient = options.SufficientLength();
  int32_t lazy = options.LazyLimit();
  while (window.LookAheadCount() == 3) {
    // Text in normal mode (no zero byte among the first 1024) is worth a harder search.
    if (tune_check && lz.CoveredBytes() == 1024) {
      if (options.PresetCode() == 'n' && lz.LiteralCounts()[0] == 0) {
        options.SetSufficientLength(Doubled(options.SufficientLength()));
        options.SetLazyLimit(Doubled(options.LazyLimit()));
        options.SetChainLimit(Doubled(options.ChainLimit()));
        window.SetChainLimit(options.ChainLimit());
        sufficient = options.SufficientLength();
        lazy = options.LazyLimit();
      }
      tune_check = false;
    }
    if (block_done) {
      write_block(false);
      lz.Reset(window.InputPosition() - (pending.Length != 0 ? 1 : 0));
      block_done = false;
    }
    bool found = window.SearchMatch(sufficient, current, pending.Length);
    if (found && current.Length == 3 && current.Distance > 4096) found = false;
    if (found) {
      if (pending.Length != 0) block_done = lz.PutLiteral(pending.FirstByte);
      pending = current;
      window.StepOne();
      if (pending.Length >= lazy) {
        block_done = lz.PutMatch(pending.Length, pending.Distance);
        window.Advance(pending.Length - 1, pending.Length - 1);
        pending.Length = 0;
      }
    } else if (pending.Length != 0) {
      block_done = lz.PutMatch(pending.Length, pending.Distance);
      window.Advance(pending.Length - 1, pending.Length - 2);
      pending.Length = 0;
    } else {
      block_done = lz.PutLiteral(current.FirstByte);
      window.StepOne();
    }
  }
  if (window.LookAheadCount() > 0) {
    if (pending.Length != 0) {
      Check(pending.Length == 3, "DeflateStaticDynamic: previous match should be length 3");
      lz.PutMatch(pending.Length, pending.Distance);
    } else {
      while (window.LookAheadCount() > 0) lz.PutLiteral(window.TakeByte());
    }
  }
  write_block(true);
  bits.Finish();
  return window.DataChecksum();
}

uint32_t Deflate(Stream* source, Stream* dest, DeflateHelper* helper) {
  Check(source != nullptr, "Deflate: aSource stream cannot be nil");
  Check(dest != nullptr, "Deflate: aDest stream cannot be nil");
  if (helper != nullptr) {
    Check((helper->Options() & (dfoStored | dfoStatic | dfoDynamic)) != 0,
          "Deflate: aHelper.Options must enable some kind of archiving");
  }
  try {
    DeflateHelper options;
    if (helper != nullptr) options.AssignFrom(*helper);
    const int64_t source_start = source->Position();
    const int64_t dest_start = dest->Position();
    if (!options.OnPercentDone()) {
      options.SetSourceSize(0);
    } else if (options.SourceSize() == -1) {
      options.SetSourceSize(static_cast<int32_t>(std::min<int64_t>(source->Size(), INT32_MAX)));
    }
    if ((options.Options() & dfoLazy) == 0) options.SetLazyLimit(0);
    if (options.SufficientLength() == -1) options.SetSufficientLength(INT32_MAX);
    if (options.LazyLimit() == -1) options.SetLazyLimit(INT32_MAX);
    if (options.ChainLimit() == -1) options.SetChainLimit(INT32_MAX);
    std::unique_ptr<Logger> log;
    if (!options.LogFileName().empty()) {
      log = std::make_unique<Logger>(options.LogFileName());
      log->WriteTextLine("DEFLATING STREAM...");
      log->WriteTextLine("Need to recompile the app with UseLogging turned on");
    }
    // With a password the output passes through the cipher, which writes its 12-byte header now.
    std::unique_ptr<DfEncryptStream> crypt;
    if (!options.CryptPassword().empty()) {
      crypt = std::make_unique<DfEncryptStream>(*dest, static_cast<uint32_t>(options.CryptCheck()),
                                                options.CryptPassword());
    }
    Stream* out = crypt ? static_cast<Stream*>(crypt.get()) : dest;
    uint32_t checksum = 0;
    switch (options.Options() & 7) {
      case dfoStored:
        checksum = DeflateStoredOnly(*source, *out, options, log.get());
        break;
      case dfoStatic:
        checksum = DeflateStaticDynamic(true, false, *source, log.get(), options, *out);
        break;
      case dfoDynamic:
        checksum = DeflateStaticDynamic(false, false, *source, log.get(), options, *out);
        break;
      default:
        checksum = DeflateStaticDynamic(false, true, *source, log.get(), options, *out);
        break;
    }
    if (helper != nullptr) {
      helper->SetUncompressedBytes(static_cast<int32_t>(source->Position() - source_start));
      helper->SetCompressedBytes(static_cast<int32_t>(dest->Position() - dest_start));
    }
    return checksum;
  } catch (const InternalDeflateError& e) {
    throw DeflateError(e.what());
  }
}

}  // namespace vz
