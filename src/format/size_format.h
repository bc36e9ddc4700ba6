#pragma once
// Numbers as the short texts of the messages. Each result stays valid until the next call of the same
// formatter on the same thread.
#include <cstdint>

const wchar_t* FormatSize1024(int64_t bytes);
const wchar_t* FormatSize1000(int64_t bytes);
const wchar_t* FormatDuration(uint32_t milliseconds);
// Up to three counts can stand in one message; a fourth call reuses the first text.
const wchar_t* FormatCount(int64_t value);
