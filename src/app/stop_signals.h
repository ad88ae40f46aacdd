#pragma once
// The signals that ask a running program to stop: Ctrl+C (SIGINT), a polite
// kill (SIGTERM) and the terminal going away (SIGHUP, where there is one).
// The handler only notes the signal; the frame loop and the export look at it
// between frames, so a stop always ends on a whole frame and a closed file.

namespace StopSignals {

void catchThem(); // Installs the handlers; the program calls it before a show or an export, a game that uses the library never does
int caught();     // The last stop signal that arrived since catchThem or reset, else 0
void reset();     // Forgets a caught signal

} // namespace StopSignals
