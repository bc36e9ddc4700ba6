#pragma once
#include <windows.h>

#include <cstdint>

#include "pool/file_pool.h"
#include "pool/file_record.h"

// The deepest folder level listed below a scan's root, and the longest folder path listed.
constexpr int kMaxScanDepth = 1024;
constexpr int kMaxScanPathLength = 32508;

// Fills the zero-filled pool block, reserves and commits its first step, and scans rootDir into it:
// on a new thread when threadHandle is given (the caller waits for it and closes it), else right here.
FilePool* CreateFilePool(FilePool* pool, const ScanRequest& request, HANDLE* threadHandle);
// Lists one folder (a path that may lack its trailing backslash) into the pool, and its subfolders when the
// pool recurses; linked folders wait for ListLinkedFolders, which CreateFilePool calls after it. Returns 0
// when the whole scan has to stop because the pool is full.
int ScanFolder(FilePool* pool, const wchar_t* folder);
// 1 when the file name matches the pattern of '*' and '?'.
int MatchWildcard(const wchar_t* name, const wchar_t* pattern);
// A junction or folder symbolic link: a reparse point whose tag has any of the bits 0xA000000F.
bool IsLinkedFolder(uint32_t attributes, uint32_t reparseTag);
