#include "base/system_facts.h"

SystemVersionRecord SystemVersion;
ProgramVersionRecord ProgramVersion;
wchar_t ProgramFolder[260];
void* NtQueryObjectEntry = nullptr;
