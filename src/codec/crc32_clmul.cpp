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
//
// Where the processor multiplies four lane pairs in one instruction (VPCLMULQDQ on 512-bit
// registers), sixteen blocks are folded in parallel across 256 bytes (D = 2048), the four registers
// are merged 64 bytes at a time (D = 512), and the four blocks of the last register are brought to
// the last one with D = 384, 256 and 128 before the 16-byte steps above. Same mathematics, four
// times the width: the loop is then limited by memory rather than by the multiplier.
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

// The lane constants of a fold across d bits.
constexpr uint64_t FoldLo(int d) {
  return Lane(PowerModP(d + 63));
}
constexpr uint64_t FoldHi(int d) {
  return Lane(PowerModP(d - 1));
}

constexpr uint64_t kFold512Lo = FoldLo(512);
constexpr uint64_t kFold512Hi = FoldHi(512);
constexpr uint64_t kFold128Lo = FoldLo(128);
constexpr uint64_t kFold128Hi = FoldHi(128);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the 16-byte blocks that are left into x, then turns x and the last bytes into the register.
__attribute__((target("pclmul,sse2"))) uint32_t FinishClmul(__m128i x, const uint8_t* data,
                                                            int64_t count) {
  const __m128i k128 =
      _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
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
  return r;
}

#define VZ_WIDE_TARGET __attribute__((target("avx512f,vpclmulqdq,pclmul,sse2")))

VZ_WIDE_TARGET inline __m512i Fold4(__m512i x, __m512i k) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(x, k, 0x00),
                          _mm512_clmulepi64_epi128(x, k, 0x11));
}

VZ_WIDE_TARGET inline __m512i Load4(const uint8_t* p) {
  return _mm512_loadu_si512(p);
}

VZ_WIDE_TARGET inline __m512i Constants4(uint64_t lo, uint64_t hi) {
  const auto l = static_cast<long long>(lo);
  const auto h = static_cast<long long>(hi);
  return _mm512_set_epi64(h, l, h, l, h, l, h, l);
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
  reg = FinishClmul(x, data, count);
}

bool Crc32WideClmulAvailable() {
  static const bool available = Crc32ClmulAvailable() && __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("vpclmulqdq");
  return available;
}

VZ_WIDE_TARGET void UpdateCrc32WideClmul(uint32_t& reg, const uint8_t* data, int64_t count) {
  if (count < 256) {
    UpdateCrc32Clmul(reg, data, count);
    return;
  }
  const __m512i k2048 = Constants4(FoldLo(2048), FoldHi(2048));
  const __m512i k512 = Constants4(FoldLo(512), FoldHi(512));
  __m512i x0 = _mm512_xor_si512(Load4(data), _mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, reg));
  __m512i x1 = Load4(data + 64);
  __m512i x2 = Load4(data + 128);
  __m512i x3 = Load4(data + 192);
  data += 256;
  count -= 256;
  while (count >= 256) {
    x0 = _mm512_xor_si512(Fold4(x0, k2048), Load4(data));
    x1 = _mm512_xor_si512(Fold4(x1, k2048), Load4(data + 64));
    x2 = _mm512_xor_si512(Fold4(x2, k2048), Load4(data + 128));
    x3 = _mm512_xor_si512(Fold4(x3, k2048), Load4(data + 192));
    data += 256;
    count -= 256;
  }
  __m512i x = _mm512_xor_si512(Fold4(x0, k512), x1);
  x = _mm512_xor_si512(Fold4(x, k512), x2);
  x = _mm512_xor_si512(Fold4(x, k512), x3);
  while (count >= 64) {
    x = _mm512_xor_si512(Fold4(x, k512), Load4(data));
    data += 64;
    count -= 64;
  }
  // Blocks 0, 1 and 2 stand 384, 256 and 128 bits before block 3; the zero constants of block 3
  // keep it out of the products.
  const __m512i k_last = _mm512_set_epi64(
      0, 0, static_cast<long long>(FoldHi(128)), static_cast<long long>(FoldLo(128)),
      static_cast<long long>(FoldHi(256)), static_cast<long long>(FoldLo(256)),
      static_cast<long long>(FoldHi(384)), static_cast<long long>(FoldLo(384)));
  alignas(64) uint8_t lanes[2][64];
  _mm512_store_si512(lanes[0], x);
  _mm512_store_si512(lanes[1], Fold4(x, k_last));
  __m128i y = _mm_xor_si128(Load(lanes[0] + 48), Load(lanes[1]));
  y = _mm_xor_si128(y, _mm_xor_si128(Load(lanes[1] + 16), Load(lanes[1] + 32)));
  reg = FinishClmul(y, data, count);
}

#else

bool Crc32ClmulAvailable() {
  return false;
}
void UpdateCrc32Clmul(uint32_t& reg, const uint8_t* data, int64_t count) {
  UpdateCrc32Sliced(reg, data, count);
}
bool Crc32WideClmulAvailable() {
  return false;
}
void UpdateCrc32WideClmul(uint32_t& reg, const uint8_t* data, int64_t count) {
  UpdateCrc32Sliced(reg, data, count);
}

#endif

}  // namespace vz
