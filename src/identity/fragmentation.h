#pragma once
// How a file lies on its volume: its fragment count and the bytes it occupies. Each is 0 when unknown.
#include <cstdint>

// Extents of the file's data; 0 for an empty file or one that cannot be opened or queried.
uint32_t CountFragments(const wchar_t* path);
// Bytes allocated on the volume; falls back to the compressed size when the standard information is missing.
int64_t GetAllocationSize(const wchar_t* path);
// True when GetAllocationSize reads the standard information, so that the AllocationSize of any query of it
// on the file is the same measure.
bool AllocationSizeIsStandard();
int64_t GetFileSizeByPath(const wchar_t* path);
int64_t GetCompressedSize(const wchar_t* path);
