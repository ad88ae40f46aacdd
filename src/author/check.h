#pragma once
// The check: loads the intro of the working dir as a start does, with the
// same lines, but opens no window, no GL context and no audio device; then
// reports what only a check can know.

#include <string>

struct CheckOptions {
    bool strict = false; // every note counts as a problem
    bool json = false;   // the findings as one JSON document on standard output, instead of lines
};

// Writes, all on standard error: the lines a start writes (the settings, the
// three catalogues with every picture decoded in full, the overlay, the
// song and the slides), then the lines of any other song that cannot be
// opened, then one "Check: Problem: " line per problem, one "Check: Note: "
// line per note, and a summary line; or, as JSON, the findings and their
// counts on standard output. Returns 0 when there is no problem, else 1.
int runCheck(const CheckOptions& options = CheckOptions());
