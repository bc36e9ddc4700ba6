#pragma once
// Which physical drive and which volume a source folder lies on.

// 1 when both search folders lie on one physical drive (then their files are read one after the other).
// Prints the "Files are located on " line with the verdict.
int IsSamePhysicalDrive(const wchar_t* path1, const wchar_t* path2);
// The folder as a path on its volume; 0 when the folder cannot be opened.
int GetVolumePath(const wchar_t* folder, wchar_t* out, int capacity);
// A path on a substituted drive letter rewritten to the path it stands for; 0 when it is not on one.
int ResolveSubstDrive(const wchar_t* path, wchar_t* out);
