#include "compare/checksum_file.h"

#include "seam/system_calls.h"

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

int64_t ReadAt(HANDLE file, int64_t offset, unsigned char* buffer, uint32_t bytes) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return -1;
  DWORD delivered = 0;
  if (!FileSystem.Read(file, buffer, bytes, &delivered, nullptr)) return -1;
  return delivered;
}
