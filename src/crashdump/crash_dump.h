#pragma once
// The last resort for an exception nobody handles: name it on the console and leave a minidump behind.
#include <windows.h>

#include "base/system_facts.h"

// Path buffers of the dump writer, in 8-bit characters with the terminating NUL.
constexpr int kDumpPathChars = 260;

// Reports the exception, writes a minidump beside the program (ProgramFolder) or in the temp folder, and
// returns EXCEPTION_EXECUTE_HANDLER so that the process ends. Tests point ProgramFolder at a folder of their own.
LONG WINAPI CrashDumpFilter(EXCEPTION_POINTERS* exception);

// Loads a DLL by its full path in the system folder only, so no planted copy elsewhere can be picked up.
// Null when the path does not fit or the load fails.
HMODULE LoadSystemDll(const char* name);

// "ZAV_1.2.3.4_Win32.dmp" for a version and a platform word; the buffer holds at least 64 characters.
void FormatDumpName(char* name, const ProgramVersionRecord& version, const char* platform);
// folder + separator + name into a buffer of kDumpPathChars. A path that would not fit is not cut (a cut path
// could name some other file): the buffer is left empty and 0 returned.
int JoinDumpPath(char* path, const char* folder, const char* separator, const char* name);
