#pragma once
// Folder links met by a scan. A link may lead to a folder the scan lists anyway, or to one above it: entered
// where it stands, every file below it would become a second record of one file, and a link to a parent would
// be followed until the path gave out. So a scan lists the tree without its links first, then each link whose
// target is no folder listed already, by the target's final path (links resolved). Only links pay: one open
// for each, and one for the root when the first link is met.
#include <cstdint>

#include "pool/file_record.h"

// Keeps a linked folder (its path as listed, without a trailing backslash, and the scan's depth) for later.
// Under Wine a folder link carries the reparse attribute without its tag, so any reparse folder comes here.
void DeferLinkedFolder(FilePool* pool, const wchar_t* path, int32_t depth);
// A folder met below an entered link: true when its final path is that of a folder listed from elsewhere
// (the root, or another link's target), which is then not listed again.
bool IsListedElsewhere(const FilePool* pool, const wchar_t* path);
// Lists the kept links one by one with scan (ScanFolder), and the links found below them, skipping each
// whose target lies in a folder listed already. 0 when a scan stopped the whole scan.
int ListLinkedFolders(FilePool* pool, int (*scan)(FilePool* pool, const wchar_t* folder));
// True while a link's subtree is listed: its files may lie on another volume than the root.
bool IsListingLink(const FilePool* pool);
// Frees what the links took; nothing is kept once the scan has ended.
void ReleaseLinkedFolders(FilePool* pool);
