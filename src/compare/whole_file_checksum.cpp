#include "compare/whole_file_checksum.h"

#include "base/long_path.h"
#include "compare/checksum_buffers.h"
#include "compare/checksum_file.h"
#include "compare/kept_opens.h"
#include "compare/read_ahead_reader.h"
#include "console/control.h"
#include "console/output.h"
#include "format/error_names.h"

uint64_t ChecksumWholeFile(const wchar_t* path, int64_t size, uint32_t* errorCode) {
  HANDLE file = OpenForChecksum(path);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    *errorCode = error;
    // A file gone since the scan is no news worth a line.
    if (error == ERROR_FILE_NOT_FOUND) return 0;
    ConsolePrint(L"error %S opening ", ErrorName(error));
    ConsolePrintPath(L"'%s'\n", DisplayPath(path));
    return 0;
  }

  ReadAheadReader reader;
  reader.Start(size);
  unsigned char* buffer = TakeReadBuffer();
  bool readToEnd = false;
  for (int64_t left = size; !CancelRequested;) {
    DWORD error;
    uint32_t asked = PieceToAsk(left);
    uint32_t delivered = ReadPiece(file, buffer, asked, &error);
    if (!delivered) {
      if (error) {
        ConsolePrint(L"error %S reading ", ErrorName(error));
        ConsolePrintPath(L"'%s'\n", DisplayPath(path));
      }
      readToEnd = !error;
      break;
    }
    reader.Feed(buffer, delivered);
    left -= delivered;
    // A read of a file that comes short has met its end, as the byte proof takes it: a small file is one read.
    if (delivered < asked) {
      readToEnd = true;
      break;
    }
  }
  uint64_t checksum = reader.Finish();
  // The byte proof of a pair this file makes reads it again next, mostly.
  if (readToEnd)
    KeepForChecksum(path, file);
  else
    CloseHandle(file);
  if (checksum == 0) ConsolePrint(L"oops, crc is 0\n");
  reader.Close();
  return checksum;
}
