#include "pictures/sniff.h"

#include "pictures/jpeg.h"
#include "pictures/stb.h"

#include <cstring>

#include <png.h>

Header readHeader(std::FILE* file)
{
    Header header;
    header.length = std::fread(header.bytes, 1, sizeof header.bytes, file);
    std::rewind(file);
    return header;
}

bool isPng(const Header& header)
{
    return header.length >= 8 && png_sig_cmp(header.bytes, 0, 8) == 0;
}

bool isJpeg(const Header& header)
{
    return header.length >= 3 && header.bytes[0] == 0xff && header.bytes[1] == 0xd8 && header.bytes[2] == 0xff;
}

ImageSize sizeFromHeader(std::FILE* file, const Header& first)
{
    ImageSize size;
    const unsigned char* header = first.bytes;
    const std::size_t length = first.length;
    // A PNG's size is read from its header directly: the decoder's own
    // check refuses sizes it finds too large without saying how large
    const unsigned char ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (isPng(first)) {
        if (length == sizeof first.bytes && std::memcmp(header + 8, ihdr, sizeof ihdr) == 0) {
            auto bigEndian = [](const unsigned char* b) {
                return (unsigned int)b[0] << 24 | (unsigned int)b[1] << 16 | (unsigned int)b[2] << 8 | b[3];
            };
            size.width = bigEndian(header + 16);
            size.height = bigEndian(header + 20);
            size.known = size.width > 0 && size.height > 0;
        }
    } else if (isJpeg(first)) {
        size = jpegSize(file);
    } else {
        size = stbSize(file);
    }
    std::rewind(file);
    return size;
}
