#include "assets/image_header.h"

#include "assets/catalogue.h"

#include <cstdio>
#include <cstring>

// NOTE: static, so that these copies never stand in for the ones inside the
// media library
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WARNINGS
#include <stb_image.h>

ImageSize readImageSize(const std::string& path)
{
    ImageSize size;
    if (isSpecialFile(path))
        return size;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return size;
    // A PNG's size is read from its header directly: the decoder's own
    // check refuses sizes it finds too large without saying how large
    unsigned char header[24];
    const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (std::fread(header, 1, sizeof header, file) == sizeof header && std::memcmp(header, png, sizeof png) == 0) {
        auto bigEndian = [](const unsigned char* b) {
            return (unsigned int)b[0] << 24 | (unsigned int)b[1] << 16 | (unsigned int)b[2] << 8 | b[3];
        };
        size.width = bigEndian(header + 16);
        size.height = bigEndian(header + 20);
        size.known = size.width > 0 && size.height > 0;
        std::fclose(file);
        return size;
    }
    std::rewind(file);
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_file(file, &width, &height, &channels) && width > 0 && height > 0) {
        size.known = true;
        size.width = static_cast<unsigned int>(width);
        size.height = static_cast<unsigned int>(height);
    }
    std::fclose(file);
    return size;
}

DecodedImage decodeImage(const std::string& path)
{
    // The media library's texture loader decodes with this same library and
    // these same arguments, so both give the same pixels
    DecodedImage image;
    if (isSpecialFile(path))
        return image;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, STBI_rgb_alpha);
    if (!pixels)
        return image;
    image.pixels.reset(pixels);
    image.width = static_cast<unsigned int>(width);
    image.height = static_cast<unsigned int>(height);
    return image;
}
