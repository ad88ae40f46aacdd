#pragma once
// A picture file's format from its first bytes, and its size from its header.

#include "pictures/image_size.h"

#include <cstddef>
#include <cstdio>

// A file's first bytes: enough for its format and, for a PNG, its size
struct Header {
    unsigned char bytes[24];
    std::size_t length = 0;
};

Header readHeader(std::FILE* file);                        // Reads the first bytes and goes back to the start
bool isPng(const Header& header);
bool isJpeg(const Header& header);
ImageSize sizeFromHeader(std::FILE* file, const Header& first); // The size the file's header gives; the file is left at its start
