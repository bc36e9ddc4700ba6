#pragma once
#include <cstdint>

#include "pool/file_record.h"

// Texts that are equal ignoring case (lstrcmpiW) have equal case-blind sort keys, so two texts whose key
// hashes differ cannot be equal that way. The hash is never 0, and this value marks a text whose key could
// not be made: it must always be compared for real.
constexpr uint32_t kNoNameKey = 1;
uint32_t CaseBlindKey(const wchar_t* text);
// The record's name key, made on first need and cached in the record.
uint32_t NameKey(FileRecord* record);
