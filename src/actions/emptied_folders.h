#pragma once
// Removal of the folders that duplicate deletions leave empty.

// True only when the folder can be listed and holds no entry besides "." and "..".
bool IsFolderEmpty(const wchar_t* folder);
// Removes the folder, then its parents while each removal succeeds, printing each removed folder.
// True when the first folder was removed.
bool RemoveEmptiedFolders(const wchar_t* folder);
