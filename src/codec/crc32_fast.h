// The implementations behind UpdateCrc32: portable slicing by eight, and carry-less multiplication
// on x86-64 processors that have it (PCLMULQDQ on 128-bit registers, or VPCLMULQDQ on 512-bit
// ones), chosen at run time. All are exposed so that tests can hold them against each other.
#pragma once

#include <cstdint>

namespace vz {

void UpdateCrc32Sliced(uint32_t& reg, const uint8_t* data, int64_t count);
// True when the processor can run UpdateCrc32Clmul.
bool Crc32ClmulAvailable();
// Only when Crc32ClmulAvailable(); any count.
void UpdateCrc32Clmul(uint32_t& reg, const uint8_t* data, int64_t count);
// True when the processor can run UpdateCrc32WideClmul (AVX-512 with VPCLMULQDQ).
bool Crc32WideClmulAvailable();
// Only when Crc32WideClmulAvailable(); any count.
void UpdateCrc32WideClmul(uint32_t& reg, const uint8_t* data, int64_t count);

}  // namespace vz
