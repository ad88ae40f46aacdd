#include "pictures/stb.h"

#include "pictures/limits.h"

#include <cstdlib>
#include <unordered_map>

namespace {

// NOTE: stb_image allocates through these, within a budget for each picture.
// Its size query and its decoder can disagree on what a file is (the query
// gives up on a PIC midway and reads on as another format), so the size
// checked before decoding is not always the size decoded: no decode may hold
// more than a picture of the most pixels needs, 20 bytes a pixel (an HDR
// picture's floats and the bytes made from them), whatever the file claims.
struct StbBudget {
    std::size_t left = 0;                            // bytes the decode may still take
    std::unordered_map<void*, std::size_t> blocks;   // what it holds, by block
};
thread_local StbBudget stbBudget;

void* stbAllocate(std::size_t size)
{
    if (size > stbBudget.left)
        return nullptr;
    void* block = std::malloc(size);
    if (block) {
        stbBudget.blocks[block] = size;
        stbBudget.left -= size;
    }
    return block;
}

void stbRelease(void* block)
{
    const auto held = stbBudget.blocks.find(block);
    if (held != stbBudget.blocks.end()) {
        stbBudget.left += held->second;
        stbBudget.blocks.erase(held);
    }
    std::free(block);
}

void* stbReallocate(void* block, std::size_t size)
{
    if (!block)
        return stbAllocate(size);
    const auto held = stbBudget.blocks.find(block);
    const std::size_t before = held != stbBudget.blocks.end() ? held->second : 0;
    if (size > before && size - before > stbBudget.left)
        return nullptr;
    void* moved = std::realloc(block, size);
    if (!moved)
        return nullptr;
    stbBudget.blocks.erase(block);
    stbBudget.blocks[moved] = size;
    stbBudget.left = stbBudget.left + before - size;
    return moved;
}

// A call into stb_image with its budget. At the end, what the decoder still
// holds, but for the block it handed over, is a block it lost on an error
struct StbCall {
    explicit StbCall(std::size_t budget) { stbBudget.left = budget; }
    ~StbCall()
    {
        stbBudget.blocks.erase(handedOver);
        for (const auto& held : stbBudget.blocks)
            std::free(held.first);
        stbBudget.blocks.clear();
        stbBudget.left = 0;
    }
    StbCall(const StbCall&) = delete;
    StbCall& operator=(const StbCall&) = delete;
    void* handedOver = nullptr;
};

} // namespace

#define STBI_MALLOC(size) stbAllocate(size)
#define STBI_REALLOC(block, size) stbReallocate(block, size)
#define STBI_FREE(block) stbRelease(block)
// NOTE: static, so that these copies never stand in for the ones inside the
// media library
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WARNINGS
// Only the formats the program takes; PNG and JPEG have libraries of their own
#define STBI_NO_PNG
#define STBI_NO_JPEG
#define STBI_NO_PNM
#include <stb_image.h>

namespace {

// The file as stb_image reads it, noting a read asked of it past its end.
// NOTE: stb_image's BMP, TGA, GIF, PSD, HDR and PIC readers take the zeros it
// makes up past the end as pixels: a file cut short (a save caught halfway)
// would decode to a picture with its lower part black
struct StbFile {
    std::FILE* file;
    bool readPastTheEnd = false;
};

int readStb(void* user, char* data, int size)
{
    StbFile& from = *static_cast<StbFile*>(user);
    const int got = static_cast<int>(std::fread(data, 1, static_cast<std::size_t>(size), from.file));
    if (got == 0 && size > 0)
        from.readPastTheEnd = true;
    return got;
}

// NOTE: a skip past the end is not noted: it is found by the next read, if
// any; a BMP's last row may end in padding that a file need not hold
void skipStb(void* user, int count)
{
    std::fseek(static_cast<StbFile*>(user)->file, count, SEEK_CUR);
}

int atEndStb(void* user)
{
    const StbFile& from = *static_cast<StbFile*>(user);
    return std::feof(from.file) || std::ferror(from.file);
}

} // namespace

Outcome decodeWithStb(std::FILE* file, RawImage& image)
{
    // One megabyte more for the decoders' tables and scanlines
    StbCall call(static_cast<std::size_t>(pictureLimits.mostPixels) * 20 + (1u << 20));
    int width = 0, height = 0, channels = 0;
    StbFile from{file};
    const stbi_io_callbacks callbacks{readStb, skipStb, atEndStb};
    image.pixels = stbi_load_from_callbacks(&callbacks, &from, &width, &height, &channels, STBI_rgb_alpha);
    call.handedOver = image.pixels;
    image.width = static_cast<unsigned int>(width);
    image.height = static_cast<unsigned int>(height);
    if (image.pixels && from.readPastTheEnd) {
        // Refused: the caller frees nothing it was not handed
        call.handedOver = nullptr;
        image.pixels = nullptr;
        decoderSays = "the file ends before its pixels do";
        return Outcome::Refused;
    }
    if (!image.pixels && stbi_failure_reason())
        decoderSays = std::string("stb_image says: ") + stbi_failure_reason();
    return image.pixels ? Outcome::Decoded : Outcome::Refused;
}

ImageSize stbSize(std::FILE* file)
{
    ImageSize size;
    // The size query reads headers only: a megabyte is plenty
    const StbCall call(1u << 20);
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_file(file, &width, &height, &channels) && width > 0 && height > 0) {
        size.known = true;
        size.width = static_cast<unsigned int>(width);
        size.height = static_cast<unsigned int>(height);
    }
    return size;
}
