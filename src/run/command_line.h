#pragma once
// The process command line as an argument vector.

constexpr int kMaxArguments = 31;  // argument 0 (the program) included; the rest of the line is ignored

struct ArgumentVector {
  wchar_t* buffer;                     // all arguments, NUL-terminated, back to back (MemFree it)
  int count;
  wchar_t* items[kMaxArguments + 1];
};

// Double quotes toggle quoting and are dropped; there is no escape character, so a backslash before a
// quote stays. Outside quotes white space separates arguments.
void SplitCommandLine(const wchar_t* commandLine, ArgumentVector* args);
bool IsArgumentSpace(wchar_t c);
