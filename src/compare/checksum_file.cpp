#include "compare/checksum_file.h"

#include "seam/file_system.h"

HANDLE OpenForChecksum(const wchar_t* path) {
  return FileSystem.Open(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

uint32_t ReadPiece(HANDLE file, unsigned char* buffer, uint32_t bytes, DWORD* error) {
  *error = 0;
  if (!buffer) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  SetLastError(0);
  DWORD delivered = 0;
  if (FileSystem.Read(file, buffer, bytes, &delivered, nullptr) && delivered) return delivered;
  *error = GetLastError();
  return 0;
}
