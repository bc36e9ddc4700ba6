#pragma once
// Catches what the program prints (the redirected form: OEM bytes, CR LF) in a temporary file.
#include <windows.h>

#include <string>

class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  std::string Text() const;

 private:
  wchar_t path_[MAX_PATH];
  HANDLE file_;
};
