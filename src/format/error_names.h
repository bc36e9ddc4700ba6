#pragma once
// Windows error codes as the short upper-case words the messages show (passed as "%S").
#include <cstdint>

// The word for a known code, else the code in decimal (a per-thread text, valid until the next unknown code).
const char* ErrorName(uint32_t code);
// ErrorName of the calling thread's last error; call it right after the failing operation.
const char* LastErrorName();
