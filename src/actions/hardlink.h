#pragma once
// Replacing a duplicate by a hard link to the kept file, with the repair path when the link fails.
#include <windows.h>

#include <cstdint>

#include "actions/target_choice.h"
#include "pool/file_record.h"

constexpr uint32_t kMaxLinkCount = 1024;  // the most names one NTFS file can have

// Deletes a file even when it is read-only. A failed delete leaves the attributes as they were and the
// thread's last error that of the failing call.
bool ForceDelete(const wchar_t* path);
// Merges the saved attributes (read-only, hidden, system, archive, not indexed) into the file's and sets the
// saved times.
bool RestoreAttributesAndTimes(const wchar_t* path, const WIN32_FILE_ATTRIBUTE_DATA* saved);
// Deletes the target and links its name to the kept file; when the link fails the kept file is copied back
// under the name. Quiet suppresses every message. Returns 1 when the link was made.
int ReplaceByHardlink(FileRecord* target, FileRecord* kept, const wchar_t* targetPath, const wchar_t* keptPath,
                      uint32_t number, int quiet);
// The hard-link action on a chosen target: checks the link limit, moves the target's other names over to
// the kept file, then replaces the target. Returns 0 when the limit refuses the pair.
int LinkDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant);
