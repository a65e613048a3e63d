// The dictionary entries this test program has walked: a count of work, so
// that a test can tell that a handler does not walk a dictionary the size
// of a file (see DictionaryWalks.cpp for how it is counted).
#pragma once

#include <cstdint>

uint64_t dictionaryEntriesWalked();
