// libFuzzer target for the library-backed methods and WinZip AES.
//
// Byte 0 picks the mode: bits 0-2 the decoder (0 bzip2, 1 LZMA, 2 xz, 3 zstd, 4-7 AES), bit 3 the
// LZMA end marker flag, bit 4 a source that hands out a few bytes per read, bits 5-7 the output
// limit (from a small table, so that a tiny input cannot ask for gigabytes). The rest is the
// method data; for AES it is the 7 data bytes of a 0x9901 extra field followed by the item (salt
// onwards, password "fuzz"), decoded by the method the field names.
//
// MethodError, AesError and a short read of the AES header are the expected failures. Anything
// else escaping, output beyond the limit, or a CRC-32 that does not match the bytes written is a
// bug.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/aes_crypt.h"
#include "codec/deflate_base.h"
#include "codec/method_codecs.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"

namespace {

class TrickleStream : public vz::MemoryStream {
 public:
  TrickleStream(std::vector<uint8_t> data, bool trickle)
      : vz::MemoryStream(std::move(data)), trickle_(trickle) {}
  int64_t Read(std::span<uint8_t> buffer) override {
    if (!trickle_) return vz::MemoryStream::Read(buffer);
    step_ = step_ % 5 + 1;
    return vz::MemoryStream::Read(buffer.first(std::min(buffer.size(), step_)));
  }

 private:
  bool trickle_;
  size_t step_ = 0;
};

constexpr int64_t kLimits[] = {0, 1, 64, 1000, 4096, 32768, 32769, 100000};
constexpr vz::LibMethod kMethods[] = {vz::LibMethod::kBzip2, vz::LibMethod::kLzma,
                                      vz::LibMethod::kXz, vz::LibMethod::kZstd};

void Decode(vz::LibMethod method, vz::Stream& source, int64_t compressed_size, int64_t limit,
            bool end_marker) {
  vz::MemoryStream dest;
  vz::MethodDecodeOptions options;
  options.compressed_size = compressed_size;
  options.output_limit = limit;
  options.lzma_end_marker = end_marker;
  vz::MethodResult result;
  try {
    result = vz::DecodeMethod(method, source, dest, options);
  } catch (const vz::MethodError&) {
    if (dest.Size() > limit) std::abort();
    throw;
  }
  if (dest.Size() > limit || result.uncompressed_bytes != dest.Size()) std::abort();
  if (result.crc32 != vz::Crc32Of(dest.Data())) std::abort();
}

void DecodeAesItem(const uint8_t* data, size_t size, bool trickle, int64_t limit, bool end_marker) {
  if (size < vz::kAesExtraFieldSize) return;
  const vz::AesExtraField field = vz::ParseAesExtraField({data, vz::kAesExtraFieldSize});
  TrickleStream source(std::vector<uint8_t>(data + vz::kAesExtraFieldSize, data + size), trickle);
  vz::AesDecryptStream decrypt(source, field.strength, source.Size(), "fuzz");
  if (!decrypt.ReadAndVerifyHeader()) return;
  if (const auto method = vz::LibMethodFromZip(field.method)) {
    Decode(*method, decrypt, decrypt.DataSize(), limit, end_marker);
  } else {
    std::vector<uint8_t> sink(4096);
    while (decrypt.Read(sink) > 0) {
    }
  }
  decrypt.VerifyAuthentication();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const unsigned kind = mode & 7;
  const bool end_marker = (mode & 8) != 0;
  const bool trickle = (mode & 16) != 0;
  const int64_t limit = kLimits[mode >> 5];
  try {
    if (kind >= 4) {
      DecodeAesItem(data + 1, size - 1, trickle, limit, end_marker);
    } else {
      TrickleStream source(std::vector<uint8_t>(data + 1, data + size), trickle);
      Decode(kMethods[kind], source, static_cast<int64_t>(size - 1), limit, end_marker);
    }
  } catch (const vz::MethodError&) {
  } catch (const vz::AesError&) {
  } catch (const vz::StreamReadError&) {
  }
  return 0;
}
