#pragma once
// Reads an image's width and height from its header without decoding it.

#include <string>

struct ImageSize {
    bool known = false;      // false when the header could not be read (the full load then reports it)
    unsigned int width = 0;  // pixels
    unsigned int height = 0; // pixels
};

ImageSize readImageSize(const std::string& path);
