#pragma once
#include "pool/file_record.h"

// Lists one folder (ending in a backslash, or with room for one) into the pool, and its subfolders.
void ScanFolder(FilePool* pool, wchar_t* folder);
// 1 when the file name matches the pattern of '*' and '?'.
int MatchWildcard(const wchar_t* name, const wchar_t* pattern);
// The path without a leading \\?\ for messages.
const wchar_t* DisplayPath(const wchar_t* path);
