#pragma once
// The show without watching it in full: one picture of a moment, or a sheet
// of small pictures. Each needs a display.
// Pictures come from the frame loop's own code run in fixed steps of 1/60 s
// from the start, without waiting and without sound.

#include <string>

// The label under a tile of the contact sheet: the moment as minutes and
// seconds ("0:03.5") and the key of the entry fading in then, cut to the
// tile's width
std::string tileLabel(double seconds, const std::string& key);

int writeFrame(double seconds, const std::string& output);        // Writes the picture the show presents `seconds` after its first frame; the exit status
int writeContactSheet(const std::string& output, double every);   // Writes a grid of small pictures, one every `every` seconds, each labelled; the exit status
