#include "compare/checksum_thread.h"

#include "base/memory.h"
#include "base/run_options.h"
#include "compare/test_blocks.h"
#include "compare/whole_file_checksum.h"

HANDLE StartChecksumThread(const wchar_t* path, int64_t size, uint64_t* checksumOut, uint32_t* errorCodeOut) {
  ChecksumJob* job = static_cast<ChecksumJob*>(MemAlloc(sizeof(ChecksumJob)));
  job->path = path;
  job->checksumOut = checksumOut;
  job->size = size;
  job->errorCodeOut = errorCodeOut;
  HANDLE thread = StartThread(ChecksumThreadMain, job);
  // No thread to be had: the same work on this thread, so the pair still gets its checksum.
  if (!thread) ChecksumThreadMain(job);
  return thread;
}

DWORD WINAPI ChecksumThreadMain(void* parameter) {
  ChecksumJob* job = static_cast<ChecksumJob*>(parameter);
  int64_t testSize = RunOptions.TestBlockSize;
  *job->checksumOut = testSize >= job->size ? ChecksumWholeFile(job->path, job->size, job->errorCodeOut)
                                            : ChecksumTestBlocks(job->path, job->size, testSize, job->errorCodeOut);
  MemFree(job);
  return 0;
}
