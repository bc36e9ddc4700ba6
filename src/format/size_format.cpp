#include "format/size_format.h"

#include <windows.h>

#include <cwchar>

#include "seam/system_calls.h"

namespace {
// Per thread, so a checksum thread formatting at the same time never shares a text with the main thread.
thread_local wchar_t g_size1024[64];
thread_local wchar_t g_size1000[64];
thread_local wchar_t g_duration[32];
thread_local wchar_t g_counts[3][64];
thread_local unsigned g_nextCount = 0;

// Whole part w with tenth f of a large unit: the tenth shows only where it says something.
void FormatLargeUnit(wchar_t* out, uint32_t w, uint32_t f, const wchar_t* unit) {
  if (f >= 10) {
    w += 1;
    f -= 10;
  }
  bool showTenth = (w == 1 && f >= 1) || (w < 5 && f >= 2 && f <= 8) || (w < 10 && f >= 4 && f <= 7);
  if (showTenth) {
    wsprintfW(out, L"%u.%u %s", w, f, unit);
  } else {
    if (f > 5) w += 1;
    wsprintfW(out, L"%u %s", w, unit);
  }
}

void FormatKilo(wchar_t* out, uint32_t k) {
  // Sizes around a 720 KB floppy all read as 720 KB.
  if (k >= 711 && k <= 739)
    lstrcpyW(out, L"720 KB");
  else
    wsprintfW(out, L"%u KB", k);
}
}  // namespace

const wchar_t* FormatSize1024(int64_t v) {
  wchar_t* out = g_size1024;
  const int64_t kMi = 1 << 20;
  if (v < 0) {
    wsprintfW(out, L"%u Bytes", static_cast<uint32_t>(v));
  } else if (v >= (int64_t(1) << 40)) {
    uint64_t q = static_cast<uint64_t>(v / kMi) + 50000;
    uint64_t w = q / kMi;
    FormatLargeUnit(out, static_cast<uint32_t>(w), static_cast<uint32_t>((q - w * kMi) / 104856), L"TB");
  } else if (v >= (int64_t(1) << 30)) {
    uint64_t q = static_cast<uint64_t>(v / kMi) + 50;
    FormatLargeUnit(out, static_cast<uint32_t>(q / 1024), static_cast<uint32_t>((q % 1024) / 101), L"GB");
  } else if (v >= 10 * kMi) {
    wsprintfW(out, L"%u MB", static_cast<uint32_t>(v / kMi));
  } else if (v >= kMi) {
    uint32_t tenth = static_cast<uint32_t>((10 * (v % kMi)) / kMi);
    if (tenth > 0)
      wsprintfW(out, L"%u.%u MB", static_cast<uint32_t>(v / kMi), tenth);
    else
      wsprintfW(out, L"%u MB", static_cast<uint32_t>(v / kMi));
  } else if (v > 1024) {
    FormatKilo(out, static_cast<uint32_t>(v / 1024));
  } else {
    wsprintfW(out, L"%u Bytes", static_cast<uint32_t>(v));
  }
  return out;
}

const wchar_t* FormatSize1000(int64_t v) {
  wchar_t* out = g_size1000;
  if (v < 0) {
    wsprintfW(out, L"%u Bytes", static_cast<uint32_t>(v));
  } else if (v >= 1000000000000LL) {
    uint64_t q = static_cast<uint64_t>(v / 1000000) + 50000;
    uint64_t w = q / 1000000;
    FormatLargeUnit(out, static_cast<uint32_t>(w), static_cast<uint32_t>((q - w * 1000000) / 99999), L"TB");
  } else if (v >= 1000000000LL) {
    uint64_t q = static_cast<uint64_t>(v / 1000000) + 50;
    FormatLargeUnit(out, static_cast<uint32_t>(q / 1000), static_cast<uint32_t>((q % 1000) / 99), L"GB");
  } else if (v >= 10000000LL) {
    wsprintfW(out, L"%u MB", static_cast<uint32_t>(v / 1000000));
  } else if (v > 1000000LL) {
    wsprintfW(out, L"%u.%u MB", static_cast<uint32_t>(v / 1000000), static_cast<uint32_t>((v % 1000000) / 100000));
  } else if (v > 100000) {
    FormatKilo(out, static_cast<uint32_t>(v / 1000));
  } else {
    wsprintfW(out, L"%u Bytes", static_cast<uint32_t>(v));
  }
  return out;
}

const wchar_t* FormatDuration(uint32_t ms) {
  wchar_t* out = g_duration;
  if (ms < 1000)
    wsprintfW(out, L"%u ms", ms);
  else if (ms < 60000)
    wsprintfW(out, L"%u.%u Seconds", ms / 1000, (ms % 1000) / 100);
  else if (ms < 3600000)
    wsprintfW(out, L"%u.%u Minutes", ms / 60000, (ms % 60000) / 6000);
  else
    wsprintfW(out, L"%u.%u Hours", ms / 3600000, (ms % 3600000) / 360000);
  return out;
}

const wchar_t* FormatCount(int64_t value) {
  wchar_t* out = g_counts[g_nextCount];
  g_nextCount = (g_nextCount + 1) % 3;
  wchar_t digits[32];
  wsprintfW(digits, L"%I64i", value);
  if (value <= 999999) {
    lstrcpyW(out, digits);
    return out;
  }
  // Asked for every large count: they are few, and the user's locale is the one place that says.
  wchar_t answer[4] = {};
  wchar_t separator = Process.GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, answer, 4) ? answer[0] : 0;
  // A locale without a separator gets the plain digits rather than a NUL cut into the text.
  size_t length = wcslen(digits);
  wchar_t* p = out;
  for (size_t i = 0; i < length; ++i) {
    *p++ = digits[i];
    size_t behind = length - 1 - i;
    if (separator && behind > 0 && behind % 3 == 0) *p++ = separator;
  }
  *p = 0;
  return out;
}
