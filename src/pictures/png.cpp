#include "pictures/png.h"

#include <png.h>

namespace {

// libpng reports through these: nothing is written, and an error ends the
// decode, its words kept to say why
void pngError(png_structp png, png_const_charp message)
{
    decoderSays = std::string("libpng says: ") + (message ? message : "");
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

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
