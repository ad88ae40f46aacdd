#pragma once
// Writes a PNG a band of rows at a time, so that a tall picture never has to
// be held whole: RGBA, 8 bits a channel, as the media library writes them.

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>

class PngWriter {
public:
    PngWriter() = default;
    ~PngWriter(); // An unfinished file is removed
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    bool open(const std::string& path, unsigned int width, unsigned int height); // Creates the file and writes its header
    bool write(const std::uint8_t* pixels, unsigned int rows); // The next rows, width * 4 bytes each, top to bottom
    bool finish();                                              // Ends the file once every row is written; false if any step failed

private:
    std::string path;
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    unsigned int width = 0;
    unsigned int rowsLeft = 0;
    bool failed = false;
    bool done = false;

    void close();
};
