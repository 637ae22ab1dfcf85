// Round trip of the Deflate encoder under fuzzer-chosen options: compress, inflate with our own
// decoder, and demand the input back with the right checksum and sizes.
//
// Input layout: byte 0 picks the options (bits 0-3: block types and lazy matching, a zero block
// type set meaning stored only; bit 4: Deflate64; bit 5: Adler-32; bits 6-7: window 32 KiB,
// 64 KiB, 1 KiB or 256 bytes), bytes 1-3 the sufficient length, chain limit and lazy limit (0
// means no limit), byte 4 the preset (applied first when it is one of 0 2 f n s x), byte 5 a
// password length (bit 7 clear: none); the rest is the data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/deflate.h"
#include "codec/inflate.h"
#include "platform/memory_stream.h"

namespace {

void Fail() {
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const uint8_t flags = data[0];
  vz::DeflateHelper options;
  options.SetPresetCode(static_cast<char>(data[4]));
  uint32_t opts = flags & 0x0F;
  if ((opts & 7) == 0) opts |= vz::dfoStored;
  if (flags & 0x10) opts |= vz::dfoDeflate64;
  if (flags & 0x20) opts |= vz::dfoAdler32;
  options.SetOptions(opts);
  static constexpr int32_t kWindows[4] = {32768, 65536, 1024, 256};
  options.SetSlidingWindowSize(kWindows[flags >> 6]);
  options.SetSufficientLength(data[1] == 0 ? -1 : data[1]);
  options.SetChainLimit(data[2] == 0 ? -1 : data[2] * 16);
  options.SetLazyLimit(data[3] == 0 ? -1 : data[3]);
  if (data[5] & 0x80) {
    options.SetCryptPassword(std::string(1 + (data[5] & 0x0F), 'k'));
    options.SetCryptCheck(0x12345678);
  }
  const std::vector<uint8_t> input(data + 6, data + size);

  vz::MemoryStream source(input);
  vz::MemoryStream packed;
  const uint32_t checksum = vz::Deflate(&source, &packed, &options);
  if (options.UncompressedBytes() != static_cast<int32_t>(input.size())) Fail();
  if (options.CompressedBytes() != static_cast<int32_t>(packed.Data().size())) Fail();

  vz::DeflateHelper back_options;
  back_options.SetOptions(opts & (vz::dfoDeflate64 | vz::dfoAdler32));
  back_options.SetCryptPassword(options.CryptPassword());
  back_options.SetCryptCheck(options.CryptCheck());
  packed.SetPosition(0);
  vz::MemoryStream unpacked;
  const uint32_t back = vz::Inflate(&packed, &unpacked, &back_options);
  if (back != checksum || unpacked.Data() != input) Fail();
  if (back_options.CompressedBytes() != options.CompressedBytes()) Fail();
  return 0;
}
