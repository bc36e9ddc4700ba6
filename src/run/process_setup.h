#pragma once
// Recording the facts about the system and the program at start, and the process's own hardening.
#include <cstdint>

#include "base/system_facts.h"

void HardenDllSearch();
int LookupNtQueryObject();
int ReadProgramVersion(const wchar_t* programPath);
void ReadSystemVersion();
// Windows major and minor version as SystemVersion.VersionCode holds them: 10.0 gives 0x1000.
uint32_t MakeVersionCode(uint32_t major, uint32_t minor);
void DisableWow64Redirection();
void GetProgramFolder(const wchar_t* programPath);
