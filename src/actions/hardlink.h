#pragma once
// Replacing a duplicate by a hard link to the kept file, and deleting a file through the handle that holds it.
#include <windows.h>

#include <cstdint>

#include "actions/target_choice.h"
#include "pool/file_record.h"

// Marks a held file for deletion, clearing its read-only bit first; it goes when the handle is closed. A
// failure leaves the attributes as they were and the thread's last error that of the failing call.
bool MarkHeldFileDeleted(HANDLE file);
// Replaces the target's name by a link to the kept file. The target is held (target.held) or held here and
// compared with the kept file first; it is moved aside under its hold, so that no other program can write it
// between its byte check and its removal, and a failure puts it back or says where it is. The kept file stays
// held throughout. Quiet suppresses the messages that lose nothing. Returns 1 when the link was made.
int ReplaceByHardlink(const DuplicateFile& target, const DuplicateFile& kept, int quiet);
// The hard-link action on a chosen target: checks the link limit, moves the target's other names over to
// the kept file, then replaces the target. Returns 0 when the limit refuses the pair.
int LinkDuplicate(const DuplicateFile& target, const DuplicateFile& kept, int64_t* redundant);
