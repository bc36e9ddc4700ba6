#include "crashdump/crash_dump.h"

#include <dbghelp.h>

#include "console/output.h"
#include "console/status_line.h"

namespace {
// Data segments, handles, unloaded modules, private read-write memory, full memory info, thread info:
// enough to inspect the run's state without a full memory dump.
constexpr DWORD kDumpType = 0x1A25;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// The platform word as 8-bit text; it is plain ASCII.
void PlatformWord(char* word, int size) {
  const wchar_t* wide = ZAV_PLATFORM_WORD;
  int i = 0;
  for (; wide[i] && i < size - 1; ++i) word[i] = static_cast<char>(wide[i]);
  word[i] = 0;
}

// The program folder as an 8-bit path; 0 when it does not fit or has characters the code page lacks (a
// best-fit stand-in could name some other, existing folder).
int ProgramFolderInCodePage(char* folder) {
  if (GetACP() == CP_UTF8)
    return WideCharToMultiByte(CP_UTF8, 0, ProgramFolder, -1, folder, kDumpPathChars, nullptr, nullptr) != 0;
  BOOL lossy = FALSE;
  int length =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, ProgramFolder, -1, folder, kDumpPathChars, nullptr, &lossy);
  return length != 0 && !lossy;
}

// Beside the program; skipped when the folder is unknown or its path cannot be built.
void BuildProgramFolderPath(char* path, const char* name) {
  path[0] = 0;
  char folder[kDumpPathChars];
  if (ProgramFolder[0] == 0 || !ProgramFolderInCodePage(folder)) return;
  JoinDumpPath(path, folder, "\\", name);
}

void BuildTempFolderPath(char* path, const char* name) {
  path[0] = 0;
  char folder[kDumpPathChars];
  DWORD length = GetTempPathA(kDumpPathChars, folder);
  if (length == 0 || length >= static_cast<DWORD>(kDumpPathChars)) return;
  JoinDumpPath(path, folder, "", name);
}

HANDLE CreateDumpFile(const char* path) {
  if (path[0] == 0) return INVALID_HANDLE_VALUE;
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

void FormatDumpName(char* name, const ProgramVersionRecord& version, const char* platform) {
  wsprintfA(name, "ZAV_%u.%u.%u.%u_%s.dmp", version.major, version.minor, version.build, version.revision, platform);
}

int JoinDumpPath(char* path, const char* folder, const char* separator, const char* name) {
  path[0] = 0;
  if (lstrlenA(folder) + lstrlenA(separator) + lstrlenA(name) >= kDumpPathChars) return 0;
  wsprintfA(path, "%s%s%s", folder, separator, name);
  return 1;
}

HMODULE LoadSystemDll(const char* name) {
  char path[kDumpPathChars];
  UINT length = GetSystemDirectoryA(path, kDumpPathChars);
  if (length == 0 || length >= static_cast<UINT>(kDumpPathChars)) return nullptr;
  if (length + 1 + lstrlenA(name) >= kDumpPathChars) return nullptr;
  wsprintfA(path + length, "\\%s", name);
  return LoadLibraryA(path);
}

LONG WINAPI CrashDumpFilter(EXCEPTION_POINTERS* exception) {
  StartCleanLine();
  ConsolePrintA("Exception 0x%08X at 0x%p!\n", exception->ExceptionRecord->ExceptionCode,
                exception->ExceptionRecord->ExceptionAddress);

  char platform[16];
  char name[64];
  char programFolderPath[kDumpPathChars];
  char tempFolderPath[kDumpPathChars];
  PlatformWord(platform, sizeof platform);
  FormatDumpName(name, ProgramVersion, platform);
  BuildProgramFolderPath(programFolderPath, name);
  BuildTempFolderPath(tempFolderPath, name);

  HMODULE dbghelp = LoadSystemDll("DBGHELP.DLL");
  if (!dbghelp) {
    ConsolePrintA("cannot load dbghelp.dll -> no crashdump\n");
    return EXCEPTION_EXECUTE_HANDLER;
  }
  auto writeDump = reinterpret_cast<MiniDumpWriteDumpFn>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
  if (!writeDump) {
    ConsolePrintA("dbghelp.dll too old, need V5.x or newer\n");
    FreeLibrary(dbghelp);
    return EXCEPTION_EXECUTE_HANDLER;
  }

  const char* path = programFolderPath;
  HANDLE file = CreateDumpFile(path);
  if (file == INVALID_HANDLE_VALUE) {
    path = tempFolderPath;
    file = CreateDumpFile(path);
  }
  if (file == INVALID_HANDLE_VALUE) {
    FreeLibrary(dbghelp);
    return EXCEPTION_EXECUTE_HANDLER;
  }

  MINIDUMP_EXCEPTION_INFORMATION information;
  information.ThreadId = GetCurrentThreadId();
  information.ExceptionPointers = exception;
  information.ClientPointers = FALSE;
  if (writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, static_cast<MINIDUMP_TYPE>(kDumpType), &information,
                nullptr, nullptr))
    ConsolePrintA("MiniDump written to %s\n", path);
  else
    ConsolePrintA("writing MiniDump failed with err=0x%X\n", GetLastError());
  CloseHandle(file);
  FreeLibrary(dbghelp);
  return EXCEPTION_EXECUTE_HANDLER;
}
