// CRC-64 by carry-less multiplication: 64 bytes per step in four 128-bit lanes, each lane folded forward
// with a product by x^k mod P, and the last 16 bytes reduced through the slicing tables.
#include <immintrin.h>

#include "compare/crc64.h"

// 32-bit Windows only promises a 4-byte aligned stack; the vector spills need 16.
#define ZAV_FOLDING __attribute__((target("pclmul,ssse3"), force_align_arg_pointer))
#define ZAV_FOLDING_INLINE __attribute__((target("pclmul,ssse3"), always_inline)) inline

namespace {
// x^power mod P: the factor that moves a polynomial power bits further towards the end of the message.
constexpr uint64_t PowerOfXMod(int power) {
  uint64_t r = 1;
  for (int i = 0; i < power; ++i) r = (r & 0x8000000000000000ULL) ? (r << 1) ^ kCrc64Polynomial : r << 1;
  return r;
}

constexpr uint64_t kX128 = PowerOfXMod(128), kX192 = PowerOfXMod(192);
constexpr uint64_t kX512 = PowerOfXMod(512), kX576 = PowerOfXMod(576);

// Bytes in message order become the polynomial's coefficients from the top bit down.
ZAV_FOLDING_INLINE __m128i LoadReversed(const unsigned char* p, __m128i reverse) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// (high * x^64 + low) * x^distance, reduced to 128 bits: high and low each times their own factor.
ZAV_FOLDING_INLINE __m128i Fold(__m128i lane, __m128i factors) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lane, factors, 0x00), _mm_clmulepi64_si128(lane, factors, 0x11));
}
}  // namespace

ZAV_FOLDING uint64_t Crc64UpdateFolded(uint64_t crc, const void* bytes, size_t count) {
  if (count < 64) return Crc64UpdateSliced(crc, bytes, count);
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  // Low qword times the first factor, high qword times the second (selectors 0x00 and 0x11).
  const __m128i by512 = _mm_set_epi64x(static_cast<long long>(kX576), static_cast<long long>(kX512));
  const __m128i by128 = _mm_set_epi64x(static_cast<long long>(kX192), static_cast<long long>(kX128));

  // The register enters as an XOR over the first eight message bytes.
  __m128i x0 = _mm_xor_si128(LoadReversed(p, reverse), _mm_set_epi64x(static_cast<long long>(crc), 0));
  __m128i x1 = LoadReversed(p + 16, reverse);
  __m128i x2 = LoadReversed(p + 32, reverse);
  __m128i x3 = LoadReversed(p + 48, reverse);
  p += 64;
  count -= 64;
  for (; count >= 64; count -= 64, p += 64) {
    x0 = _mm_xor_si128(Fold(x0, by512), LoadReversed(p, reverse));
    x1 = _mm_xor_si128(Fold(x1, by512), LoadReversed(p + 16, reverse));
    x2 = _mm_xor_si128(Fold(x2, by512), LoadReversed(p + 32, reverse));
    x3 = _mm_xor_si128(Fold(x3, by512), LoadReversed(p + 48, reverse));
  }
  x0 = _mm_xor_si128(Fold(x0, by128), x1);
  x0 = _mm_xor_si128(Fold(x0, by128), x2);
  x0 = _mm_xor_si128(Fold(x0, by128), x3);
  for (; count >= 16; count -= 16, p += 16) x0 = _mm_xor_si128(Fold(x0, by128), LoadReversed(p, reverse));

  // The remaining 128 bits are congruent to everything read so far; their CRC from 0 is the register.
  alignas(16) unsigned char folded[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(folded), _mm_shuffle_epi8(x0, reverse));
  crc = Crc64UpdateSliced(0, folded, sizeof folded);
  return Crc64UpdateSliced(crc, p, count);
}
