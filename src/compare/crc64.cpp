#include "compare/crc64.h"

#include <intrin.h>

#include <cstring>

namespace {
struct SliceTables {
  uint64_t entry[8][256];
};

constexpr uint64_t TableEntry(uint64_t index) {
  uint64_t crc = index << 56;
  for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000000000000000ULL) ? (crc << 1) ^ kCrc64Polynomial : crc << 1;
  return crc;
}

// Slice k holds the register for byte i followed by k zero bytes, so eight bytes take eight look-ups at once.
constexpr SliceTables MakeSliceTables() {
  SliceTables tables{};
  for (int i = 0; i < 256; ++i) tables.entry[0][i] = TableEntry(static_cast<uint64_t>(i));
  for (int k = 1; k < 8; ++k)
    for (int i = 0; i < 256; ++i) {
      uint64_t previous = tables.entry[k - 1][i];
      tables.entry[k][i] = (previous << 8) ^ tables.entry[0][previous >> 56];
    }
  return tables;
}

constexpr SliceTables kSlices = MakeSliceTables();
static_assert(kSlices.entry[0][1] == 0x42F0E1EBA9EA3693ULL, "table entry 1");
static_assert(kSlices.entry[0][255] == 0x9AFCE626CE85B507ULL, "table entry 255");

uint64_t LoadBigEndian64(const unsigned char* p) {
  uint64_t word;
  memcpy(&word, p, sizeof word);
  return __builtin_bswap64(word);
}

using UpdateFunction = uint64_t (*)(uint64_t, const void*, size_t);

int CpuHasFolding() {
  int info[4] = {0, 0, 0, 0};
  __cpuid(info, 0);
  if (info[0] < 1) return 0;
  __cpuid(info, 1);
  const int kPclmul = 1 << 1, kSsse3 = 1 << 9;
  return (info[2] & kPclmul) && (info[2] & kSsse3) ? 1 : 0;
}

// Chosen once at start-up, before any thread reads a file.
const int g_foldingAvailable = CpuHasFolding();
const UpdateFunction g_update = g_foldingAvailable ? Crc64UpdateFolded : Crc64UpdateSliced;
}  // namespace

// Built by the compiler into the program's read-only data; the first of the eight slices.
const uint64_t (&Crc64Table)[256] = kSlices.entry[0];

uint64_t Crc64UpdateBytewise(uint64_t crc, const void* bytes, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < count; ++i) crc = (crc << 8) ^ kSlices.entry[0][(p[i] ^ (crc >> 56)) & 0xFF];
  return crc;
}

uint64_t Crc64UpdateSliced(uint64_t crc, const void* bytes, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  const auto& t = kSlices.entry;
  for (; count >= 8; count -= 8, p += 8) {
    uint64_t x = crc ^ LoadBigEndian64(p);
    uint32_t high = static_cast<uint32_t>(x >> 32), low = static_cast<uint32_t>(x);
    crc = t[7][high >> 24] ^ t[6][(high >> 16) & 0xFF] ^ t[5][(high >> 8) & 0xFF] ^ t[4][high & 0xFF] ^
          t[3][low >> 24] ^ t[2][(low >> 16) & 0xFF] ^ t[1][(low >> 8) & 0xFF] ^ t[0][low & 0xFF];
  }
  return Crc64UpdateBytewise(crc, p, count);
}

uint64_t Crc64Update(uint64_t crc, const void* bytes, size_t count) { return g_update(crc, bytes, count); }

int Crc64FoldingAvailable() { return g_foldingAvailable; }

const char* Crc64UpdateName() { return g_foldingAvailable ? "folded" : "sliced"; }
