// Fuzzes the three legacy decoders (shrink, reduce, implode) over plain streams.
//
// Input layout: byte 0 picks the method (1 to 6), byte 1 the flags (bit 0: decode into a bit
// bucket as an integrity test does, else into memory; bit 1: 8 KB dictionary; bit 2: three
// trees), bytes 2 and 3 the declared size (little-endian), the rest is the compressed data.
// Damaged data may fail the item with ZipBadCRCError; anything else escaping, output beyond the
// declared size, or a CRC that does not match the bytes written is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/bit_bucket.h"
#include "codec/deflate_base.h"
#include "codec/unzip_helper.h"
#include "errors/errors.h"
#include "platform/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const auto method = static_cast<uint16_t>(data[0] % 6 + 1);
  const uint8_t flags = data[1];
  const int64_t declared = data[2] | data[3] << 8;
  vz::MemoryStream input(std::vector<uint8_t>(data + 4, data + size));
  vz::MemoryStream memory;
  vz::BitBucketStream bucket;
  const bool to_bucket = (flags & 1) != 0;
  vz::Stream& output = to_bucket ? static_cast<vz::Stream&>(bucket) : memory;
  vz::UnzipHelper helper(input, nullptr, output);
  helper.SetCompressionMethod(method);
  helper.SetUncompressedSize(declared);
  if (method == 6) {
    helper.SetDictionarySize((flags & 2) ? 2 : 1);
    helper.SetTreeCount((flags & 4) ? 3 : 2);
  }
  uint32_t crc = 0;
  try {
    crc = helper.DecodeItem();
  } catch (const vz::ZipBadCRCError&) {
    return 0;
  }
  const int64_t produced = to_bucket ? bucket.Size() : memory.Size();
  if (produced > declared) std::abort();
  if (!to_bucket && crc != vz::Crc32Of(memory.Data())) std::abort();
  return 0;
}
