#include "pictures/jpeg.h"

#include <csetjmp>
#include <cstdlib>
#include <cstdio>

// NOTE: libjpeg's header needs FILE and size_t declared first
#include <jpeglib.h>

namespace {

// libjpeg's error manager, with where to return to on an error
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegError(j_common_ptr decoder)
{
    // Its words are kept to say why
    char message[JMSG_LENGTH_MAX] = "";
    (*decoder->err->format_message)(decoder, message);
    if (decoderSays.empty())
        decoderSays = std::string("libjpeg-turbo says: ") + message;
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
// some damaged JPEGs.
// Reads the header, with its size, and then, unless `image` is null, the
// pixels. One set-up of the error manager for both: every error or warning
// returns to the setjmp here, which must be in the frame that libjpeg's calls
// return through.
Outcome readJpeg(std::FILE* file, ImageSize& size, RawImage* image)
{
    jpeg_decompress_struct decoder;
    JpegErrors errors;
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegError;
    errors.manager.emit_message = jpegMessage;
    errors.manager.output_message = jpegOutput;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&decoder);
        return Outcome::Refused;
    }
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    size.width = decoder.image_width;
    size.height = decoder.image_height;
    size.known = size.width > 0 && size.height > 0;
    if (!image) {
        jpeg_destroy_decompress(&decoder);
        return Outcome::Decoded;
    }
    bool usual = (decoder.jpeg_color_space == JCS_YCbCr && decoder.num_components == 3) ||
                 (decoder.jpeg_color_space == JCS_GRAYSCALE && decoder.num_components == 1);
    usual = usual && !decoder.arith_code && decoder.data_precision == 8;
    for (int i = 0; usual && i < decoder.num_components; ++i) {
        const jpeg_component_info& component = decoder.comp_info[i];
        const bool luma = i == 0 && component.h_samp_factor <= 2 && component.v_samp_factor <= 2;
        usual = luma || (component.h_samp_factor == 1 && component.v_samp_factor == 1);
    }
    if (!usual) {
        readThrough(decoder, *image);
        jpeg_destroy_decompress(&decoder);
        return Outcome::MediaLibrary;
    }
    decoder.out_color_space = JCS_EXT_RGBA;
    decoder.dct_method = JDCT_ISLOW;
    decoder.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&decoder);
    image->width = decoder.output_width;
    image->height = decoder.output_height;
    if (decoder.output_components != 4 || !allocateRows(*image))
        jpegError(reinterpret_cast<j_common_ptr>(&decoder));
    while (decoder.output_scanline < decoder.output_height)
        jpeg_read_scanlines(&decoder, image->rows + decoder.output_scanline, decoder.output_height - decoder.output_scanline);
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return Outcome::Decoded;
}

} // namespace

Outcome decodeJpeg(std::FILE* file, RawImage& image)
{
    ImageSize size;
    return readJpeg(file, size, &image);
}

// NOTE: read by libjpeg-turbo: stb_image's header reader writes past its
// tables on some damaged files
ImageSize jpegSize(std::FILE* file)
{
    ImageSize size;
    if (readJpeg(file, size, nullptr) == Outcome::Refused)
        return ImageSize();
    return size;
}
