#include "run/command_line.h"

#include <cwchar>

#include "base/memory.h"

bool IsArgumentSpace(wchar_t c) {
  switch (c) {
    case 0x0020: case 0x0009: case 0x000A: case 0x000C: case 0x000D:
    case 0x00A0: case 0x2009: case 0x200A: case 0x205F: case 0x3000:
      return true;
    default:
      return false;
  }
}

void SplitCommandLine(const wchar_t* line, ArgumentVector* args) {
  size_t length = wcslen(line);
  // Every argument is at most as long as its source text plus a terminator, so this always fits.
  wchar_t* out = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
  args->buffer = out;
  args->count = 0;
  args->items[0] = out;
  if (length == 0) return;

  args->count = 1;
  bool quoted = false;
  const wchar_t* p = line;
  while (*p) {
    wchar_t c = *p++;
    if (c == L'"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && IsArgumentSpace(c)) {
      *out++ = 0;
      if (args->count == kMaxArguments) return;
      while (*p && IsArgumentSpace(*p)) ++p;
      if (!*p) return;
      args->items[args->count++] = out;
      continue;
    }
    *out++ = c;
  }
  *out = 0;
}
