#include "fault_seam.h"

std::wstring FailPathSuffix;
DWORD FailError = ERROR_ACCESS_DENIED;

namespace {
bool Fails(LPCWSTR path) {
  std::wstring text = path;
  if (FailPathSuffix.size() > text.size()) return false;
  if (text.compare(text.size() - FailPathSuffix.size(), FailPathSuffix.size(), FailPathSuffix) != 0) return false;
  SetLastError(FailError);
  return true;
}
}  // namespace

BOOL WINAPI FailingDelete(LPCWSTR path) { return Fails(path) ? FALSE : DeleteFileW(path); }

BOOL WINAPI FailingSetAttributes(LPCWSTR path, DWORD attributes) {
  return Fails(path) ? FALSE : SetFileAttributesW(path, attributes);
}

BOOL WINAPI FailingCreateHardLink(LPCWSTR link, LPCWSTR existing, LPSECURITY_ATTRIBUTES security) {
  return Fails(link) ? FALSE : CreateHardLinkW(link, existing, security);
}

BOOL WINAPI FailingCopy(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  return Fails(to) ? FALSE : CopyFileW(from, to, failIfExists);
}

BOOL WINAPI FailingRemoveFolder(LPCWSTR path) { return Fails(path) ? FALSE : RemoveDirectoryW(path); }

HANDLE WINAPI FailingOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  return Fails(path) ? INVALID_HANDLE_VALUE
                     : CreateFileW(path, access, share, security, disposition, flags, templateFile);
}
