#pragma once
// The demo intro's song, synthesised sample by sample from fixed tables: two
// bars of intro played once, then an eight-bar loop that starts at 4.8 s (the
// loopTo of tools/demo/assets/music.json). Every run gives the same samples.

#include <cstddef>
#include <string>
#include <vector>

// Stereo mix in floats; anything that rings past the end is folded back to
// the loop start, so the loop joins without a click
struct Mix {
    std::vector<float> left, right;
    std::size_t loopStart = 0;  // the first sample of the loop
};

Mix composeSong();                                      // The whole song, intro and loop
bool saveSong(const Mix& mix, const std::string& path); // Writes it in 16 bits, stereo, peaking at 80% of full scale, in the format the name's extension says; false when it could not
