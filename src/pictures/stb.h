#pragma once
// The system's stb_image, within an allocation budget, for every format but
// PNG and JPEG.

#include "pictures/image_size.h"
#include "pictures/raw_image.h"

#include <cstdio>

// Both take the file at its start
Outcome decodeWithStb(std::FILE* file, RawImage& image); // The caller has checked the size the header gives
ImageSize stbSize(std::FILE* file);                       // Unknown when stb_image takes the file for no picture
