#pragma once
// Reads an image's width and height from its header without decoding it, and
// decodes a whole image to RGBA pixels. Both are safe on any thread.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

struct ImageSize {
    bool known = false;      // false when the header could not be read (the full load then reports it)
    unsigned int width = 0;  // pixels
    unsigned int height = 0; // pixels
};

// Frees pixels that the decoder allocated
struct FreePixels {
    void operator()(std::uint8_t* pixels) const { std::free(pixels); }
};

// A whole image as 8-bit RGBA, rows from the top, as the texture loader reads it
struct DecodedImage {
    unsigned int width = 0;                        // pixels
    unsigned int height = 0;                       // pixels
    std::unique_ptr<std::uint8_t, FreePixels> pixels; // width * height * 4 bytes; null when decoding failed
};

// Both leave a special file unopened: a FIFO would block them
ImageSize readImageSize(const std::string& path);
DecodedImage decodeImage(const std::string& path, unsigned int largest,
                         DecodedImage reuse = DecodedImage()); // Pixels stay null when the file is no image this can decode exactly as the media library does, or a side is above `largest`; writes nothing. The pixels of `reuse` are written over when they have room, else freed

// NOTE: PNG is decoded with libpng and JPEG with libjpeg-turbo, both faster
// than the decoder inside the media library. A PNG gives the very pixels the
// media library gives; a JPEG may differ by a level or two, as JPEG decoders
// do. What either library refuses or warns about (a damaged file, a JPEG in
// CMYK or stored as RGB) gets no pixels here, and the caller loads it with the
// media library, which then says what it says. Other formats are decoded with
// the media library's own decoder, stb_image.
