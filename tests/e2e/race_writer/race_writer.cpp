// A program that races ZAV for a file: it opens the file for writing again and again, counts the times
// another process holds it against writers, and once that has happened `holds` times, writes after `tries`
// more opens that succeed. It says what it did on stdout, so that the test can look for the byte afterwards.
//
//   race_writer PATH HOLDS TRIES OFFSET STOPFILE
//
// It writes one byte 0xFF at OFFSET, or appends it for -1. It ends once it has written, or when STOPFILE exists.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) return 2;
  const wchar_t* path = argv[1];
  int holds = _wtoi(argv[2]), tries = _wtoi(argv[3]);
  long long offset = _wtoi64(argv[4]);
  const wchar_t* stop = argv[5];
  std::printf("watching\n");
  std::fflush(stdout);
  int held = 0, opened = 0;
  bool holding = false;
  while (GetFileAttributesW(stop) == INVALID_FILE_ATTRIBUTES) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      // A name missing for a moment (moved aside, or deleted) is not a hold.
      if (GetLastError() == ERROR_SHARING_VIOLATION && !holding) ++held, holding = true;
      continue;
    }
    holding = false;
    if (held < holds || opened++ < tries) {
      CloseHandle(file);
      continue;
    }
    LARGE_INTEGER at;
    at.QuadPart = offset < 0 ? 0 : offset;
    SetFilePointerEx(file, at, &at, offset < 0 ? FILE_END : FILE_BEGIN);
    DWORD written = 0;
    WriteFile(file, "\xFF", 1, &written, nullptr);
    CloseHandle(file);
    std::printf("wrote %lld %lu\n", at.QuadPart, written);
    return 0;
  }
  std::printf("stopped\n");
  return 0;
}
