#include "pool/record_changes.h"

#include <cstring>

#include "base/memory.h"

namespace {
// The matching runs on one thread only.
FileRecord** g_changed = nullptr;
uint32_t g_count = 0;
uint32_t g_capacity = 0;
}  // namespace

void NoteRecordChanged(FileRecord* record) {
  if (g_count == g_capacity) {
    uint32_t capacity = g_capacity ? g_capacity * 2 : 64;
    FileRecord** larger = static_cast<FileRecord**>(MemAlloc(capacity * sizeof(FileRecord*)));
    if (g_count) memcpy(larger, g_changed, g_count * sizeof(FileRecord*));
    MemFree(g_changed);
    g_changed = larger;
    g_capacity = capacity;
  }
  g_changed[g_count++] = record;
}

FileRecord* const* ChangedRecords(uint32_t* count) {
  *count = g_count;
  return g_changed;
}

void ForgetChangedRecords() { g_count = 0; }

void ReleaseChangedRecords() {
  MemFree(g_changed);
  g_changed = nullptr;
  g_count = g_capacity = 0;
}
