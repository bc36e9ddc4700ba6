#pragma once
// Volumes mounted by the TrueCrypt or VeraCrypt driver, followed to the container file or device that
// holds them.
#include <cstdint>

constexpr uint32_t kTrueCryptListCode = 0x222018;  // the driver's mounted-volume list request
constexpr int kTrueCryptListBytes = 13944;
constexpr int kTrueCryptPathUnits = 260;  // one volume path in the list, 520 bytes from byte 4

// 1 when the path lies on such a volume whose host is known: out (260 units) holds the host path, and for
// a volume on a disk, CD-ROM or floppy device the identity is set too. 0 leaves out and identity alone.
int ResolveEncryptedVolume(const wchar_t* path, wchar_t* out, int32_t* identity);
// 1 with the host path (260 units) of the volume mounted at the letter, else 0 with out empty.
int GetTrueCryptHostPath(wchar_t letter, wchar_t* out);
