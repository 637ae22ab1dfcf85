// Progress percentages: every progress value of the engine comes from one of these two rules.
//
// - Percentage: whole-archive progress and the legacy decoders' output. The integer part of
//   done x 100 / total; totals above 16,384,000 are first scaled down by 256 (rounded), as the
//   progress of old 32-bit tools was, so done x 100 never needed more than 32 bits.
// - RoundedPercent: the codecs' own progress (bytes consumed by Inflate and Deflate, stored copies
//   in and out of an archive). done x 100 / total rounded to the nearest whole number, halves to
//   the even one. The value is not clamped: a reader that buffers ahead may report more than 100.
#pragma once

#include <cstdint>

namespace vz {

constexpr uint8_t Percentage(int64_t done, int64_t total) {
  if (total > 16'384'000) {
    // (value + 128) >> 8, computed wide so that no value near the limit wraps around.
    done = static_cast<int64_t>((static_cast<__int128>(done) + 128) >> 8);
    total = static_cast<int64_t>((static_cast<__int128>(total) + 128) >> 8);
  }
  if (total <= 0) return 0;
  if (done >= total) return 100;
  if (done <= 0) return 0;
  return static_cast<uint8_t>(static_cast<__int128>(done) * 100 / total);
}

// total must be above 0.
constexpr int32_t RoundedPercent(int64_t done, int64_t total) {
  const __int128 scaled = static_cast<__int128>(done) * 100;
  __int128 q = scaled / total;
  const __int128 twice_rest = 2 * (scaled % total);
  if (twice_rest > total || (twice_rest == total && (q & 1) != 0)) ++q;
  return static_cast<int32_t>(q);
}

static_assert(Percentage(0, 0) == 0 && Percentage(5, 5) == 100 && Percentage(1, 3) == 33 &&
              Percentage(20'000'000, 40'000'000) == 50);
static_assert(RoundedPercent(4096, 10000) == 41 && RoundedPercent(1, 200) == 0 &&
              RoundedPercent(3, 200) == 2);

}  // namespace vz
