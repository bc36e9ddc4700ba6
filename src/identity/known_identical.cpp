#include "identity/known_identical.h"

#include <initializer_list>

#include "base/memory.h"
#include "identity/record_identity.h"
#include "pool/ptr_list.h"

int IsKnownIdentical(const PtrList* list, FileRecord* record, int deep) {
  if (!list) return 0;
  for (int32_t i = 0; i < list->count; ++i)
    if (list->items[i] == record) return 1;
  if (HasFileIndex(record))
    for (int32_t i = 0; i < list->count; ++i)
      if (SameFile(list->items[i], record)) return 1;
  if (deep)
    for (int32_t i = 0; i < list->count; ++i)
      if (IsKnownIdentical(record->comparedWith, list->items[i], 0)) return 1;
  return 0;
}

void LinkIdentical(FileRecord* a, FileRecord* b) {
  for (FileRecord* record : {a, b}) {
    if (record->comparedWith) continue;
    record->comparedWith = static_cast<PtrList*>(MemAlloc(sizeof(PtrList)));
    PtrListInit(record->comparedWith);
  }
  PtrListAdd(a->comparedWith, b);
  PtrListAdd(b->comparedWith, a);
}
