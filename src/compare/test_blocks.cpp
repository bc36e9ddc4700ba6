#include "compare/test_blocks.h"

#include <cwchar>

#include "base/long_path.h"
#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "compare/kept_opens.h"
#include "compare/read_ahead_reader.h"
#include "compare/whole_file_checksum.h"
#include "console/control.h"
#include "console/output.h"
#include "format/error_names.h"

namespace {
int64_t RoundUpToPage(int64_t offset) { return (offset + 4095) & ~static_cast<int64_t>(4095); }

// One message with the path inside; a path too long for one bounded message goes out apart, uncut.
void ReportFileError(const wchar_t* format, const wchar_t* formatApart, DWORD error, const wchar_t* path) {
  const wchar_t* shown = DisplayPath(path);
  if (wcslen(shown) < 900) {
    ConsolePrint(format, ErrorName(error), shown);
    return;
  }
  ConsolePrint(formatApart, ErrorName(error));
  ConsolePrintPath(L"'%s'\n", shown);
}
}  // namespace

bool ChecksumCoversWholeFile(int64_t size, int64_t testSize) { return testSize >= size || testSize >= (size >> 2); }

void TestBlockRange(int64_t size, int64_t testSize, int block, int64_t* start, int64_t* length) {
  int64_t piece = testSize < kReadPiece ? testSize : kReadPiece;
  *start = block == 0 ? 0 : RoundUpToPage(block == 1 ? (size - testSize) / 2 : size - testSize);
  int64_t wanted = (testSize + piece - 1) / piece * piece;
  *length = size - *start < wanted ? size - *start : wanted;
}

uint64_t ChecksumTestBlocks(const wchar_t* path, int64_t size, int64_t testSize, uint32_t* errorCode) {
  // Three blocks would cover most of the file: read it whole.
  if (testSize >= (size >> 2)) return ChecksumWholeFile(path, size, errorCode);

  HANDLE file = OpenForChecksum(path);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    *errorCode = error;
    ReportFileError(L"error %S opening '%s'\n", L"error %S opening ", error, path);
    return 0;
  }
  unsigned char* buffer = TakeReadBuffer();
  uint32_t pieceLength = testSize < kReadPiece ? static_cast<uint32_t>(testSize) : kReadPiece;
  int64_t blockStart[3], blockLength;
  for (int block = 0; block < 3; ++block) TestBlockRange(size, testSize, block, &blockStart[block], &blockLength);
  ReadAheadReader reader;
  reader.Start(size);

  int block = 0;
  int64_t readInBlock = 0;
  bool readAll = false;
  while (!CancelRequested) {
    DWORD error;
    uint32_t delivered = ReadPiece(file, buffer, pieceLength, &error);
    if (!delivered) {
      if (error) ReportFileError(L"error %S reading '%s'\n", L"error %S reading ", error, path);
      readAll = !error;
      break;
    }
    reader.Feed(buffer, delivered);
    readInBlock += delivered;
    if (readInBlock < testSize) continue;
    if (block == 2) {
      readAll = true;
      break;
    }
    ++block;
    readInBlock = 0;
    LARGE_INTEGER offset;
    offset.QuadPart = blockStart[block];
    SetFilePointerEx(file, offset, nullptr, FILE_BEGIN);
  }
  uint64_t checksum = reader.Finish();
  // The byte proof of a pair this file makes reads it again next, mostly.
  if (readAll)
    KeepForChecksum(path, file);
  else
    CloseHandle(file);
  reader.Close();
  return checksum;
}
