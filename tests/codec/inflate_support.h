// Shared pieces of the inflate tests and the fuzz target: test corpora, zlib as the reference
// compressor and decompressor, a bit writer for hand-made streams, and an Inflate wrapper.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/huffman.h"
#include "codec/inflate.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "zlib_helpers.h"

namespace vz::testing {

// ---- zlib as the reference -------------------------------------------------------------------

inline std::vector<uint8_t> ZlibDeflateRaw(const std::vector<uint8_t>& in, int level = 6,
                                           int strategy = Z_DEFAULT_STRATEGY) {
  return RawDeflate(in, level, strategy);
}

// zlib's raw inflate: the output when the stream ends properly, nothing otherwise.
inline std::optional<std::vector<uint8_t>> ZlibInflateRaw(const std::vector<uint8_t>& in,
                                                          size_t max_out = 64 << 20) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  std::vector<uint8_t> out;
  std::vector<uint8_t> chunk(1 << 16);
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  int rc = Z_OK;
  while (rc == Z_OK && out.size() <= max_out) {
    zs.next_out = chunk.data();
    zs.avail_out = static_cast<uInt>(chunk.size());
    rc = inflate(&zs, Z_NO_FLUSH);
    out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - zs.avail_out));
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

// ---- Inflate wrapper -------------------------------------------------------------------------

struct InflateRun {
  uint32_t result = 0;
  std::vector<uint8_t> output;
  int64_t source_position = 0;
  int32_t compressed_bytes = -1;
  int32_t uncompressed_bytes = -1;
};

inline InflateRun RunInflate(const std::vector<uint8_t>& stream, uint32_t options = 15,
                             int32_t output_limit = 0) {
  MemoryStream source(stream);
  MemoryStream dest;
  DeflateHelper helper;
  helper.SetOptions(options);
  helper.SetOutputLimit(output_limit);
  InflateRun run;
  run.result = Inflate(&source, &dest, &helper);
  run.output = dest.Data();
  run.source_position = source.Position();
  run.compressed_bytes = helper.CompressedBytes();
  run.uncompressed_bytes = helper.UncompressedBytes();
  return run;
}

// ---- Hand-made streams -----------------------------------------------------------------------

// Writes bits first bit lowest, as Deflate streams are read.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1u) << used_);
      used_ = (used_ + 1) % 8;
    }
  }
  // A symbol of an encode table (bit-reversed code and its length).
  void PutCode(const DfDecodeHuffmanTree& tree, int symbol) {
    const uint32_t e = tree.Encode(symbol);
    Put(DfDecodeHuffmanTree::SymbolOf(e), static_cast<int>(DfDecodeHuffmanTree::LengthOf(e)));
  }
  void PutFixed(int symbol) { PutCode(FixedLitLenTree(), symbol); }
  void PutFixedDistance(int symbol) { PutCode(FixedDistTree(), symbol); }
  void AlignToByte() { used_ = 0; }
  void PutBytes(const std::vector<uint8_t>& data) {
    AlignToByte();
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  // A stored block header (final flag, type 0) with its length and complement.
  void PutStored(bool final_block, const std::vector<uint8_t>& data) {
    Put(final_block ? 1 : 0, 1);
    Put(0, 2);
    AlignToByte();
    const auto len = static_cast<uint32_t>(data.size());
    PutBytes({static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(~len),
              static_cast<uint8_t>(~len >> 8)});
    PutBytes(data);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

}  // namespace vz::testing
