// A growable stream held wholly in memory.
#pragma once

#include <vector>

#include "platform/stream.h"

namespace vz {

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  int64_t Read(std::span<uint8_t> buffer) override;
  // Writes at the position; writing beyond the end fills the gap with zero bytes.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Any origin other than begin or end counts from the current position. The position may lie
  // beyond the end; it never goes below 0.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t new_size) override;

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace vz
