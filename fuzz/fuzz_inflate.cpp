// libFuzzer target for the inflate decoder. The first input byte picks the mode: bit 0 Deflate64,
// bit 1 a small output limit (otherwise 1 MiB, so that a tiny input cannot ask for gigabytes),
// bit 2 test mode, bit 3 Adler-32, bit 4 a source that hands out only a few bytes per read (bits
// 5-7 say how many), which drives the input refills that small inputs would not reach. Any outcome
// but a crash, a hang or an exception other than InflateError is fine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/deflate_base.h"
#include "codec/inflate.h"
#include "platform/memory_stream.h"

namespace {

class TrickleStream : public vz::MemoryStream {
 public:
  TrickleStream(std::vector<uint8_t> data, size_t step)
      : vz::MemoryStream(std::move(data)), step_(step) {}
  int64_t Read(std::span<uint8_t> buffer) override {
    return vz::MemoryStream::Read(buffer.first(std::min(buffer.size(), step_)));
  }

 private:
  size_t step_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const size_t step = (mode & 0x10) ? 1 + (mode >> 5) : SIZE_MAX;
  TrickleStream source(std::vector<uint8_t>(data + 1, data + size), step);
  vz::MemoryStream dest;
  vz::DeflateHelper helper;
  uint32_t options = 15;
  if (mode & 1) options |= vz::dfoDeflate64;
  if (mode & 4) options |= vz::dfoTestOnly;
  if (mode & 8) options |= vz::dfoAdler32;
  helper.SetOptions(options);
  helper.SetOutputLimit((mode & 2) ? 1 + (mode >> 5) * 4099 : 1 << 20);
  try {
    vz::Inflate(&source, &dest, &helper);
  } catch (const vz::InflateError&) {
  }
  return 0;
}
