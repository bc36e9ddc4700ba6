#pragma once
// The shared 1 MiB read buffers of the checksum readers.
void InitChecksumBuffers();
void FreeChecksumBuffers();
