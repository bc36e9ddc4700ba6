#pragma once
// Accumulates the CRC-64 of the pieces a checksum routine reads. Above 3 MiB it computes on a thread of its
// own while the caller reads the next piece; below, or when the thread cannot be set up, in the caller.
#include <windows.h>

#include <cstdint>

constexpr int64_t kThreadedReaderAbove = 3145728;  // files larger than this get a reader thread

struct ReadAheadReader {
  int32_t threaded;               // 1 with own thread and buffer; decided once by Start
  volatile LONG stopRequested;    // set by Finish; tells the thread to end
  unsigned char* buffer;          // own 1 MiB copy of the piece in flight (threaded only)
  uint32_t length;                // valid bytes in buffer
  HANDLE dataReady;               // manual reset; a piece waits in buffer, or the thread should wake to end
  HANDLE bufferFree;              // manual reset; buffer may be refilled
  HANDLE thread;
  uint64_t crc;                   // the register; the final checksum after Finish

  // Chooses the mode from the file size and sets the register to all ones.
  void Start(int64_t fileSize);
  // Adds count bytes; the caller may reuse them as soon as Feed returns.
  void Feed(const void* bytes, uint32_t count);
  // Waits for the last piece and returns the checksum (final XOR applied). Called once, after the last Feed.
  uint64_t Finish();
  // Ends the thread and releases the buffer and events. Called once, after Finish.
  void Close();
  static DWORD WINAPI ReaderThread(void* parameter);
};
