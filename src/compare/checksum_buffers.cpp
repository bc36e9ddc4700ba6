#include "compare/checksum_buffers.h"

#include <windows.h>

#include "base/memory.h"

namespace {
unsigned char* g_buffers[2] = {nullptr, nullptr};
LONG g_toggle = 0;  // the buffer handed out last
CRITICAL_SECTION* g_lock = nullptr;

unsigned char* NewBuffer() {
  return static_cast<unsigned char*>(VirtualAlloc(nullptr, kReadPiece, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}
}  // namespace

uint32_t PieceToAsk(int64_t left) {
  constexpr int64_t kSector = 4096;  // a multiple of every sector size in use
  if (left < 0 || left >= kReadPiece) return kReadPiece;
  return static_cast<uint32_t>((left + kSector) / kSector * kSector);
}

void InitChecksumBuffers() {
  if (!g_buffers[0]) {
    g_buffers[0] = NewBuffer();
    g_buffers[1] = NewBuffer();
  }
  if (!g_lock) {
    g_lock = static_cast<CRITICAL_SECTION*>(MemAlloc(sizeof(CRITICAL_SECTION)));
    InitializeCriticalSection(g_lock);
  }
}

unsigned char* TakeReadBuffer() {
  if (!g_lock) return nullptr;
  EnterCriticalSection(g_lock);
  g_toggle = 1 - g_toggle;
  unsigned char* buffer = g_buffers[g_toggle];
  LeaveCriticalSection(g_lock);
  return buffer;
}

void FreeChecksumBuffers() {
  if (!g_lock) return;
  EnterCriticalSection(g_lock);
  for (unsigned char*& buffer : g_buffers) {
    if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
    buffer = nullptr;
  }
  LeaveCriticalSection(g_lock);
  DeleteCriticalSection(g_lock);
  MemFree(g_lock);
  g_lock = nullptr;
}
