#pragma once
// The paths a record stands for: its full path and the depth of its folder.

// A new heap string of dir followed by name; the caller frees it with MemFree.
wchar_t* JoinPath(const wchar_t* dir, const wchar_t* name);
// Backslashes in a folder path, not counting a leading \\ or \\?\ (the long-path form of C:\a\ counts 2).
int CountPathDepth(const wchar_t* folder);
