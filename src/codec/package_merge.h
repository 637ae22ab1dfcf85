// Length-limited prefix code lengths by the package-merge method.
#pragma once

#include <cstdint>
#include <span>

#include "codec/deflate_base.h"

namespace vz {

// Sets code_lengths[start_index + s] for each symbol s of weights to the length of its code in an
// optimal prefix code whose codes are at most max_code_len (1..15) bits long; unused symbols get
// 0. With no used symbol the first symbol gets length 1; a single used symbol gets length 1.
// weights holds 1..286 counts, fewer than 2^max_code_len. The log is kept for symmetry with the
// other block writers; nothing is written to it.
void GenerateCodeLengths(int max_code_len, std::span<const int32_t> weights,
                         std::span<int32_t> code_lengths, int start_index, Logger* log);

}  // namespace vz
