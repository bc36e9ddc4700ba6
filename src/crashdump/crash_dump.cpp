#include "crashdump/crash_dump.h"

#include "console/output.h"

// First cut: the exception is named; the dump file comes with the crash-dump writer.
LONG WINAPI CrashDumpFilter(EXCEPTION_POINTERS* exception) {
  ConsolePrintA("Exception 0x%08X at 0x%p!\n", exception->ExceptionRecord->ExceptionCode,
                exception->ExceptionRecord->ExceptionAddress);
  return EXCEPTION_EXECUTE_HANDLER;
}
