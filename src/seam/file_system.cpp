#include "seam/file_system.h"

namespace {
const FileSystemCalls kWin32Calls = {CreateFileW, ReadFile,   DeleteFileW, SetFileAttributesW, CreateHardLinkW,
                                     CopyFileW,   MoveFileW, RemoveDirectoryW};
}

FileSystemCalls FileSystem = kWin32Calls;

void RestoreFileSystemCalls() { FileSystem = kWin32Calls; }
