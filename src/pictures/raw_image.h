#pragma once
// Pixels while a decoder writes them, and what the decoder made of the file.

#include <cstddef>
#include <string>

// What a decoder made of a file
enum class Outcome {
    Decoded,      // the pixels are there
    MediaLibrary, // no pixels; the media library's own loading may try
    Refused,      // no pixels, and nothing else may try
};

// Pixels being decoded. The decoders return from a library's error through
// longjmp, which skips destructors, so they hold what they allocate here, in
// plain pointers that the caller frees
struct RawImage {
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned char* pixels = nullptr; // malloc'd, width * height * 4
    unsigned char** rows = nullptr;  // malloc'd row pointers into pixels
    unsigned char* spare = nullptr;  // malloc'd pixels of an earlier image, to be written over
    std::size_t spareBytes = 0;      // their size
};

// What the last decoder on this thread said when it refused a file, in its
// own words; empty when it said nothing
extern thread_local std::string decoderSays;

bool allocateRows(RawImage& image); // Room for the whole image and a pointer to each row; false when there is none
