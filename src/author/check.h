#pragma once
// The check: loads the intro of the working dir as a start does, with the
// same lines, but opens no window, no GL context and no audio device; then
// reports what only a check can know.

#include <string>

// Writes, all on standard error: the lines a start writes (the settings, the
// three catalogues with every picture decoded in full, the overlay, the
// song and the slides), then the lines of any other song that cannot be
// opened, then one "Check: Problem: " line per problem, one "Check: Note: "
// line per note, and a summary line. Returns 0 when there is no problem, else 1.
int runCheck();

std::string showOrderText(); // The show's entries with the time each begins, five a line, for --help
std::string clockTime(double seconds); // "1:45": minutes and whole seconds
