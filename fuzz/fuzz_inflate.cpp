// libFuzzer target for the inflate decoder. The first input byte picks the mode: bit 0 Deflate64,
// bit 1 an output limit (1 MiB otherwise, so that a tiny input cannot ask for gigabytes), bit 2
// test mode, bit 3 Adler-32. Any outcome but a crash, a hang or an exception other than
// InflateError is fine.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/inflate.h"
#include "platform/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  vz::MemoryStream source(std::vector<uint8_t>(data + 1, data + size));
  vz::MemoryStream dest;
  vz::DeflateHelper helper;
  uint32_t options = 15;
  if (mode & 1) options |= vz::dfoDeflate64;
  if (mode & 4) options |= vz::dfoTestOnly;
  if (mode & 8) options |= vz::dfoAdler32;
  helper.SetOptions(options);
  helper.SetOutputLimit((mode & 2) ? 1 + (mode >> 4) * 4099 : 1 << 20);
  try {
    vz::Inflate(&source, &dest, &helper);
  } catch (const vz::InflateError&) {
  }
  return 0;
}
