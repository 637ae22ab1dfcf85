// Random bytes from the operating system. The encryption headers of new zip items start with
// random bytes; taking them from the system's source (rather than a fixed-seed generator) keeps two
// archives made with the same password from sharing header bytes.
#pragma once

#include <cstdint>
#include <span>

namespace vz {

// Fills the buffer with bytes from the system's random source (getrandom, else /dev/urandom).
// Raises InOutError when neither can deliver.
void FillRandomBytes(std::span<uint8_t> buffer);

}  // namespace vz
