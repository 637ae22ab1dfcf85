#include "codec/scratch.h"

#include <type_traits>
#include <utility>

namespace vz {

namespace {

constexpr int kSlots = 4;

// Plain pointers, so that the thread's storage needs no destructor: the Windows runtime may free a
// thread's storage before it runs the destructors of its thread_local objects. A worker thread
// gives its blocks back with ReleaseThreadScratch before it ends.
struct Spares {
  uint8_t* bytes[kSlots];
  size_t sizes[kSlots];
  std::vector<int32_t>* ints[kSlots];
};
static_assert(std::is_trivially_destructible_v<Spares>);

Spares& ThisThread() {
  thread_local Spares spares{};
  return spares;
}

}  // namespace

std::unique_ptr<uint8_t[]> TakeScratchBytes(ScratchSlot slot, size_t bytes, size_t* size) {
  Spares& spares = ThisThread();
  const auto at = static_cast<size_t>(slot);
  if (spares.bytes[at] != nullptr && spares.sizes[at] >= bytes) {
    *size = spares.sizes[at];
    return std::unique_ptr<uint8_t[]>(std::exchange(spares.bytes[at], nullptr));
  }
  *size = bytes;
  return std::make_unique_for_overwrite<uint8_t[]>(bytes);
}

void KeepScratchBytes(ScratchSlot slot, std::unique_ptr<uint8_t[]> block, size_t size) {
  Spares& spares = ThisThread();
  const auto at = static_cast<size_t>(slot);
  if (block == nullptr || (spares.bytes[at] != nullptr && spares.sizes[at] >= size)) return;
  delete[] spares.bytes[at];
  spares.bytes[at] = block.release();
  spares.sizes[at] = size;
}

std::vector<int32_t> TakeScratchInts(ScratchSlot slot) {
  std::vector<int32_t> ints;
  if (std::vector<int32_t>* kept =
          std::exchange(ThisThread().ints[static_cast<size_t>(slot)], nullptr)) {
    ints = std::move(*kept);
    delete kept;
  }
  ints.clear();
  return ints;
}

void KeepScratchInts(ScratchSlot slot, std::vector<int32_t>&& ints) {
  std::vector<int32_t>*& kept = ThisThread().ints[static_cast<size_t>(slot)];
  if (kept == nullptr) {
    kept = new std::vector<int32_t>(std::move(ints));
  } else if (ints.capacity() > kept->capacity()) {
    *kept = std::move(ints);
  }
}

void ReleaseThreadScratch() {
  Spares& spares = ThisThread();
  for (int at = 0; at < kSlots; ++at) {
    delete[] std::exchange(spares.bytes[at], nullptr);
    spares.sizes[at] = 0;
    delete std::exchange(spares.ints[at], nullptr);
  }
}

}  // namespace vz
