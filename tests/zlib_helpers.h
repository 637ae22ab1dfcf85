// zlib as the tests' reference Deflate encoder and decoder.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vz::testing {

// Raw Deflate (no zlib header) of data at the given level and strategy.
inline std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level = 6,
                                       int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  return out;
}

// Raw Inflate of data; throws when zlib rejects it.
inline std::vector<uint8_t> RawInflate(const std::vector<uint8_t>& data) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  std::vector<uint8_t> out;
  std::vector<uint8_t> chunk(1 << 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = chunk.data();
    z.avail_out = static_cast<uInt>(chunk.size());
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk.begin(), chunk.end() - z.avail_out);
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("inflate failed");
  return out;
}

// Raw Deflate of mebibytes MiB of zeros in about a thousandth of that: one chunk ended by a full
// flush refers to nothing before it and ends on a byte boundary, so copies of it can follow each
// other; an empty fixed block marked last ends the stream.
inline std::vector<uint8_t> ZerosDeflated(int mebibytes) {
  const std::vector<uint8_t> zeros(1 << 20, 0);
  std::vector<uint8_t> chunk(1 << 16);
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  z.next_in = const_cast<Bytef*>(zeros.data());
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = chunk.data();
  z.avail_out = static_cast<uInt>(chunk.size());
  deflate(&z, Z_FULL_FLUSH);
  const auto used = static_cast<std::ptrdiff_t>(chunk.size() - z.avail_out);
  deflateEnd(&z);
  std::vector<uint8_t> out;
  for (int i = 0; i < mebibytes; ++i) out.insert(out.end(), chunk.begin(), chunk.begin() + used);
  out.push_back(0x03);
  out.push_back(0x00);
  return out;
}

}  // namespace vz::testing
