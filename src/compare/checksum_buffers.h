#pragma once
// The two shared 1 MiB read buffers into which the checksum routines read file content.
#include <cstdint>

constexpr uint32_t kReadPiece = 1048576;  // bytes per read at most, and the size of every read buffer

// The bytes to ask for when left bytes of the file are still to come: whole sectors (all an unbuffered handle
// reads) reaching at least one byte past the expected end, so that a file grown since it was measured still
// shows, and at most a buffer. Wine touches every page a read may fill before it reads, so asking a small file
// for a whole buffer costs more than reading it.
uint32_t PieceToAsk(int64_t left);

// Makes the two page-aligned buffers and their lock; a second call changes nothing.
void InitChecksumBuffers();
// One of the two buffers, alternating under the lock, so two concurrent checksum runs never share one.
// Null when the buffers could not be made (or were never made).
unsigned char* TakeReadBuffer();
// Releases the buffers and the lock; called when no checksum is running.
void FreeChecksumBuffers();
