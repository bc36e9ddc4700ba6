#include "pool/ptr_list.h"

#include <cstring>

#include "base/memory.h"

namespace {
constexpr uint32_t kGrowth = 16;
}

void PtrListInit(PtrList* list) {
  list->items = static_cast<FileRecord**>(MemAlloc(kGrowth * sizeof(FileRecord*)));
  list->count = 0;
  list->capacity = kGrowth;
}

int PtrListAdd(PtrList* list, FileRecord* record) {
  for (int32_t i = 0; i < list->count; ++i)
    if (list->items[i] == record) return 0;
  if (static_cast<uint32_t>(list->count) == list->capacity) {
    uint32_t capacity = list->capacity + kGrowth;
    FileRecord** items = static_cast<FileRecord**>(MemAlloc(capacity * sizeof(FileRecord*)));
    if (list->count) memcpy(items, list->items, list->count * sizeof(FileRecord*));
    MemFree(list->items);
    list->items = items;
    list->capacity = capacity;
  }
  list->items[list->count++] = record;
  return 1;
}

void PtrListClear(PtrList* list) {
  MemFree(list->items);
  list->items = nullptr;
  list->count = 0;
  list->capacity = 0;
}
