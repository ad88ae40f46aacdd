#pragma once
// The program's own show: its window and its frame loop, built on the library.

// Plays the intro in a window, from its start or from a moment in it; 0 when
// it ends, 1 when no display can be opened. Watching, it reads the intro
// anew whenever its files change, and holds the last picture at the end
int runApp(double fromSeconds = 0, bool watch = false);
