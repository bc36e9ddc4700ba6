#pragma once
// Real files in a temporary folder, records built in memory for them, and the output captured as bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pool/file_record.h"

// One file of a test pair: its record and the full path buffer the actions may cut in place.
struct TestFile {
  FileRecord record = {};
  std::vector<wchar_t> path = std::vector<wchar_t>(32768);
  wchar_t* Path() { return path.data(); }
};

class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "\\?\C:\...\" with a trailing backslash: the long form the program works on.
  const std::wstring& Root() const { return root_; }
  // Writes a file below the root (folders are made as needed) and returns its full path.
  std::wstring WriteFile(const std::wstring& relative, const std::string& content);
  void MakeFolder(const std::wstring& relative);
  bool Exists(const std::wstring& relative) const;
  std::string ReadFile(const std::wstring& relative) const;
  DWORD Attributes(const std::wstring& relative) const;
  uint32_t Links(const std::wstring& relative) const;
  uint64_t FileIndex(const std::wstring& relative) const;
  // A record as a resolved scan leaves it: single link, its own link-count cell, allocation known.
  TestFile* Record(const std::wstring& relative);
  // Everything printed since the last call, as the redirected bytes.
  std::string Output();

  std::wstring root_;
  HANDLE output_ = INVALID_HANDLE_VALUE;
  std::vector<std::unique_ptr<TestFile>> files_;
};

std::wstring Wide(const std::string& text);
