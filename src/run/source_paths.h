#pragma once
// The file specifications as absolute search folders and patterns, and the checks on their volumes.

void StripQuotes(wchar_t* spec);
// Both specifications become absolute paths; an empty FileSpec2 becomes FileSpec1.
void MakeAbsolute(wchar_t* spec1, wchar_t* spec2);
// The folder of a specification without its trailing backslash (C:\dir\file.txt, C:\dir and C:\dir\ give
// C:\dir; C:\ gives C:). False when it is empty or does not fit.
bool GetVolumeLookupPath(const wchar_t* spec, wchar_t* out, int capacity);
bool IsExistingFolder(const wchar_t* path);
void AppendCharIfMissing(wchar_t* text, wchar_t c);
bool HasLongPathPrefix(const wchar_t* path);
bool IsUncPath(const wchar_t* path);
void AddLongPathPrefix(wchar_t* path);
// Splits into a search folder (with a trailing backslash and, for local paths, the \\?\ prefix) and a pattern.
bool SplitSpec(const wchar_t* spec, wchar_t* folder, wchar_t* pattern);
bool HasWildcard(const wchar_t* path);
bool PathExists(const wchar_t* path);
// Cuts a volume path to its root: \\?\Volume{...}\, \\server\share\ or X:\.
void VolumeRoot(wchar_t* path);
// For the hard-link actions: 0 when both volumes can hold links together, else the exit code after the message.
int CheckHardlinkVolumes(wchar_t* volumePath1, wchar_t* volumePath2);
int IsSameVolume(const wchar_t* folder1, const wchar_t* folder2);
