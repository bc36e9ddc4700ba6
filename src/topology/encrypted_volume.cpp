#include "topology/encrypted_volume.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "base/memory.h"
#include "seam/system_calls.h"
#include "topology/wide_text.h"

namespace {
constexpr int kVolumeGuidNameUnits = 44;  // Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}

// The drive letter that the driver gave a volume known only by its Volume{GUID} name.
wchar_t LetterOfVolumeName(const wchar_t* path) {
  const wchar_t* name = wcsstr(path, L"Volume{");
  if (!name || wcslen(name) < size_t(kVolumeGuidNameUnits)) return 0;
  wchar_t guidName[kVolumeGuidNameUnits + 1];
  wmemcpy(guidName, name, kVolumeGuidNameUnits);
  guidName[kVolumeGuidNameUnits] = 0;
  wchar_t target[260] = {};
  if (!Devices.QueryDosDevice(guidName, target, 260)) return 0;
  target[259] = 0;
  const int prefixLength = 23;  // both prefixes below
  if (!StartsWithNoCase(target, L"\\Device\\TrueCryptVolume") && !StartsWithNoCase(target, L"\\Device\\VeraCryptVolume"))
    return 0;
  return target[prefixLength];
}

struct HostDeviceKind {
  const wchar_t* prefix;
  int32_t base;
};
const HostDeviceKind kHostDeviceKinds[] = {
    {L"\\Device\\Harddisk", 0}, {L"\\Device\\CdRom", 0x10000}, {L"\\Device\\Floppy", 0x20000}};

// The identity of a host device named by the driver (\Device\Harddisk1\Partition2 is disk 1); false for a
// device of another kind, and for a name without a number (\Device\HarddiskVolume3 is no disk number).
bool IdentityOfHostDevice(const wchar_t* host, int32_t* identity) {
  for (const HostDeviceKind& kind : kHostDeviceKinds) {
    if (!StartsWithNoCase(host, kind.prefix)) continue;
    const wchar_t* digits = host + wcslen(kind.prefix);
    if (*digits < L'0' || *digits > L'9') return false;
    int32_t number = 0;
    for (const wchar_t* p = digits; *p >= L'0' && *p <= L'9'; ++p) number = (number * 10 + (*p - L'0')) & 0xFFFF;
    *identity = kind.base + number;
    return true;
  }
  return false;
}
}  // namespace

int GetTrueCryptHostPath(wchar_t letter, wchar_t* out) {
  out[0] = 0;
  if (!IsAsciiLetter(letter)) return 0;
  int index = (letter & ~0x20) - L'A';
  HANDLE driver = Devices.Open(L"\\\\.\\TrueCrypt", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
  if (driver == INVALID_HANDLE_VALUE) return 0;
  BYTE* list = static_cast<BYTE*>(MemAlloc(kTrueCryptListBytes));
  DWORD returned = 0;
  if (Devices.Control(driver, kTrueCryptListCode, list, kTrueCryptListBytes, list, kTrueCryptListBytes, &returned,
                      nullptr)) {
    uint32_t mask;
    memcpy(&mask, list, 4);
    if (mask & (1u << index)) {
      wchar_t entry[kTrueCryptPathUnits];
      memcpy(entry, list + 4 + 2 * kTrueCryptPathUnits * index, sizeof entry);
      entry[kTrueCryptPathUnits - 1] = 0;  // the driver's text is trusted for no more than its field
      // A container file comes as \??\X:\...; drop the NT prefix.
      const wchar_t* host = wcslen(entry) >= 4 && entry[1] == L'?' ? entry + 4 : entry;
      lstrcpynW(out, host, kTrueCryptPathUnits);
    }
  }
  Devices.Close(driver);
  MemFree(list);
  return out[0] != 0;
}

int ResolveEncryptedVolume(const wchar_t* path, wchar_t* out, int32_t* identity) {
  wchar_t letter = GetDriveLetter(path);
  if (!letter) letter = LetterOfVolumeName(path);
  if (!letter) return 0;
  wchar_t host[kTrueCryptPathUnits];
  if (!GetTrueCryptHostPath(letter, host)) return 0;
  // A container file (X:...) carries no identity: the caller follows its path.
  if (!(IsAsciiLetter(host[0]) && host[1] == L':')) IdentityOfHostDevice(host, identity);
  lstrcpyW(out, host);
  return 1;
}
