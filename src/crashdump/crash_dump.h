#pragma once
#include <windows.h>

// Reports an unhandled exception and writes a minidump; the process then ends.
LONG WINAPI CrashDumpFilter(EXCEPTION_POINTERS* exception);
