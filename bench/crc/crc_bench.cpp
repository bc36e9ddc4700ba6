// CRC-64 throughput: the byte-at-a-time reference against the shipped update on one 256 MiB buffer, and,
// given a file, the whole-file checksum rate on it (read through the program's own reader).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "compare/checksum_buffers.h"
#include "compare/crc64.h"
#include "compare/whole_file_checksum.h"

namespace {
const size_t kBufferBytes = 256u << 20;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

using Update = uint64_t (*)(uint64_t, const void*, size_t);

// Best of a few runs, in MB/s (10^6 bytes); the checksum proves the variants agree.
double Measure(Update update, const unsigned char* bytes, int runs, uint64_t* checksum) {
  double best = 1e30;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    *checksum = update(kCrc64AllOnes, bytes, kBufferBytes) ^ kCrc64AllOnes;
    QueryPerformanceCounter(&end);
    double seconds = Seconds(start, end);
    if (seconds < best) best = seconds;
  }
  return kBufferBytes / best / 1e6;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  unsigned char* bytes = static_cast<unsigned char*>(VirtualAlloc(nullptr, kBufferBytes, MEM_COMMIT, PAGE_READWRITE));
  if (!bytes) {
    printf("cannot allocate 256 MiB\n");
    return 1;
  }
  uint32_t state = 12345;
  for (size_t i = 0; i < kBufferBytes; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<unsigned char>(state >> 24);
  }

  struct Variant {
    const char* name;
    Update update;
    int runs;
  } variants[] = {{"byte-at-a-time", Crc64UpdateBytewise, 1},
                  {"slicing-by-8", Crc64UpdateSliced, 3},
                  {"folded (pclmul)", Crc64FoldingAvailable() ? Crc64UpdateFolded : nullptr, 3},
                  {"shipped Crc64Update", Crc64Update, 3}};
  printf("CRC-64 over a 256 MiB buffer (shipped update: %s)\n", Crc64UpdateName());
  double reference = 0;
  uint64_t expected = 0;
  for (const Variant& variant : variants) {
    if (!variant.update) {
      printf("  %-20s not available on this CPU\n", variant.name);
      continue;
    }
    uint64_t checksum = 0;
    double rate = Measure(variant.update, bytes, variant.runs, &checksum);
    if (reference == 0) {
      reference = rate;
      expected = checksum;
    }
    printf("  %-20s %8.0f MB/s  %5.1fx  %016llX%s\n", variant.name, rate, rate / reference,
           static_cast<unsigned long long>(checksum), checksum == expected ? "" : "  MISMATCH");
  }
  VirtualFree(bytes, 0, MEM_RELEASE);

  if (argc > 1) {
    std::wstring path = std::wstring(L"\\\\?\\") + argv[1];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
      printf("cannot find the file\n");
      return 1;
    }
    int64_t size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    InitChecksumBuffers();
    double best = 1e30;
    uint64_t checksum = 0;
    uint32_t error = 0;
    for (int run = 0; run < 2; ++run) {
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      checksum = ChecksumWholeFile(path.c_str(), size, &error);
      QueryPerformanceCounter(&end);
      double seconds = Seconds(start, end);
      if (seconds < best) best = seconds;
    }
    FreeChecksumBuffers();
    printf("ChecksumWholeFile on %lld bytes: %8.0f MB/s  %016llX\n", static_cast<long long>(size), size / best / 1e6,
           static_cast<unsigned long long>(checksum));
  }
  return 0;
}
