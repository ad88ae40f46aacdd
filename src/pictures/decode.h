#pragma once
// Reads an image's width and height from its header without decoding it, and
// decodes a whole image to RGBA pixels, choosing the decoder by the file's
// first bytes. Both are safe on any thread.

#include "pictures/image_size.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

// Frees pixels that the decoder allocated
struct FreePixels {
    void operator()(std::uint8_t* pixels) const { std::free(pixels); }
};

// A whole image as 8-bit RGBA, rows from the top, as the texture loader reads it
struct DecodedImage {
    unsigned int width = 0;                        // pixels
    unsigned int height = 0;                       // pixels
    std::unique_ptr<std::uint8_t, FreePixels> pixels; // width * height * 4 bytes; null when decoding failed
    // Without pixels: the media library's own loading may be asked instead,
    // and say what it says (a file that cannot be opened, a sound JPEG in
    // colours it handles its own way). Any other file without pixels is
    // refused outright: the media library's decoder is not safe on it.
    bool mediaLibraryMayTry = false;
    // The size the file's header gave, pixels or not: it says why a picture
    // too large was refused without the file being read again
    ImageSize header;
    // Without pixels, why, in words for the picture's author: its size
    // against the limit, the decoder's reason, or that it is no picture;
    // empty when the media library may try, or the file is not there
    std::string refusal;
};

// Both leave a special file unopened: a FIFO would block them
ImageSize readImageSize(const std::string& path);
bool tooLarge(const ImageSize& size, unsigned int largest); // A side above `largest`, or more than pictureLimits.mostPixels in all
DecodedImage decodeImage(const std::string& path, unsigned int largest,
                         DecodedImage reuse = DecodedImage()); // Pixels stay null when the file is no image this can decode exactly as the media library does, or a side is above `largest`; writes nothing. The pixels of `reuse` are written over when they have room, else freed

// NOTE: PNG is decoded with libpng and JPEG with libjpeg-turbo, both faster
// than the decoder inside the media library. A PNG gives the very pixels the
// media library gives; a JPEG may differ by a level or two, as JPEG decoders
// do. A PNG that libpng refuses is refused: the media library's PNG decoder
// takes chunk lengths on trust and reads on past the pixel data. A JPEG that
// libjpeg-turbo refuses or warns about is refused: the media library's JPEG
// decoder aborts or overruns its tables on some damaged files; one that
// libjpeg-turbo reads cleanly but in colours the media library treats its own
// way (CMYK, YCCK, RGB) is left to it. Other formats are decoded with the
// system's stb_image, a newer copy of the media library's own decoder, and
// refused when it cannot: the media library's older copy is not asked.
