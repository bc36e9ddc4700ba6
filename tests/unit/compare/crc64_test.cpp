#include "compare/crc64.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {
// The definition itself, bit by bit: the yardstick for every faster variant.
uint64_t ReferenceCrc(uint64_t crc, const unsigned char* p, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    crc ^= static_cast<uint64_t>(p[i]) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 63) ? (crc << 1) ^ kCrc64Polynomial : crc << 1;
  }
  return crc;
}

std::vector<unsigned char> RandomBytes(size_t count, std::mt19937& random) {
  std::vector<unsigned char> bytes(count);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}
}  // namespace

TEST(Crc64, KnownValues) {
  struct Case {
    const char* text;
    uint64_t expected;
  } cases[] = {{"123456789", 0x62EC59E3F1A4F00AULL}, {"abc", 0x048B813AF9F49702ULL}, {"", 0}};
  for (const Case& c : cases) {
    size_t length = strlen(c.text);
    EXPECT_EQ(Crc64Of(c.text, length), c.expected) << c.text;
    EXPECT_EQ(Crc64UpdateBytewise(kCrc64AllOnes, c.text, length) ^ kCrc64AllOnes, c.expected) << c.text;
  }
  EXPECT_EQ(Crc64Table[0], 0u);
  EXPECT_EQ(Crc64Table[1], 0x42F0E1EBA9EA3693ULL);
  EXPECT_EQ(Crc64Table[255], 0x9AFCE626CE85B507ULL);
  EXPECT_EQ(Crc64Update(0x1234, "x", 0), 0x1234u);
}

TEST(Crc64, TableFollowsItsDefinition) {
  for (unsigned i = 0; i < 256; ++i) {
    unsigned char byte = static_cast<unsigned char>(i);
    EXPECT_EQ(Crc64Table[i], ReferenceCrc(0, &byte, 1)) << i;
  }
}

// Every variant must give the byte-at-a-time result, for every length, start register and alignment.
TEST(Crc64, VariantsAgreeWithReferenceOnEveryLength) {
  std::mt19937 random(4100);
  std::vector<unsigned char> bytes = RandomBytes(4100 + 16, random);
  bool folded = Crc64FoldingAvailable() != 0;
  for (size_t length = 0; length <= 4100; ++length) {
    size_t shift = length % 16;  // unaligned starts too
    const unsigned char* p = bytes.data() + shift;
    uint64_t start = length % 3 == 0 ? kCrc64AllOnes : (static_cast<uint64_t>(random()) << 32) ^ random();
    uint64_t expected = ReferenceCrc(start, p, length);
    ASSERT_EQ(Crc64UpdateBytewise(start, p, length), expected) << length;
    ASSERT_EQ(Crc64UpdateSliced(start, p, length), expected) << length;
    if (folded) {
      ASSERT_EQ(Crc64UpdateFolded(start, p, length), expected) << length;
    }
    ASSERT_EQ(Crc64Update(start, p, length), expected) << length;
  }
}

TEST(Crc64, ShippedVariantIsTheFastestTheCpuHas) {
  EXPECT_STREQ(Crc64UpdateName(), Crc64FoldingAvailable() ? "folded" : "sliced");
}

TEST(Crc64, LargeBufferInRandomSplitsMatchesOneCall) {
  std::mt19937 random(7);
  std::vector<unsigned char> bytes = RandomBytes(3 * 1048576 + 123, random);
  uint64_t whole = ReferenceCrc(kCrc64AllOnes, bytes.data(), bytes.size());
  EXPECT_EQ(Crc64Update(kCrc64AllOnes, bytes.data(), bytes.size()), whole);
  uint64_t crc = kCrc64AllOnes;
  for (size_t at = 0; at < bytes.size();) {
    size_t part = std::min<size_t>(random() % 200000, bytes.size() - at);
    crc = Crc64Update(crc, bytes.data() + at, part);
    at += part;
  }
  EXPECT_EQ(crc, whole);
}
