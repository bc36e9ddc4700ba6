#pragma once
// Facts about the system and the program, recorded once at start by the process set-up.
#include <cstdint>

struct SystemVersionRecord {
  uint32_t VersionCode;  // major and minor as four decimal digits in 4-bit fields: 0x0601 is Windows 7
  int32_t IsWow64;       // a 32-bit process on 64-bit Windows
};

struct ProgramVersionRecord {
  uint8_t major, minor, build, revision;  // low byte of each part of the file version
  wchar_t text[24];                       // "1.2.3", or "1.2.3.4" with a revision; empty when unreadable
};

extern SystemVersionRecord SystemVersion;
extern ProgramVersionRecord ProgramVersion;
extern wchar_t ProgramFolder[260];
extern void* NtQueryObjectEntry;
