#pragma once
// The two shared 1 MiB read buffers into which the checksum routines read file content.
#include <cstdint>

constexpr uint32_t kReadPiece = 1048576;  // bytes per read, and the size of every read buffer

// Makes the two page-aligned buffers and their lock; a second call changes nothing.
void InitChecksumBuffers();
// One of the two buffers, alternating under the lock, so two concurrent checksum runs never share one.
// Null when the buffers could not be made (or were never made).
unsigned char* TakeReadBuffer();
// Releases the buffers and the lock; called when no checksum is running.
void FreeChecksumBuffers();
