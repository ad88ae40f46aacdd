#pragma once
// The show as an author writes it: assets/show.json, optional. Without it
// the built-in show plays. With it, its entries play in their order, each
// fading in over its own seconds, over its song, after its fade from black:
//
//   {"entries": [{"sprite": "title", "seconds": 4}, {"sprite": "ov1"}],
//    "secondsPerEntry": 7, "song": "song", "fadeFromBlackSeconds": 2}
//
// An entry that is wrong is left out with one line, as catalogue entries
// are; a file that is not valid JSON, or leaves no entry, plays the built-in
// show after one line that says so.

#include <string>

extern const char* const showFile; // "assets/show.json", in the intro's folder
extern bool showFileRead;          // Show::current is what the intro's show file gave, read since the last reset: no need to read it again

// Reads the show file into Show::current, reporting what is wrong with it;
// the built-in show stays when there is no file or nothing of it can play.
// True when the file is there and gave the show.
bool loadShowFile(const std::string& path = showFile);
