#include "platform/stream.h"

#include <algorithm>
#include <vector>

#include "platform/runtime_errors.h"

namespace vz {

int64_t Stream::Size() {
  const int64_t here = Seek(0, kSeekCurrent);
  const int64_t end = Seek(0, kSeekEnd);
  Seek(here, kSeekBegin);
  return end;
}

void Stream::SetSize(int64_t) {
  throw StreamWriteError();
}

void Stream::ReadBuffer(std::span<uint8_t> buffer) {
  if (buffer.empty()) return;
  if (Read(buffer) != static_cast<int64_t>(buffer.size())) throw StreamReadError();
}

void Stream::WriteBuffer(std::span<const uint8_t> buffer) {
  if (buffer.empty()) return;
  if (Write(buffer) != static_cast<int64_t>(buffer.size())) throw StreamWriteError();
}

int64_t Stream::CopyFrom(Stream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kChunk = 64 * 1024;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(std::max<int64_t>(count, 1), kChunk)));
  int64_t left = count;
  while (left > 0) {
    const auto n = static_cast<size_t>(std::min<int64_t>(left, kChunk));
    source.ReadBuffer({buffer.data(), n});
    WriteBuffer({buffer.data(), n});
    left -= static_cast<int64_t>(n);
  }
  return count;
}

}  // namespace vz
