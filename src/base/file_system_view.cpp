#include "base/file_system_view.h"

#include <windows.h>

namespace {
using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
// Set once redirection is off on the main thread, before any other thread is started: then read only.
DisableRedirectionFn DisableOnNewThreads = nullptr;
}  // namespace

int SwitchOffRedirectionOnEveryThread() {
  auto disable = reinterpret_cast<DisableRedirectionFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64DisableWow64FsRedirection")));
  PVOID previous = nullptr;
  if (!disable || !disable(&previous)) return 0;
  DisableOnNewThreads = disable;
  return 1;
}

void TakeProgramFileSystemView() {
  PVOID previous = nullptr;
  if (DisableOnNewThreads) DisableOnNewThreads(&previous);
}
