#pragma once
// Reporting a duplicate pair and carrying out the action chosen on the command line.
#include <windows.h>

#include <cstdint>

#include "actions/duplicate_pair.h"

// True once a pair's line could not be written: its action was not carried out, and the run has failed.
bool PairLineWriteFailed();

// Prints the pair and acts on it through the files held by its proof (ProvePair); a file that could not be
// held (held.number) is named and nothing is done. Returns 1 when handled, 0 when refused. Adds to *redundant
// as the summary needs. Closes the held files it acts on; the pair releases the rest.
int ActOnDuplicate(DuplicatePair* pair, int64_t* redundant);
