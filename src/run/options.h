#pragma once
// Reading the settings of one run from the command line.
#include <cstdint>

#include "base/run_options.h"

// Fills RunOptions, FileSpec1 and FileSpec2 from arguments 1 to argc-1 (a leading '/' of a short option
// becomes '-' in place). Returns 0, or the exit code 4 after printing why.
int ParseArguments(int argc, wchar_t** argv);
// A number with an optional unit letter (K, M, G, T: powers of 1024); 0 when the text is not a number.
int64_t ParseSizeText(const wchar_t* text);
int64_t ClampToRange(int64_t value, int64_t lower, int64_t upper);
