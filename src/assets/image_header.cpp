#include "assets/image_header.h"

#include "base/files.h"

#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <unordered_map>

// NOTE: libjpeg's header needs FILE and size_t declared first
#include <jpeglib.h>
#include <png.h>

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

unsigned long long mostPixels = 1ull << 23;

namespace {

// What a decoder made of a file
enum class Outcome {
    Decoded,      // the pixels are there
    MediaLibrary, // no pixels; the media library's own loading may try
    Refused,      // no pixels, and nothing else may try
};

// Pixels being decoded. The decoders below return from a library's error
// through longjmp, which skips destructors, so they hold what they allocate
// here, in plain pointers that the caller frees
struct RawImage {
    unsigned int width = 0;
    unsigned int height = 0;
    unsigned char* pixels = nullptr; // malloc'd, width * height * 4
    unsigned char** rows = nullptr;  // malloc'd row pointers into pixels
    unsigned char* spare = nullptr;  // malloc'd pixels of an earlier image, to be written over
    std::size_t spareBytes = 0;      // their size
};

// Room for the whole image and a pointer to each row; false when there is none.
// NOTE: an earlier image's buffer is written over when it is large enough:
// its memory is in place already, where a new one would be faulted in page
// by page
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

// libpng reports through these: nothing is written, and an error ends the decode
void pngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// NOTE: the transforms give what stb_image gives: palette and tRNS expanded
// to RGBA, grey widened to RGB, 16-bit channels cut to their high byte, and
// no gamma or colour conversion at all (libpng changes colours only when
// asked to). Elsewhere libpng is as strict as stb_image or stricter: a
// missing end chunk, or anything it would only warn about, ends the decode,
// so that no picture loads that the media library's own loading refused.
Outcome decodePng(std::FILE* file, unsigned int largest, RawImage& image)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png)
        return Outcome::Refused;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Outcome::Refused;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Outcome::Refused;
    }
    png_set_benign_errors(png, 0);
    png_set_user_limits(png, largest, largest);
    // NOTE: libpng's default cap on a chunk's length (8 MB) also refuses a
    // pixel data chunk larger than the pixels, which encoders with weak
    // compression (stb_image_write among them) write for noisy pictures. The
    // pixel data is streamed, and every chunk that libpng would allocate
    // whole is skipped below, so no cap is needed
    png_set_chunk_malloc_max(png, 0);
    // NOTE: stb_image checks neither the chunks' CRCs nor the pixel data's
    // Adler-32, so a file with a wrong one is a picture to it; skipping both
    // gives the same answer and saves a pass over every byte
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    // The ancillary chunks that stb_image never reads are skipped unread,
    // colour profiles and gamma included; tRNS, the one it uses, is kept
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_init_io(png, file);
    png_read_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(image.width) * 4 || !allocateRows(image))
        png_error(png, "unexpected layout");
    png_read_image(png, image.rows);
    // stb_image decodes at the end chunk: a file without one is not an image to it
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return Outcome::Decoded;
}

// libjpeg's error manager, with where to return to on an error
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegError(j_common_ptr decoder)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(decoder->err)->jump, 1);
}

// A warning means damaged data, which decoders fill in differently, and on
// which the media library's decoder is not safe: the file is refused
void jpegMessage(j_common_ptr decoder, int level)
{
    if (level < 0)
        jpegError(decoder);
}

void jpegOutput(j_common_ptr) {}

void reportJpegErrors(jpeg_decompress_struct& decoder, JpegErrors& errors)
{
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegError;
    errors.manager.emit_message = jpegMessage;
    errors.manager.output_message = jpegOutput;
}

// Reads the rest of a JPEG without keeping it, in the colours libjpeg-turbo
// gives; the decoder has read the header. The row is left in image.pixels.
void readThrough(jpeg_decompress_struct& decoder, RawImage& image)
{
    jpeg_start_decompress(&decoder);
    const std::size_t rowBytes = static_cast<std::size_t>(decoder.output_width) * decoder.output_components;
    image.pixels = static_cast<unsigned char*>(std::malloc(rowBytes));
    if (!image.pixels)
        jpegError(reinterpret_cast<j_common_ptr>(&decoder));
    JSAMPROW row = image.pixels;
    while (decoder.output_scanline < decoder.output_height)
        jpeg_read_scanlines(&decoder, &row, 1);
    jpeg_finish_decompress(&decoder);
}

// NOTE: only the usual JPEGs, YCbCr or grey, become pixels here. CMYK, YCCK
// and RGB JPEGs, arithmetic coding and odd sampling keep the media library's
// own handling, but only once libjpeg-turbo has read them through without a
// fault: the media library's decoder aborts, or writes past its tables, on
// some damaged JPEGs
Outcome decodeJpeg(std::FILE* file, RawImage& image)
{
    jpeg_decompress_struct decoder;
    JpegErrors errors;
    reportJpegErrors(decoder, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&decoder);
        return Outcome::Refused;
    }
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    bool usual = (decoder.jpeg_color_space == JCS_YCbCr && decoder.num_components == 3) ||
                 (decoder.jpeg_color_space == JCS_GRAYSCALE && decoder.num_components == 1);
    usual = usual && !decoder.arith_code && decoder.data_precision == 8;
    for (int i = 0; usual && i < decoder.num_components; ++i) {
        const jpeg_component_info& component = decoder.comp_info[i];
        const bool luma = i == 0 && component.h_samp_factor <= 2 && component.v_samp_factor <= 2;
        usual = luma || (component.h_samp_factor == 1 && component.v_samp_factor == 1);
    }
    if (!usual) {
        readThrough(decoder, image);
        jpeg_destroy_decompress(&decoder);
        return Outcome::MediaLibrary;
    }
    decoder.out_color_space = JCS_EXT_RGBA;
    decoder.dct_method = JDCT_ISLOW;
    decoder.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&decoder);
    image.width = decoder.output_width;
    image.height = decoder.output_height;
    if (decoder.output_components != 4 || !allocateRows(image))
        jpegError(reinterpret_cast<j_common_ptr>(&decoder));
    while (decoder.output_scanline < decoder.output_height)
        jpeg_read_scanlines(&decoder, image.rows + decoder.output_scanline, decoder.output_height - decoder.output_scanline);
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return Outcome::Decoded;
}

// A JPEG's size from its header, read by libjpeg-turbo: stb_image's header
// reader writes past its tables on some damaged files
ImageSize jpegSize(std::FILE* file)
{
    ImageSize size;
    jpeg_decompress_struct decoder;
    JpegErrors errors;
    reportJpegErrors(decoder, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&decoder);
        return ImageSize();
    }
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    size.width = decoder.image_width;
    size.height = decoder.image_height;
    size.known = size.width > 0 && size.height > 0;
    jpeg_destroy_decompress(&decoder);
    return size;
}

// The system's stb_image, for every other format; the caller has checked the
// size its header gives
Outcome decodeOther(std::FILE* file, RawImage& image)
{
    // One megabyte more for the decoders' tables and scanlines
    StbCall call(static_cast<std::size_t>(mostPixels) * 20 + (1u << 20));
    int width = 0, height = 0, channels = 0;
    image.pixels = stbi_load_from_file(file, &width, &height, &channels, STBI_rgb_alpha);
    call.handedOver = image.pixels;
    image.width = static_cast<unsigned int>(width);
    image.height = static_cast<unsigned int>(height);
    return image.pixels ? Outcome::Decoded : Outcome::Refused;
}

bool isPng(const unsigned char* header, std::size_t length)
{
    return length >= 8 && png_sig_cmp(header, 0, 8) == 0;
}

bool isJpeg(const unsigned char* header, std::size_t length)
{
    return length >= 3 && header[0] == 0xff && header[1] == 0xd8 && header[2] == 0xff;
}

// A file's first bytes: enough for its format and, for a PNG, its size
struct Header {
    unsigned char bytes[24];
    std::size_t length = 0;
};

// Reads the first bytes and goes back to the start
Header readHeader(std::FILE* file)
{
    Header header;
    header.length = std::fread(header.bytes, 1, sizeof header.bytes, file);
    std::rewind(file);
    return header;
}

// The size the file's header gives; the file is left at its start
ImageSize sizeFromHeader(std::FILE* file, const Header& first)
{
    ImageSize size;
    const unsigned char* header = first.bytes;
    const std::size_t length = first.length;
    // A PNG's size is read from its header directly: the decoder's own
    // check refuses sizes it finds too large without saying how large
    const unsigned char ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    if (isPng(header, length)) {
        if (length == sizeof first.bytes && std::memcmp(header + 8, ihdr, sizeof ihdr) == 0) {
            auto bigEndian = [](const unsigned char* b) {
                return (unsigned int)b[0] << 24 | (unsigned int)b[1] << 16 | (unsigned int)b[2] << 8 | b[3];
            };
            size.width = bigEndian(header + 16);
            size.height = bigEndian(header + 20);
            size.known = size.width > 0 && size.height > 0;
        }
    } else if (isJpeg(header, length)) {
        size = jpegSize(file);
    } else {
        // The size query reads headers only: a megabyte is plenty
        const StbCall call(1u << 20);
        int width = 0, height = 0, channels = 0;
        if (stbi_info_from_file(file, &width, &height, &channels) && width > 0 && height > 0) {
            size.known = true;
            size.width = static_cast<unsigned int>(width);
            size.height = static_cast<unsigned int>(height);
        }
    }
    std::rewind(file);
    return size;
}

} // namespace

ImageSize readImageSize(const std::string& path)
{
    if (isSpecialFile(path))
        return ImageSize();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return ImageSize();
    const ImageSize size = sizeFromHeader(file, readHeader(file));
    std::fclose(file);
    return size;
}

bool tooLarge(const ImageSize& size, unsigned int largest)
{
    return size.known && (size.width > largest || size.height > largest ||
                          static_cast<unsigned long long>(size.width) * size.height > mostPixels);
}

DecodedImage decodeImage(const std::string& path, unsigned int largest, DecodedImage reuse)
{
    DecodedImage decoded;
    if (isSpecialFile(path))
        return decoded;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        // It says why it cannot open the file
        decoded.mediaLibraryMayTry = true;
        return decoded;
    }
    const Header header = readHeader(file);
    const ImageSize size = sizeFromHeader(file, header);
    RawImage image;
    image.spareBytes = static_cast<std::size_t>(reuse.width) * reuse.height * 4;
    image.spare = reuse.pixels.release();
    // Nothing is decoded that the header says is too large; a format other
    // than PNG or JPEG must say its size before it is decoded at all
    Outcome outcome = Outcome::Refused;
    if (tooLarge(size, largest))
        outcome = Outcome::Refused;
    else if (isPng(header.bytes, header.length)) {
        // NOTE: a PNG libpng cannot read never reaches the media library's
        // decoder: it takes chunk lengths on trust, and its zlib reader goes
        // on past the end of the data, a gigabyte of output for a few bytes
        outcome = decodePng(file, largest, image);
    }
    else if (isJpeg(header.bytes, header.length))
        outcome = decodeJpeg(file, image);
    else if (size.known)
        outcome = decodeOther(file, image);
    std::fclose(file);
    std::free(image.rows);
    std::free(image.spare);
    // Checked again on what was decoded: the header is not the only word on it
    if (outcome == Outcome::Decoded && !tooLarge({true, image.width, image.height}, largest)) {
        decoded.pixels.reset(image.pixels);
        decoded.width = image.width;
        decoded.height = image.height;
        return decoded;
    }
    std::free(image.pixels);
    decoded.mediaLibraryMayTry = outcome == Outcome::MediaLibrary;
    return decoded;
}
