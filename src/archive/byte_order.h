// Little-endian fields of zip records. Every record parser reads untrusted bytes through
// ByteReader, which never runs past the end of its span: a field that does not fit reads as 0 and
// marks the reader as short, so one check after parsing tells whether the record was whole.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace vz {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  uint64_t U64() { return Take(8); }
  // The next n bytes, or fewer when the span ends first (the reader is then short).
  std::span<const uint8_t> Bytes(size_t n) {
    const size_t have = std::min(n, bytes_.size() - pos_);
    if (have < n) short_ = true;
    auto out = bytes_.subspan(pos_, have);
    pos_ += have;
    return out;
  }
  void Skip(size_t n) { Bytes(n); }

  // True when some field did not fit.
  bool Short() const { return short_; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }

 private:
  uint64_t Take(size_t n) {
    if (bytes_.size() - pos_ < n) {
      short_ = true;
      pos_ = bytes_.size();
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(bytes_[pos_ + i]) << (8 * i);
    pos_ += n;
    return v;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool short_ = false;
};

// Appends little-endian fields to a byte buffer.
class ByteWriter {
 public:
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void Bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  const std::vector<uint8_t>& Data() const { return out_; }

 private:
  std::vector<uint8_t> out_;
};

inline uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t LoadLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace vz
