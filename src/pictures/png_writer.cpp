#include "pictures/png_writer.h"

#include <cstdio>

namespace {

// libpng reports through these: an error ends the step it happened in
void writeError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void writeWarning(png_structp, png_const_charp) {}

} // namespace

PngWriter::~PngWriter()
{
    close();
    if (!done && !path.empty())
        std::remove(path.c_str());
}

void PngWriter::close()
{
    if (png)
        png_destroy_write_struct(&png, &info);
    png = nullptr;
    info = nullptr;
    if (file)
        std::fclose(file);
    file = nullptr;
}

bool PngWriter::open(const std::string& to, unsigned int w, unsigned int h)
{
    file = std::fopen(to.c_str(), "wb");
    if (!file) {
        failed = true;
        return false;
    }
    path = to;
    width = w;
    rowsLeft = h;
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, writeError, writeWarning);
    info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        failed = true;
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        failed = true;
        return false;
    }
    png_init_io(png, file);
    // NOTE: zlib's fastest level: a sheet of hundreds of tiles is over a
    // hundred megabytes of pixels, and the default level took seconds
    // longer for a file barely smaller
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    return true;
}

bool PngWriter::write(const std::uint8_t* pixels, unsigned int rows)
{
    if (failed || rows > rowsLeft) {
        failed = true;
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        failed = true;
        return false;
    }
    for (unsigned int row = 0; row < rows; ++row)
        png_write_row(png, pixels + static_cast<std::size_t>(row) * width * 4);
    rowsLeft -= rows;
    return true;
}

bool PngWriter::finish()
{
    if (failed || rowsLeft != 0)
        return false;
    if (setjmp(png_jmpbuf(png))) {
        failed = true;
        return false;
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    png = nullptr;
    info = nullptr;
    // A full disk shows when the last bytes are flushed
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    done = flushed && closed;
    return done;
}
