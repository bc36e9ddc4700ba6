// Temporary stand-in for the link-group bookkeeping until match/link_groups.cpp exists.
#include <windows.h>

#include "match/link_groups.h"
#include "pool/memory.h"

uint32_t GetFileIdentity(const wchar_t* path, uint32_t* indexLow, uint32_t* indexHigh) {
  HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!ok) return 0;
  *indexLow = info.nFileIndexLow;
  *indexHigh = info.nFileIndexHigh;
  return info.nNumberOfLinks;
}

uint32_t GetLinkCount(const wchar_t* path) {
  uint32_t low = 0, high = 0;
  return GetFileIdentity(path, &low, &high);
}

void AddToLinkGroup(FileRecord* head, FileRecord* record) {
  if (!head->groupMembers) {
    head->groupMembers = static_cast<FileRecord**>(MemAlloc(4 * sizeof(FileRecord*)));
    head->groupCapacity = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
    head->groupCount = static_cast<uint32_t*>(MemAlloc(sizeof(uint32_t)));
    *head->groupCapacity = 4;
    head->groupMembers[(*head->groupCount)++] = head;
  } else if (*head->groupCount == *head->groupCapacity) {
    FileRecord** grown = static_cast<FileRecord**>(MemAlloc((*head->groupCapacity + 4) * sizeof(FileRecord*)));
    for (uint32_t i = 0; i < *head->groupCount; ++i) grown[i] = head->groupMembers[i];
    MemFree(head->groupMembers);
    for (uint32_t i = 0; i < *head->groupCount; ++i) grown[i]->groupMembers = grown;
    *head->groupCapacity += 4;
  }
  head->groupMembers[(*head->groupCount)++] = record;
  record->groupMembers = head->groupMembers;
  record->groupCount = head->groupCount;
  record->groupCapacity = head->groupCapacity;
  record->linkState = 3;
  ++*head->linkCount;
}
