#include "console/output.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "base/memory.h"

namespace {
constexpr int kMessageUnits = 1024;
constexpr int kSplitUnits = 25000;  // longest single WriteConsoleW of a long text

HANDLE g_output = nullptr;
OutputMode g_mode = OutputMode::Console;
bool g_decided = false;

void DecideOutput() {
  if (g_decided) return;
  if (!g_output) g_output = GetStdHandle(STD_OUTPUT_HANDLE);
  g_mode = GetFileType(g_output) == FILE_TYPE_CHAR ? OutputMode::Console : OutputMode::Redirected;
  g_decided = true;
}

// Shared by the bounded forms: expands into a local buffer and copies the result back. A result that
// would not fit is cut at the buffer's end rather than written past it.
template <typename Char>
int ExpandInPlace(Char* text) {
  Char work[kMessageUnits];
  int out = 0;
  Char previous = 0;
  for (const Char* p = text; *p && out < kMessageUnits - 1; ++p) {
    if (*p == '\n' && (p == text || previous != '\r')) {
      if (out >= kMessageUnits - 2) break;
      work[out++] = '\r';
    }
    work[out++] = *p;
    previous = *p;
  }
  work[out] = 0;
  memcpy(text, work, (out + 1) * sizeof(Char));
  return out;
}

// The unbounded form, into out, which holds twice the text's length plus one; returns the units put there
// before the terminator. An LF that starts the text always takes a CR.
int ExpandLineEndsInto(const wchar_t* text, wchar_t* out) {
  int n = 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p == L'\n' && (p == text || p[-1] != L'\r')) out[n++] = L'\r';
    out[n++] = *p;
  }
  out[n] = 0;
  return n;
}

int WriteBytes(const char* bytes, int count) {
  DWORD written = 0;
  if (!WriteFile(g_output, bytes, static_cast<DWORD>(count), &written, nullptr)) return -1;
  return static_cast<int>(written);
}

// A character device that is no console (NUL) refuses WriteConsoleW: it takes the text as bytes instead, so
// that output sent there on purpose counts as written.
BOOL WriteConsoleUnits(const wchar_t* text, DWORD length, DWORD* written) {
  if (WriteConsoleW(g_output, text, length, written, nullptr)) return TRUE;
  if (GetLastError() != ERROR_INVALID_HANDLE) return FALSE;
  if (!WriteFile(g_output, text, length * sizeof(wchar_t), written, nullptr)) return FALSE;
  *written /= sizeof(wchar_t);
  return TRUE;
}

// Formats into a buffer of kMessageUnits; a message that does not fit is cut to 1023 units.
int FormatMessageText(wchar_t* buffer, const wchar_t* format, va_list args) {
  // wvsprintfW stops at 1024 units including the terminator, so it can never write past the buffer.
  buffer[kMessageUnits - 1] = 0;
  int length = wvsprintfW(buffer, format, args);
  if (length < 0) length = 0;
  buffer[length < kMessageUnits ? length : kMessageUnits - 1] = 0;
  return length;
}
}  // namespace

void SetOutputHandleForTesting(HANDLE handle) {
  g_output = handle;
  g_decided = false;
  DecideOutput();
}

OutputMode GetOutputMode() {
  DecideOutput();
  return g_mode;
}

int ExpandLineEnds(wchar_t* text) { return ExpandInPlace(text); }
int ExpandLineEnds(char* text) { return ExpandInPlace(text); }

int ConsolePrint(const wchar_t* format, ...) {
  DecideOutput();
  wchar_t text[kMessageUnits];
  va_list args;
  va_start(args, format);
  FormatMessageText(text, format, args);
  va_end(args);
  int length = ExpandLineEnds(text);

  if (g_mode == OutputMode::Console) {
    DWORD written = 0;
    if (!WriteConsoleUnits(text, static_cast<DWORD>(length), &written)) return -1;
    return static_cast<int>(written);
  }
  char bytes[kMessageUnits + 1];
  int converted = WideCharToMultiByte(GetOEMCP(), 0, text, length, bytes, sizeof bytes, nullptr, nullptr);
  if (converted == 0) return -1;
  return WriteBytes(bytes, converted);
}

int ConsolePrintA(const char* format, ...) {
  DecideOutput();
  char text[kMessageUnits];
  text[0] = 0;
  va_list args;
  va_start(args, format);
  int length = wvsprintfA(text, format, args);
  va_end(args);
  text[length >= 0 && length < kMessageUnits ? length : kMessageUnits - 1] = 0;
  length = ExpandLineEnds(text);
  return WriteBytes(text, length);
}

namespace {
// The split of a long line: the first write of 25000 units alone is reported when it fails.
int WriteLineToConsole(const wchar_t* line, int length) {
  DWORD written = 0;
  if (length <= kSplitUnits) {
    if (!WriteConsoleUnits(line, static_cast<DWORD>(length), &written)) {
      ConsolePrintA("\nWriteConsoleW error %u on textlen=%i\n", GetLastError(), length);
      return 0;
    }
    return length;
  }
  for (int done = 0; done < length; done += kSplitUnits) {
    int piece = length - done < kSplitUnits ? length - done : kSplitUnits;
    if (!WriteConsoleUnits(line + done, static_cast<DWORD>(piece), &written)) return 0;
  }
  return length;
}

int WriteLineConverted(const wchar_t* line, int length) {
  if (length == 0) return 0;
  UINT codePage = GetOEMCP();
  int size = WideCharToMultiByte(codePage, 0, line, length, nullptr, 0, nullptr, nullptr);
  if (size == 0) {
    ConsolePrintA("\nWideCharToMultiByte error %u on textlen=%i\n", GetLastError(), length);
    return 0;
  }
  char onStack[1536];
  char* bytes = size_t(size) <= sizeof onStack ? onStack : static_cast<char*>(MemAlloc(size));
  WideCharToMultiByte(codePage, 0, line, length, bytes, size, nullptr, nullptr);
  int written = WriteBytes(bytes, size);
  if (bytes != onStack) MemFree(bytes);
  return written == size ? size : 0;
}
}  // namespace

int ConsoleWriteText(std::initializer_list<const wchar_t*> parts) {
  DecideOutput();
  bool console = g_mode == OutputMode::Console;
  size_t room = 1;
  for (const wchar_t* part : parts) room += (console ? 1 : 2) * wcslen(part);
  // The names of every pair are written here, so a line of common length stays on the stack: a heap block
  // per line breaks the heap up under Wine.
  wchar_t onStack[768];
  wchar_t* line = room <= sizeof onStack / sizeof *onStack ? onStack : static_cast<wchar_t*>(MemAlloc(room * sizeof(wchar_t)));
  int length = 0;
  // Each part takes its CRs as if it were written alone.
  for (const wchar_t* part : parts) {
    if (console) {
      size_t units = wcslen(part);
      wmemcpy(line + length, part, units);
      length += static_cast<int>(units);
    } else {
      length += ExpandLineEndsInto(part, line + length);
    }
  }
  int written = console ? WriteLineToConsole(line, length) : WriteLineConverted(line, length);
  if (line != onStack) MemFree(line);
  return written;
}

int ConsolePrintPath(const wchar_t* format, const wchar_t* text) {
  DecideOutput();
  const wchar_t* slot = wcsstr(format, L"%s");
  if (!slot) return -1;
  size_t before = slot - format;
  size_t textLength = wcslen(text);
  size_t afterLength = wcslen(slot + 2);
  size_t total = before + textLength + afterLength;
  wchar_t* built = static_cast<wchar_t*>(MemAlloc((total + 1) * sizeof(wchar_t)));
  wmemcpy(built, format, before);
  wmemcpy(built + before, text, textLength);
  wmemcpy(built + before + textLength, slot + 2, afterLength);

  int result = 0;
  if (g_mode == OutputMode::Console) {
    DWORD written = 0;
    if (WriteConsoleW(g_output, built, static_cast<DWORD>(total), &written, nullptr))
      result = static_cast<int>(written);
  } else {
    UINT codePage = GetOEMCP();
    int size = WideCharToMultiByte(codePage, 0, built, -1, nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      char* bytes = static_cast<char*>(MemAlloc(size));
      WideCharToMultiByte(codePage, 0, built, -1, bytes, size, nullptr, nullptr);
      int written = WriteBytes(bytes, size - 1);
      result = written < 0 ? 0 : written;
      MemFree(bytes);
    }
  }
  MemFree(built);
  return result;
}
