#pragma once
// CRC-64/WE (ECMA-182 polynomial, not reflected, all-ones start and final XOR): the content checksum.
#include <cstddef>
#include <cstdint>

constexpr uint64_t kCrc64Polynomial = 0x42F0E1EBA9EA3693ULL;
constexpr uint64_t kCrc64AllOnes = 0xFFFFFFFFFFFFFFFFULL;

// Entry i: i shifted to the top byte, then eight shift-and-XOR steps of the polynomial.
extern const uint64_t (&Crc64Table)[256];

// Adds count bytes to the register (no start value, no final XOR): the shipped, fastest variant.
uint64_t Crc64Update(uint64_t crc, const void* bytes, size_t count);

// The variants behind Crc64Update, for tests and the benchmark.
uint64_t Crc64UpdateBytewise(uint64_t crc, const void* bytes, size_t count);  // one table look-up per byte
uint64_t Crc64UpdateSliced(uint64_t crc, const void* bytes, size_t count);    // eight bytes per step
uint64_t Crc64UpdateFolded(uint64_t crc, const void* bytes, size_t count);    // carry-less multiply; needs CPU
// 1 when the CPU has carry-less multiplication (and byte shuffles), so Crc64UpdateFolded may run.
int Crc64FoldingAvailable();
// The name of the variant that Crc64Update uses ("folded" or "sliced").
const char* Crc64UpdateName();

// The checksum of a whole buffer: start value, update, final XOR.
inline uint64_t Crc64Of(const void* bytes, size_t count) {
  return Crc64Update(kCrc64AllOnes, bytes, count) ^ kCrc64AllOnes;
}
