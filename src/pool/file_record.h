#pragma once
// One file found by a scan, and the pool of fixed-size records one file specification fills.
#include <cstdint>

struct PtrList;
struct LinkedFolders;
struct LinkGroup;

// Where a record stands among the names of its file.
enum class LinkState : int32_t {
  Unknown,  // not resolved yet
  Single,   // a file of its own in this run
  Head,     // the first name of a file with others in the pool: it heads their link group
  Member,   // a further name of a file whose group another record heads
};

// Fields that cost file access are read lazily and cached here; 0 means "not read yet".
struct FileRecord {
  uint32_t index;            // position in the pool after sorting (RenumberRecords); while sorting, the place
                             // of dir among the pool's folders (RankFolders), 0 when not placed
  int32_t ownsDir;           // 1 on the one record that frees the shared dir string
  wchar_t* dir;              // folder path ending in a backslash, shared by the folder's records
  wchar_t* name;             // own copy; emptied (name[0] = 0) when an action deleted the file
  int32_t pathDepth;         // backslashes in dir, counted on first need
  uint32_t nameKey;          // hash of the name's case-blind sort key, made on first need (fills padding)
  int64_t size;
  int64_t allocSize;         // space allocated on the volume, read when first needed
  uint32_t openError;        // Windows error of the last failed open for checksumming
  uint32_t volumeSerial;     // serial number of the file's volume, or its pool's tag (serialRead)
  uint64_t checksum;         // CRC-64 of the content (or of the test blocks); 0 = not computed
  uint32_t fileIndexLow;
  uint32_t fileIndexHigh;
  LinkState linkState;       // these three are kept by identity's link-group module alone
  uint32_t linkCount;        // the file's link count while in no group (a group holds its own); 0 not read
  LinkGroup* linkGroup;      // shared by the records that are names of one file, owned by its head
  PtrList* comparedWith;     // records already found identical with this one
  int32_t replacedByLink;    // 1 once this run replaced the file by a hard link
  int32_t serialRead;        // kSerialRead once volumeSerial holds the serial, kOnPoolVolume below
};

// A record whose file an action deleted (or that has no name at all).
inline bool IsGone(const FileRecord* record) { return !record->name || !record->name[0]; }

// serialRead: the serial is read only when another file has the record's index, and it costs a volume query
// (under Wine a round trip to the mount manager). A plain file that a scan found without crossing a linked
// folder lies on its pool root's volume: such records carry their pool's tag instead, and two of one tag lie
// on one volume without asking.
constexpr int32_t kSerialRead = 1;
constexpr int32_t kOnPoolVolume = 2;

// Growable list of record pointers, each pointer held at most once.
struct PtrList {
  FileRecord** items;
  int32_t count;
  uint32_t capacity;
};

// The records of one file specification, in one reserved range committed piece by piece.
struct FilePool {
  int32_t depth;             // nesting depth of the running scan
  uint32_t commitStep;       // bytes committed per growth step (allocation granularity)
  wchar_t* rootDir;
  wchar_t* pattern;
  int32_t recurse;
  int32_t followReparse;
  uint32_t progressPos;      // cell where the scan shows its running count
  uint32_t errorPos;         // cell where the scan shows "cannot open" messages
  uint32_t lastProgressTick;
  FileRecord* records;
  uint32_t committedBytes;
  uint32_t count;
  uint32_t committedSlots;
  uint32_t reservedSlots;
  uint32_t volumeTag;        // told to the records on the root's volume; shared only by pools of one volume
  LinkedFolders* linkedFolders;  // while the scan runs, from its first linked folder on
};
