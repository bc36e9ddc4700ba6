#include "match/name_key.h"

#include <windows.h>

#include "base/memory.h"

namespace {
uint32_t HashKey(const BYTE* key, int length) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (int i = 0; i < length; ++i) hash = (hash ^ key[i]) * 16777619u;
  return hash <= kNoNameKey ? hash + 2 : hash;
}
}  // namespace

uint32_t CaseBlindKey(const wchar_t* text) {
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  BYTE key[4096];
  int length = LCMapStringW(GetThreadLocale(), kFlags, text, -1, reinterpret_cast<wchar_t*>(key), sizeof key);
  if (length > 0) return HashKey(key, length);
  // A long folder path needs a larger key than a name.
  int needed = LCMapStringW(GetThreadLocale(), kFlags, text, -1, nullptr, 0);
  if (needed <= 0) return kNoNameKey;
  BYTE* large = static_cast<BYTE*>(MemAlloc(needed));
  length = LCMapStringW(GetThreadLocale(), kFlags, text, -1, reinterpret_cast<wchar_t*>(large), needed);
  uint32_t hash = length > 0 ? HashKey(large, length) : kNoNameKey;
  MemFree(large);
  return hash;
}

uint32_t NameKey(FileRecord* record) {
  if (!record->nameKey) record->nameKey = CaseBlindKey(record->name);
  return record->nameKey;
}
