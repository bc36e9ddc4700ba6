#pragma once
// Facts about the system and the program, recorded once at start, and the process's own hardening.
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

void HardenDllSearch();
int LookupNtQueryObject();
int ReadProgramVersion(const wchar_t* programPath);
void ReadSystemVersion();
// Windows major and minor version as SystemVersion.VersionCode holds them: 10.0 gives 0x1000.
uint32_t MakeVersionCode(uint32_t major, uint32_t minor);
void DisableWow64Redirection();
void GetProgramFolder(const wchar_t* programPath);
