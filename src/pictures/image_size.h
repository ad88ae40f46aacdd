#pragma once
// A picture's width and height as its header gives them.

struct ImageSize {
    bool known = false;      // false when the header could not be read (the full load then reports it)
    unsigned int width = 0;  // pixels
    unsigned int height = 0; // pixels
};
