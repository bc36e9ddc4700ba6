#include "compare/read_ahead_reader.h"

#include <cstring>

#include "compare/checksum_buffers.h"
#include "compare/crc64.h"

namespace {
void CloseIfOpen(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

void ReleaseThreadResources(ReadAheadReader* reader) {
  if (reader->buffer) VirtualFree(reader->buffer, 0, MEM_RELEASE);
  reader->buffer = nullptr;
  CloseIfOpen(reader->thread);
  CloseIfOpen(reader->dataReady);
  CloseIfOpen(reader->bufferFree);
}

// Hands one piece (at most the buffer size) to the thread without waiting for its CRC.
void HandOver(ReadAheadReader* reader, const unsigned char* bytes, uint32_t count) {
  WaitForSingleObject(reader->bufferFree, INFINITE);
  ResetEvent(reader->bufferFree);
  memcpy(reader->buffer, bytes, count);
  reader->length = count;
  SetEvent(reader->dataReady);
}
}  // namespace

void ReadAheadReader::Start(int64_t fileSize) {
  threaded = 0;
  stopRequested = 0;
  buffer = nullptr;
  length = 0;
  dataReady = bufferFree = thread = nullptr;
  crc = kCrc64AllOnes;
  if (fileSize <= kThreadedReaderAbove) return;

  buffer = static_cast<unsigned char*>(VirtualAlloc(nullptr, kReadPiece, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  dataReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bufferFree = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  if (buffer && dataReady && bufferFree) thread = CreateThread(nullptr, 0, ReaderThread, this, 0, nullptr);
  // Whatever could not be made, the same checksum is computed in the caller's thread instead.
  if (thread) {
    threaded = 1;
    return;
  }
  ReleaseThreadResources(this);
}

void ReadAheadReader::Feed(const void* bytes, uint32_t count) {
  if (!threaded) {
    crc = Crc64Update(crc, bytes, count);
    return;
  }
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  do {  // a piece larger than the buffer (no caller reads one) goes over in parts
    uint32_t part = count < kReadPiece ? count : kReadPiece;
    HandOver(this, p, part);
    p += part;
    count -= part;
  } while (count);
}

uint64_t ReadAheadReader::Finish() {
  if (threaded) {
    WaitForSingleObject(bufferFree, INFINITE);  // the last piece is in crc
    length = 0;
    stopRequested = 1;
    SetEvent(dataReady);
  }
  crc ^= kCrc64AllOnes;
  return crc;
}

void ReadAheadReader::Close() {
  if (!threaded) return;
  SetEvent(dataReady);
  WaitForSingleObject(thread, INFINITE);
  ReleaseThreadResources(this);
  threaded = 0;
}

DWORD WINAPI ReadAheadReader::ReaderThread(void* parameter) {
  ReadAheadReader* reader = static_cast<ReadAheadReader*>(parameter);
  WaitForSingleObject(reader->dataReady, INFINITE);
  while (!reader->stopRequested) {
    // Reset before freeing the buffer: the next signal can only come after bufferFree, so none is lost.
    ResetEvent(reader->dataReady);
    reader->crc = Crc64Update(reader->crc, reader->buffer, reader->length);
    SetEvent(reader->bufferFree);
    WaitForSingleObject(reader->dataReady, INFINITE);
  }
  return 0;
}
