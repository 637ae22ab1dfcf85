// The two implementations behind UpdateCrc32: portable slicing by eight, and carry-less
// multiplication (PCLMULQDQ) on x86-64 processors that have it, chosen at run time. Both are
// exposed so that tests can hold them against each other.
#pragma once

#include <cstdint>

namespace vz {

void UpdateCrc32Sliced(uint32_t& reg, const uint8_t* data, int64_t count);
// True when the processor can run UpdateCrc32Clmul.
bool Crc32ClmulAvailable();
// Only when Crc32ClmulAvailable(); any count.
void UpdateCrc32Clmul(uint32_t& reg, const uint8_t* data, int64_t count);

}  // namespace vz
