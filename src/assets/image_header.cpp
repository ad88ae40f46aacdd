#include "assets/image_header.h"

#include <cstdio>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WARNINGS
#include <stb/stb_image.h>

ImageSize readImageSize(const std::string& path)
{
    ImageSize size;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return size;
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_file(file, &width, &height, &channels) && width > 0 && height > 0) {
        size.known = true;
        size.width = static_cast<unsigned int>(width);
        size.height = static_cast<unsigned int>(height);
    }
    std::fclose(file);
    return size;
}
