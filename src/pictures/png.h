#pragma once
// Decodes a PNG with libpng.

#include "pictures/raw_image.h"

#include <cstdio>

// The file is at its start; a side above `largest` is refused before decoding
Outcome decodePng(std::FILE* file, unsigned int largest, RawImage& image);
