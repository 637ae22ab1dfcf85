// CRC-32 by folding with carry-less multiplication.
//
// Read the message as a polynomial M(x) over GF(2). Only M mod P matters for the CRC, so a
// 128-bit block X that stands D bits before the block it will be added to can be replaced by
// X * x^D mod P, which has the width of one block again. With the reflected bit order of this CRC
// (bit m of a 128-bit little-endian load is the coefficient of x^(127-m) relative to the block's
// lowest degree), a block splits into its low lane L (the higher degrees) and high lane H, and
//   X * x^D = L * x^(D+64) + H * x^D   (mod P, relative to the target block).
// A carry-less product of two 64-bit lanes, each holding a polynomial with bit k as coefficient
// of x^(63-k), puts the coefficient of x^(126-m) in bit m, one degree short of the block layout;
// so the lane constants are x^(D+63) mod P and x^(D-1) mod P, derived below rather than typed in.
//
// Four blocks are folded in parallel across 64 bytes (D = 512), then merged one block at a time
// (D = 128). The last 16-byte remainder is a message of its own with the same residue, which the
// table-driven code turns into the register; the initial register is xored into the first four
// message bytes, which is what starting the division from it means.
#include "codec/crc32_fast.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cstring>

namespace vz {

#if defined(__x86_64__)

namespace {

// x^n mod P in normal bit order (bit d is the coefficient of x^d), P = 0x104C11DB7.
constexpr uint64_t PowerModP(int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (uint64_t{1} << 32)) r ^= 0x104C11DB7u;
  }
  return r;
}

// A polynomial of degree < 64 in the lane layout: bit k holds the coefficient of x^(63-k).
constexpr uint64_t Lane(uint64_t poly) {
  uint64_t out = 0;
  for (int d = 0; d < 64; ++d) {
    if (poly & (uint64_t{1} << d)) out |= uint64_t{1} << (63 - d);
  }
  return out;
}

constexpr uint64_t kFold512Lo = Lane(PowerModP(512 + 63));
constexpr uint64_t kFold512Hi = Lane(PowerModP(512 - 1));
constexpr uint64_t kFold128Lo = Lane(PowerModP(128 + 63));
constexpr uint64_t kFold128Hi = Lane(PowerModP(128 - 1));

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

bool Crc32ClmulAvailable() {
  static const bool available = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return available;
}

__attribute__((target("pclmul,sse2"))) void UpdateCrc32Clmul(uint32_t& reg, const uint8_t* data,
                                                             int64_t count) {
  if (count < 64) {
    UpdateCrc32Sliced(reg, data, count);
    return;
  }
  const __m128i k512 =
      _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));
  const __m128i k128 =
      _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
  __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = Load(data + 16);
  __m128i x2 = Load(data + 32);
  __m128i x3 = Load(data + 48);
  data += 64;
  count -= 64;
  while (count >= 64) {
    x0 = _mm_xor_si128(Fold(x0, k512), Load(data));
    x1 = _mm_xor_si128(Fold(x1, k512), Load(data + 16));
    x2 = _mm_xor_si128(Fold(x2, k512), Load(data + 32));
    x3 = _mm_xor_si128(Fold(x3, k512), Load(data + 48));
    data += 64;
    count -= 64;
  }
  __m128i x = _mm_xor_si128(Fold(x0, k128), x1);
  x = _mm_xor_si128(Fold(x, k128), x2);
  x = _mm_xor_si128(Fold(x, k128), x3);
  while (count >= 16) {
    x = _mm_xor_si128(Fold(x, k128), Load(data));
    data += 16;
    count -= 16;
  }
  uint8_t rest[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
  uint32_t r = 0;
  UpdateCrc32Sliced(r, rest, 16);
  UpdateCrc32Sliced(r, data, count);
  reg = r;
}

#else

bool Crc32ClmulAvailable() {
  return false;
}
void UpdateCrc32Clmul(uint32_t& reg, const uint8_t* data, int64_t count) {
  UpdateCrc32Sliced(reg, data, count);
}

#endif

}  // namespace vz
