#pragma once
// Every text the program shows goes through these: UTF-16 to a console, OEM code page bytes with
// CR LF line ends to a redirected file or pipe.
#include <windows.h>

#include <initializer_list>

enum class OutputMode { Console, Redirected };

// Decided once, on first use, from the type of the standard output handle.
OutputMode GetOutputMode();

// Formatted message of at most 1023 characters ("%s" UTF-16, "%S" 8-bit, "%u", "%i"). Returns the
// characters (console) or bytes (redirected) written, -1 on failure.
int ConsolePrint(const wchar_t* format, ...);
// Formatted 8-bit diagnostic text, written as bytes in both modes. Returns bytes written, -1 on failure.
int ConsolePrintA(const char* format, ...);
// Unformatted texts of any length (the names of a duplicate pair, the marker between them, the line end),
// written as one line in one write, each converted and given its CRs as if written alone. Returns the
// characters (console) or bytes (redirected) written, 0 on failure.
int ConsoleWriteText(std::initializer_list<const wchar_t*> parts);
// A format holding one "%s" and a text of any length put in its place; nothing else is interpreted.
// Returns units or bytes written, -1 when the format holds no "%s".
int ConsolePrintPath(const wchar_t* format, const wchar_t* text);

// Puts a CR before every LF that has none, in place (the text and its result must fit 1024 units).
int ExpandLineEnds(wchar_t* text);
int ExpandLineEnds(char* text);

// Where the output goes; tests point it at a file or pipe of their own.
void SetOutputHandleForTesting(HANDLE handle);
