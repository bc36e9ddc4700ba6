#pragma once
// A source folder expressed on its volume's GUID name, to tell whether its volume is valid and which it is.

// 1 with out (capacity units) holding \\?\Volume{GUID}\folder, or the folder itself (a network path, or
// a device without a volume name); 0 when the folder cannot be opened or its object name cannot be read
// or does not fit.
int GetVolumePath(const wchar_t* folder, wchar_t* out, int capacity);
