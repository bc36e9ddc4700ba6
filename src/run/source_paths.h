#pragma once
// The file specifications as absolute search folders and patterns, and the checks on their volumes.
// Path buffers hold kPathUnits UTF-16 units unless a capacity is given.
#include <cstddef>

#include "run/options.h"

void StripQuotes(wchar_t* spec);
// A specification without any backslash gets the current folder in front of it.
void PrefixCurrentFolder(wchar_t* spec);
// Both specifications become absolute paths; an empty FileSpec2 becomes FileSpec1.
void MakeAbsolute(wchar_t* spec1, wchar_t* spec2);
// The folder of a specification without its trailing backslash (C:\dir\file.txt, C:\dir and C:\dir\ give
// C:\dir; C:\ gives C:). False when it is empty or does not fit.
bool GetVolumeLookupPath(const wchar_t* spec, wchar_t* out, int capacity);
bool IsExistingFolder(const wchar_t* path);
// Appends c unless the text already ends with it; a text that would not fit its buffer stays as it is.
void AppendCharIfMissing(wchar_t* text, wchar_t c, size_t capacity = kPathUnits);
bool IsUncPath(const wchar_t* path);
void AddLongPathPrefix(wchar_t* path, size_t capacity = kPathUnits);
// Splits into a search folder (with a trailing backslash and, for local paths, the \\?\ prefix) and a pattern.
// False, with both outputs untouched, when there is no backslash or the folder would not fit.
bool SplitSpec(const wchar_t* spec, wchar_t* folder, wchar_t* pattern);
bool HasWildcard(const wchar_t* path);
// False for a path that is missing; a path that cannot be read for lack of rights exists.
bool PathExists(const wchar_t* path);
// Cuts a volume path to its root: \\?\Volume{...}\, \\server\share\ or X:\.
void VolumeRoot(wchar_t* path);
// For the hard-link actions: 0 when both volumes can hold links together, else the exit code after the message.
int CheckHardlinkVolumes(wchar_t* volumePath1, wchar_t* volumePath2);
// 1 when both search folders lie on one volume (a substituted drive counts as its target).
int IsSameVolume(const wchar_t* folder1, const wchar_t* folder2);
