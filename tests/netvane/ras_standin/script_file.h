// Scripts for the RAS stand-in given as text, so that a process which cannot
// call into the stand-in (a console run, a demonstration) can still say what
// RAS answers. The format is described at the top of script_file.cpp.
#pragma once

#include <cstddef>

#include "standin.h"

// The answers of a RAS that works: one PPPoE device, a dial that succeeds,
// an IKEv2 projection with IPv4 addresses, and a connection that is gone at
// the first status query after the hang-up.
void ApplySuccessScript(StandinScript& script);

// Applies the settings of `text` (length bytes, need not end in NUL) on top
// of `script`. On a malformed line returns false and describes it in
// `error`; the script may then be partly changed.
bool ParseStandinScript(const char* text, size_t length, StandinScript& script, char* error,
                        size_t errorSize);
