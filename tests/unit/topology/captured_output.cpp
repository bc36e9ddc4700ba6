#include "captured_output.h"

#include "console/output.h"

CapturedOutput::CapturedOutput() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"zav", 0, path_);
  file_ = CreateFileW(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_TEMPORARY, nullptr);
  SetOutputHandleForTesting(file_);
}

CapturedOutput::~CapturedOutput() {
  SetOutputHandleForTesting(GetStdHandle(STD_OUTPUT_HANDLE));
  CloseHandle(file_);
  DeleteFileW(path_);
}

std::string CapturedOutput::Text() const {
  std::string text;
  HANDLE reader = CreateFileW(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  CloseHandle(reader);
  return text;
}
