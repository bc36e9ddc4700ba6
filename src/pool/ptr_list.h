#pragma once
#include "pool/file_record.h"

void PtrListInit(PtrList* list);
// 0 when the pointer is already held, else appends it and returns 1.
int PtrListAdd(PtrList* list, FileRecord* record);
void PtrListClear(PtrList* list);
