#pragma once
// Decodes a JPEG, or reads its size, with libjpeg-turbo.

#include "pictures/image_size.h"
#include "pictures/raw_image.h"

#include <cstdio>

// Both take the file at its start
Outcome decodeJpeg(std::FILE* file, RawImage& image);
ImageSize jpegSize(std::FILE* file); // Unknown when libjpeg-turbo cannot read the header
