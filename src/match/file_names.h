#pragma once
// The names the matching walk has met of each file, so that a pair of two files is known whatever names reach
// them. Folder links, file links and pools that overlap let one file be met under several names, each with a
// record of its own; what is known of one of its names holds for the file. Names of one file have one size,
// so the walk keeps them for the size it is in only.
#include <cstdint>

#include "pool/file_record.h"

// Forgets the names met so far when the walk turns to another size; the names of one size are kept.
void KeepFileNamesOfSize(int64_t size);
// Tells the record's file to the walk once its identity is read; the first name met stands for the file.
void NoteFileName(FileRecord* record);
// The first name met of the record's file, or the record itself.
FileRecord* FirstNameOf(FileRecord* record);
// Frees what the names took; the walk calls it when it ends.
void ForgetFileNames();

// Known identical as files: directly, or through the first names of both files.
bool KnownIdenticalAsFiles(FileRecord* a, FileRecord* b);
// After a pair was found identical: its records, and the first names of its files, know each other.
void LinkIdenticalAsFiles(FileRecord* a, FileRecord* b);
