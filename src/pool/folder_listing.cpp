#include "pool/folder_listing.h"

#include <cstdint>

#include "base/system_facts.h"

namespace {
constexpr uint32_t kFirstVersionWithBasicInfo = 0x0601;
}

HANDLE FindFirstEntry(const wchar_t* searchPattern, WIN32_FIND_DATAW* entry) {
  bool basic = SystemVersion.VersionCode >= kFirstVersionWithBasicInfo;
  return FindFirstFileExW(searchPattern, basic ? FindExInfoBasic : FindExInfoStandard, entry, FindExSearchNameMatch,
                          nullptr, basic ? FIND_FIRST_EX_LARGE_FETCH : 0);
}

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}
