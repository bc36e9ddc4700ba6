#pragma once
// In-place sort of fixed-size elements, used on record pools: equal sizes end up next to each other.
#include <cstddef>
#include <cstdint>

#include "pool/file_pool.h"
#include "pool/file_record.h"

using CompareFunction = int (*)(const void* a, const void* b);

// Drives the pivot choice; starts at 1 and is never reseeded, so runs repeat and pool 2 goes on from pool 1.
extern uint32_t SortSeed;

// Sorts ascending in place; the element size is a multiple of 4. Allocates nothing.
void SortRecords(void* base, size_t count, size_t elementSize, CompareFunction compare);
// Puts element pivotIndex where it belongs, smaller elements left of it, the rest right; returns its position.
size_t Partition(void* base, size_t count, size_t elementSize, CompareFunction compare, size_t pivotIndex);
// Stable insertion sort; with checking set, every swap beeps (a correct sort never makes one).
void InsertionSort(void* base, size_t count, size_t elementSize, CompareFunction compare, bool checking);

// Size first, then shallower folder, then folder, then name. Caches pathDepth in both records. Records whose
// index holds their folder's place (RankFolders) are told apart by it when their places differ.
int CompareRecords(const void* a, const void* b);
// Sorts a pool's records with CompareRecords, their folders placed first, and numbers them in their new order.
void SortPool(FilePool* pool);
