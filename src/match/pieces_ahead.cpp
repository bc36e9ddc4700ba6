#include "match/pieces_ahead.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "compare/file_pieces.h"
#include "compare/kept_opens.h"
#include "console/console_state.h"
#include "console/control.h"
#include "console/status_line.h"
#include "format/size_format.h"
#include "pool/record_path.h"

namespace {
struct Candidate {
  FileRecord* record;
  uint64_t digest;  // of the pieces of a large file, once read
  bool digested;
};

bool PathBefore(const Candidate& a, const Candidate& b) {
  const FileRecord* x = a.record;
  const FileRecord* y = b.record;
  if (x->dir != y->dir) {
    int folders = wcscmp(x->dir, y->dir);
    if (folders) return folders < 0;
  }
  return wcscmp(x->name, y->name) < 0;
}

// The large records of every size that both sides have (one pool: that occurs twice), in the pools' order;
// returns how many, and fills out when it is given.
uint32_t Collect(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2, Candidate* out) {
  uint32_t found = 0;
  auto add = [&](FileRecord* first, FileRecord* end) {
    for (FileRecord* record = first; record < end; ++record)
      if (record->name && record->name[0]) {
        if (out) out[found] = {record, 0, false};
        ++found;
      }
  };
  bool onePool = records1 == records2;
  for (uint32_t i = 0, j = 0; i < count1 && j < count2;) {
    int64_t size = records1[i].size;
    if (!onePool && records2[j].size != size) {
      (records2[j].size < size ? j : i)++;
      continue;
    }
    uint32_t end1 = i, end2 = onePool ? i : j;
    while (end1 < count1 && records1[end1].size == size) ++end1;
    while (!onePool && end2 < count2 && records2[end2].size == size) ++end2;
    if (size >= kPiecesWorthReadingFrom && (onePool ? end1 - i >= 2 : true)) {
      add(&records1[i], &records1[end1]);
      if (!onePool) add(&records2[j], &records2[end2]);
    }
    i = end1;
    j = onePool ? end1 : end2;
  }
  return found;
}

class Progress {
 public:
  explicit Progress(uint32_t total) : total_(total), tick_(GetTickCount()) {}
  void Show(uint32_t done) {
    if ((Console && Console->redirected) || GetTickCount() == tick_) return;
    StatusPrint(L"reading file %s of %s...", FormatCount(done + 1), FormatCount(total_));
    tick_ = GetTickCount();
  }

 private:
  uint32_t total_;
  DWORD tick_;
};

bool DigestQuietly(Candidate& candidate) {
  FileRecord* record = candidate.record;
  JoinedPath path(record->dir, record->name);
  HANDLE file = OpenForChecksum(path.Text());
  if (file == INVALID_HANDLE_VALUE) return false;
  bool read = ReadPiecesDigest(file, record->size, &candidate.digest);
  CloseHandle(file);
  return read;
}

// A large file whose pieces no other file of its size shares takes its digest for a checksum: no other file of
// its size has that digest, nor, as its checksum, the whole-file CRC of other bytes but by a chance the byte
// proof of a pair still catches.
void RuleOutByPieces(Candidate* large, uint32_t count) {
  std::sort(large, large + count, [](const Candidate& a, const Candidate& b) {
    if (a.record->size != b.record->size) return a.record->size < b.record->size;
    if (a.digested != b.digested) return a.digested < b.digested;
    return a.digest < b.digest;
  });
  for (uint32_t start = 0, end; start < count; start = end) {
    end = start;
    while (end < count && large[end].record->size == large[start].record->size) ++end;
    // A file that could not be read might hold anything: with one in the group, none is ruled out.
    if (!large[start].digested) continue;
    for (uint32_t i = start; i < end; ++i) {
      bool shared = (i > start && large[i - 1].digest == large[i].digest) ||
                    (i + 1 < end && large[i + 1].digest == large[i].digest);
      if (!shared) large[i].record->checksum = large[i].digest ? large[i].digest : 1;
    }
  }
}
}  // namespace

void RuleOutLargeFilesByPieces(FileRecord* records1, uint32_t count1, FileRecord* records2, uint32_t count2) {
  uint32_t count = Collect(records1, count1, records2, count2, nullptr);
  if (count == 0) return;
  // An aid, not a need: without room for it, the walk reads as it meets the files.
  auto* candidates = static_cast<Candidate*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(Candidate)));
  if (!candidates) return;
  Collect(records1, count1, records2, count2, candidates);
  std::sort(candidates, candidates + count, PathBefore);
  Progress progress(count);
  for (uint32_t i = 0; i < count && !CancelRequested; ++i) {
    progress.Show(i);
    candidates[i].digested = DigestQuietly(candidates[i]);
  }
  if (!CancelRequested) RuleOutByPieces(candidates, count);
  ClearLine(-1);
  HeapFree(GetProcessHeap(), 0, candidates);
}
