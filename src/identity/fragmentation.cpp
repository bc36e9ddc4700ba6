#include "identity/fragmentation.h"

#include <windows.h>
#include <winioctl.h>

#include "base/memory.h"
#include "compare/kept_opens.h"
#include "seam/system_calls.h"

namespace {
constexpr DWORD kExtentBufferStep = 10240;

// Process-wide and grown only: a file with many extents widens it once for all later files. Only the main
// thread measures files, so the buffer needs no lock.
void* g_extentBuffer = nullptr;
DWORD g_extentBufferSize = kExtentBufferStep;

using FileInformationByHandleExFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
FileInformationByHandleExFn g_fileInformationByHandleEx = nullptr;
bool g_lookedUpFileInformation = false;

// Windows XP lacks GetFileInformationByHandleEx: look it up once, remember a miss.
FileInformationByHandleExFn FileInformationByHandleEx() {
  if (!g_lookedUpFileInformation) {
    g_fileInformationByHandleEx = reinterpret_cast<FileInformationByHandleExFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
    g_lookedUpFileInformation = true;
  }
  return g_fileInformationByHandleEx;
}

// No access rights are needed to query the layout, so a file open elsewhere can still be measured.
HANDLE OpenForQuery(const wchar_t* path) {
  return FileSystem.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}
}  // namespace

uint32_t CountFragments(const wchar_t* path) {
  if (!g_extentBuffer) g_extentBuffer = MemAlloc(g_extentBufferSize);
  if (GetFileSizeByPath(path) == 0) return 0;
  HANDLE file = OpenForQuery(path);
  if (file == INVALID_HANDLE_VALUE) return 0;
  STARTING_VCN_INPUT_BUFFER start = {};
  uint32_t extents = 0;
  for (;;) {
    DWORD returned = 0;
    if (DeviceIoControl(file, FSCTL_GET_RETRIEVAL_POINTERS, &start, sizeof start, g_extentBuffer,
                        g_extentBufferSize, &returned, nullptr)) {
      extents = static_cast<RETRIEVAL_POINTERS_BUFFER*>(g_extentBuffer)->ExtentCount;
      break;
    }
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) break;
    MemFree(g_extentBuffer);
    g_extentBufferSize += kExtentBufferStep;
    g_extentBuffer = MemAlloc(g_extentBufferSize);
  }
  CloseHandle(file);
  return extents;
}

bool AllocationSizeIsStandard() { return FileInformationByHandleEx() != nullptr; }

int64_t GetAllocationSize(const wchar_t* path) {
  if (FileInformationByHandleExFn query = FileInformationByHandleEx()) {
    // The matching thread mostly still keeps the file open from its checksum.
    HANDLE file = TakeKeptForChecksum(path);
    bool kept = file != INVALID_HANDLE_VALUE;
    if (!kept) file = OpenForQuery(path);
    if (file == INVALID_HANDLE_VALUE) return 0;
    FILE_STANDARD_INFO info = {};
    BOOL ok = query(file, FileStandardInfo, &info, sizeof info);
    if (kept)
      KeepForChecksum(path, file);
    else
      CloseHandle(file);
    if (ok) return info.AllocationSize.QuadPart;
  }
  return GetCompressedSize(path);
}

int64_t GetFileSizeByPath(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

int64_t GetCompressedSize(const wchar_t* path) {
  SetLastError(0);
  DWORD high = 0;
  DWORD low = GetCompressedFileSizeW(path, &high);
  if (GetLastError() != 0) return 0;
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}
