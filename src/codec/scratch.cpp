#include "codec/scratch.h"

#include <utility>

namespace vz {

namespace {

constexpr int kSlots = 4;

struct Spares {
  std::unique_ptr<uint8_t[]> bytes[kSlots];
  size_t sizes[kSlots] = {};
  std::vector<int32_t> ints[kSlots];
};

Spares& ThisThread() {
  thread_local Spares spares;
  return spares;
}

}  // namespace

std::unique_ptr<uint8_t[]> TakeScratchBytes(ScratchSlot slot, size_t bytes, size_t* size) {
  Spares& spares = ThisThread();
  const auto at = static_cast<size_t>(slot);
  if (spares.bytes[at] != nullptr && spares.sizes[at] >= bytes) {
    *size = spares.sizes[at];
    return std::move(spares.bytes[at]);
  }
  *size = bytes;
  return std::make_unique_for_overwrite<uint8_t[]>(bytes);
}

void KeepScratchBytes(ScratchSlot slot, std::unique_ptr<uint8_t[]> block, size_t size) {
  Spares& spares = ThisThread();
  const auto at = static_cast<size_t>(slot);
  if (block == nullptr || (spares.bytes[at] != nullptr && spares.sizes[at] >= size)) return;
  spares.bytes[at] = std::move(block);
  spares.sizes[at] = size;
}

std::vector<int32_t> TakeScratchInts(ScratchSlot slot) {
  std::vector<int32_t> ints = std::move(ThisThread().ints[static_cast<size_t>(slot)]);
  ints.clear();
  return ints;
}

void KeepScratchInts(ScratchSlot slot, std::vector<int32_t>&& ints) {
  std::vector<int32_t>& kept = ThisThread().ints[static_cast<size_t>(slot)];
  if (ints.capacity() > kept.capacity()) kept = std::move(ints);
}

}  // namespace vz
