// The Deflate encoder: compresses a source stream from its position to its end into a Deflate
// (RFC 1951) or Deflate64 stream appended to a destination, optionally encrypted with the
// traditional zip cipher, and returns the checksum of the bytes read.
//
// Two encoders sit behind Deflate. The stored-only one copies the source into stored blocks of at
// most 65,535 bytes. The other is an LZ77 encoder with lazy matching: a match found at one
// position is held while the next position is searched, and a strictly longer match there turns
// the held one's first byte into a literal. Its tokens fill a block until the token buffer reports
// it full; each block is then written stored, with the fixed codes or with dynamic codes,
// whichever takes the fewest bits (or the one kind the options allow). The output is determined
// bit for bit by the input and the options.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/deflate_out_streams.h"
#include "platform/stream.h"

namespace vz {

// Compresses source (from its position to its end) into dest. With helper given, its options
// apply and its CompressedBytes (encryption header included) and UncompressedBytes are set; it
// must enable at least one block type. Returns the CRC-32 of the bytes read (Adler-32 with
// dfoAdler32). A destination that refuses bytes raises DeflateError; other errors pass through.
uint32_t Deflate(Stream* source, Stream* dest, DeflateHelper* helper = nullptr);

// The stored-only encoder: stored blocks straight from the source.
uint32_t DeflateStoredOnly(Stream& source, Stream& dest, const DeflateHelper& options, Logger* log);
// The LZ77 encoder. fixed_only: every block with the fixed codes; otherwise may_choose picks the
// smallest of stored, fixed and dynamic per block, and without it every block is dynamic. The
// tuning step may change the search limits of options.
uint32_t DeflateStaticDynamic(bool fixed_only, bool may_choose, Stream& source, Logger* log,
                              DeflateHelper& options, Stream& dest);

// Writes the blocks of the LZ77 encoder from a filled token buffer.
class DfBlockWriter {
 public:
  DfBlockWriter(DfOutBitStream& bits, Logger* log);

  // The block's bytes, re-read from the source, in stored blocks of at most 65,535 bytes; only
  // the last piece carries final. A block covering no bytes writes nothing.
  void WriteStoredBlock(bool final, DfLZStream& lz);
  void WriteStaticBlock(bool final, bool deflate64, const DfLZStream& lz);
  // Builds the dynamic codes; with may_choose writes whichever of stored, fixed and dynamic is
  // smallest (ties: dynamic, then fixed, then stored), otherwise the dynamic block.
  void WriteBlock(bool final, bool deflate64, bool may_choose, DfLZStream& lz);

 private:
  DfOutBitStream& bits_;
  Logger* log_;
  std::vector<uint8_t> stored_buffer_;
};

// The bits of a dynamic block without its 3-bit header: code_lengths holds the HLIT literal/length
// lengths followed by the HDIST distance lengths; cl_lengths and cl_counts are the code-length
// code's lengths and the uses of its symbols.
int64_t CalcDynamicBitCount(const DfLZStream& lz, const int32_t* code_lengths, int hlit, int hdist,
                            int hclen, const int32_t* cl_lengths, const int32_t* cl_counts,
                            bool deflate64);

}  // namespace vz
