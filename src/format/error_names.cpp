#include "format/error_names.h"

#include <windows.h>

namespace {
struct ErrorWord {
  uint32_t code;
  const char* word;
};

const ErrorWord kErrorWords[] = {
    {2, "FILE_NOT_FOUND"},
    {3, "PATH_NOT_FOUND"},
    {5, "ACCESS_DENIED"},
    {19, "WRITE_PROTECT"},
    {21, "NOT_READY"},
    {23, "CRC"},
    {27, "SECTOR_NOT_FOUND"},
    {32, "SHARING_VIOLATION"},
    {33, "LOCK_VIOLATION"},
    {64, "NETNAME_DELETED"},
    {112, "DISK_FULL"},
    {121, "TIMEOUT"},
    {183, "ERROR_ALREADY_EXISTS"},
    {206, "FILENAME_EXCED_RANGE"},
    {1006, "FILE_INVALID"},
    {1110, "MEDIA_CHANGED"},
    {1112, "NO_MEDIA_IN_DRIVE"},
    {1117, "IO_DEVICE"},
    {1127, "DISK_OPERATION_FAILED"},
    {1128, "DISK_RESET_FAILED"},
    {1450, "NO_SYSTEM_RESOURCES"},
    {1920, "CANT_ACCESS_FILE"},
    {1921, "CANT_RESOLVE_FILENAME"},
};

// Checksum threads name errors while the main thread does: each thread gets its own text.
thread_local char g_unknownCode[64];
}  // namespace

const char* ErrorName(uint32_t code) {
  for (const ErrorWord& entry : kErrorWords)
    if (entry.code == code) return entry.word;
  wsprintfA(g_unknownCode, "%u", code);
  return g_unknownCode;
}

const char* LastErrorName() { return ErrorName(GetLastError()); }
