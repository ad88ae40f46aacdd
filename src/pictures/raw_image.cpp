#include "pictures/raw_image.h"

#include <cstdlib>

// NOTE: an earlier image's buffer is written over when it is large enough:
// its memory is in place already, where a new one would be faulted in page
// by page
thread_local std::string decoderSays;

bool allocateRows(RawImage& image)
{
    const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
    if (image.spare && image.spareBytes >= stride * image.height) {
        image.pixels = image.spare;
        image.spare = nullptr;
    } else {
        image.pixels = static_cast<unsigned char*>(std::malloc(stride * image.height));
    }
    image.rows = static_cast<unsigned char**>(std::malloc(sizeof(unsigned char*) * image.height));
    if (!image.pixels || !image.rows)
        return false;
    for (unsigned int y = 0; y < image.height; ++y)
        image.rows[y] = image.pixels + stride * y;
    return true;
}
