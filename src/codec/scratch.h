// Large work blocks that an encoder leaves to the next one on the same thread. Compressing many
// small files would otherwise allocate its window, tables and token buffer afresh for each one.
// Each thread keeps at most one block per slot; what a block holds when taken is unspecified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vz {

enum class ScratchSlot { kWindow, kTokens, kChain, kHead };

// A block of at least bytes bytes: the one kept in the slot when it is large enough, else a new
// one. Give it back with the size it was taken with.
std::unique_ptr<uint8_t[]> TakeScratchBytes(ScratchSlot slot, size_t bytes, size_t* size);
void KeepScratchBytes(ScratchSlot slot, std::unique_ptr<uint8_t[]> block, size_t size);

// An empty vector, with the capacity of the one kept in the slot.
std::vector<int32_t> TakeScratchInts(ScratchSlot slot);
void KeepScratchInts(ScratchSlot slot, std::vector<int32_t>&& ints);

// Frees the blocks the calling thread keeps. A thread that ends before the program does calls it
// last; nothing else frees them.
void ReleaseThreadScratch();

}  // namespace vz
