#include "seam/file_system.h"

namespace {
void NoHook(const wchar_t*, const wchar_t*) {}

const FileSystemCalls kWin32Calls = {CreateFileW,         ReadFile,  SetFileInformationByHandle,
                                     SetFileAttributesW,  CreateHardLinkW, MoveFileExW,
                                     RemoveDirectoryW,    NtQueryInformationFile, NtQueryVolumeInformationFile,
                                     NoHook};
}

FileSystemCalls FileSystem = kWin32Calls;

void RestoreFileSystemCalls() { FileSystem = kWin32Calls; }
