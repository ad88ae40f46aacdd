#include "assets/image_header.h"

#include "assets/catalogue.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

// NOTE: libjpeg's header needs FILE and size_t declared first
#include <jpeglib.h>
#include <png.h>

// NOTE: static, so that these copies never stand in for the ones inside the
// media library
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO_WARNINGS
#include <stb_image.h>

namespace {

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
// so the media library has the last word on every doubtful file.
bool decodePng(std::FILE* file, unsigned int largest, RawImage& image)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_benign_errors(png, 0);
    png_set_user_limits(png, largest, largest);
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
    // stb_image refuses a picture of more than a gigabyte of pixels
    if (static_cast<unsigned long long>(image.width) * image.height * 4 > (1ull << 30))
        png_error(png, "too large");
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
    return true;
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

// A warning means damaged data, which decoders fill in differently: the
// media library decides about that file
void jpegMessage(j_common_ptr decoder, int level)
{
    if (level < 0)
        jpegError(decoder);
}

void jpegOutput(j_common_ptr) {}

// NOTE: only the usual JPEGs, YCbCr or grey; CMYK, YCCK and RGB JPEGs keep
// the media library's colour handling
bool decodeJpeg(std::FILE* file, unsigned int largest, RawImage& image)
{
    jpeg_decompress_struct decoder;
    JpegErrors errors;
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegError;
    errors.manager.emit_message = jpegMessage;
    errors.manager.output_message = jpegOutput;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    // Arithmetic coding and odd sampling are beyond stb_image, or decoded
    // there in its own way
    bool usual = (decoder.jpeg_color_space == JCS_YCbCr && decoder.num_components == 3) ||
                 (decoder.jpeg_color_space == JCS_GRAYSCALE && decoder.num_components == 1);
    usual = usual && !decoder.arith_code && decoder.data_precision == 8;
    for (int i = 0; usual && i < decoder.num_components; ++i) {
        const jpeg_component_info& component = decoder.comp_info[i];
        const bool luma = i == 0 && component.h_samp_factor <= 2 && component.v_samp_factor <= 2;
        usual = luma || (component.h_samp_factor == 1 && component.v_samp_factor == 1);
    }
    if (!usual || decoder.image_width > largest || decoder.image_height > largest) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    decoder.out_color_space = JCS_EXT_RGBA;
    decoder.dct_method = JDCT_ISLOW;
    decoder.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&decoder);
    image.width = decoder.output_width;
    image.height = decoder.output_height;
    if (decoder.output_components != 4 || !allocateRows(image)) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    while (decoder.output_scanline < decoder.output_height)
        jpeg_read_scanlines(&decoder, image.rows + decoder.output_scanline, decoder.output_height - decoder.output_scanline);
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return true;
}

// The media library's own decoder, for every other format
bool decodeOther(std::FILE* file, unsigned int largest, RawImage& image)
{
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_file(file, &width, &height, &channels) || width <= 0 || height <= 0 ||
        static_cast<unsigned int>(width) > largest || static_cast<unsigned int>(height) > largest)
        return false;
    image.pixels = stbi_load_from_file(file, &width, &height, &channels, STBI_rgb_alpha);
    image.width = static_cast<unsigned int>(width);
    image.height = static_cast<unsigned int>(height);
    return image.pixels != nullptr;
}

} // namespace

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

DecodedImage decodeImage(const std::string& path, unsigned int largest, DecodedImage reuse)
{
    DecodedImage decoded;
    if (isSpecialFile(path))
        return decoded;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return decoded;
    unsigned char signature[8];
    const std::size_t read = std::fread(signature, 1, sizeof signature, file);
    std::rewind(file);
    RawImage image;
    image.spareBytes = static_cast<std::size_t>(reuse.width) * reuse.height * 4;
    image.spare = reuse.pixels.release();
    bool done = false;
    if (read == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0)
        done = decodePng(file, largest, image);
    else if (read >= 3 && signature[0] == 0xff && signature[1] == 0xd8 && signature[2] == 0xff)
        done = decodeJpeg(file, largest, image);
    else
        done = decodeOther(file, largest, image);
    std::fclose(file);
    std::free(image.rows);
    std::free(image.spare);
    if (!done) {
        std::free(image.pixels);
        return decoded;
    }
    decoded.pixels.reset(image.pixels);
    decoded.width = image.width;
    decoded.height = image.height;
    return decoded;
}
