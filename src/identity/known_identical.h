#pragma once
// The pairs already found identical in this run, so that no pair is compared or reported twice.
#include "pool/file_record.h"

// 1 when the record is already known identical with the owner of the list; deep also follows common partners.
int IsKnownIdentical(const PtrList* list, FileRecord* record, int deep);
// Already known identical, seen from either record.
inline bool KnownIdenticalEitherWay(FileRecord* a, FileRecord* b) {
  return IsKnownIdentical(a->comparedWith, b, 1) || IsKnownIdentical(b->comparedWith, a, 1);
}
// Enters each record in the other's list of identical records.
void LinkIdentical(FileRecord* a, FileRecord* b);
// Both checksums known and different: the contents differ, so the two are neither known identical nor two
// names of one file, and the bookkeeping need not be asked. Long runs of equal sizes meet this most often.
inline bool ChecksumsDiffer(const FileRecord* a, const FileRecord* b) {
  return a->checksum && b->checksum && a->checksum != b->checksum;
}
