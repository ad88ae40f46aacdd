// The decoders the workers run, held to the media library's own loading:
// every PNG they decode has its pixels exactly, every file it refuses they
// refuse, and a JPEG differs from it by no more than decoders do.
#include "pictures/decode.h"
#include "pictures/limits.h"
#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/System/Err.hpp>
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

namespace {

// What a PNG fixture holds: the IHDR fields and the chunks that change pixels
struct PngCase {
    const char* name;
    int colourType;     // PNG_COLOR_TYPE_*
    int bitDepth;       // 1, 2, 4, 8 or 16
    bool interlaced;    // Adam7
    int transparent;    // tRNS: palette entries with alpha, or 1 for a grey/RGB key colour; 0 for none
    double gamma;       // gAMA's value, 0 for no chunk
    bool srgb;          // an sRGB chunk
};

// Samples per pixel of a colour type other than palette
int channelsOf(int colourType)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
    }
}

// The raw samples of a picture whose values cover each channel's whole
// range, so that scaling, byte order and channel mix-ups all show
std::vector<png_byte> samples(const PngCase& c, png_uint_32 width, png_uint_32 height, std::size_t& stride)
{
    const int channels = c.colourType == PNG_COLOR_TYPE_PALETTE ? 1 : channelsOf(c.colourType);
    stride = (static_cast<std::size_t>(width) * channels * c.bitDepth + 7) / 8;
    std::vector<png_byte> data(stride * height);
    std::uint32_t state = 12345u + static_cast<std::uint32_t>(c.colourType * 31 + c.bitDepth);
    for (png_byte& byte : data) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<png_byte>(state >> 24);
    }
    // A palette picture stays within its palette: the index is masked
    if (c.colourType == PNG_COLOR_TYPE_PALETTE && c.bitDepth == 8)
        for (png_byte& byte : data)
            byte &= 0x0f;
    // The first row holds the key colour of a tRNS chunk (all zero samples)
    if (c.transparent && c.colourType != PNG_COLOR_TYPE_PALETTE)
        std::memset(data.data(), 0, stride / 2);
    return data;
}

// Writes the PNG with libpng; false on a libpng error. Plain C inside: the
// error returns through longjmp
bool writePngFile(const char* path, const PngCase& c, png_uint_32 width, png_uint_32 height, png_bytep data,
                  std::size_t stride)
{
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, c.bitDepth, c.colourType,
                 c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[16];
    png_byte alphas[16];
    for (int i = 0; i < 16; ++i) {
        palette[i] = png_color{static_cast<png_byte>(i * 17), static_cast<png_byte>(255 - i * 13),
                               static_cast<png_byte>((i * 71) & 0xff)};
        alphas[i] = static_cast<png_byte>(i * 16);
    }
    const int entries = c.bitDepth < 4 ? 1 << c.bitDepth : 16;
    if (c.colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette, entries);
    if (c.transparent && c.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_tRNS(png, info, alphas, c.transparent < entries ? c.transparent : entries, nullptr);
    } else if (c.transparent) {
        png_color_16 key{};
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (c.gamma > 0)
        png_set_gAMA(png, info, c.gamma);
    if (c.srgb)
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_write_row(png, data + stride * y);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What the media library makes of a file: its pixels, or nothing; its own
// failure lines go nowhere
struct Reference {
    bool loaded = false;
    sf::Image image;
};

Reference mediaLibraryLoad(const std::string& path)
{
    std::ostringstream quiet;
    std::streambuf* previous = sf::err().rdbuf(quiet.rdbuf());
    Reference reference;
    reference.loaded = reference.image.loadFromFile(path);
    sf::err().rdbuf(previous);
    return reference;
}

// True when the decoded pixels are the media library's, byte for byte
::testing::AssertionResult samePixels(const DecodedImage& decoded, const sf::Image& reference)
{
    if (sf::Vector2u(decoded.width, decoded.height) != reference.getSize())
        return ::testing::AssertionFailure() << "size " << decoded.width << "x" << decoded.height << " against "
                                             << reference.getSize().x << "x" << reference.getSize().y;
    const std::size_t bytes = static_cast<std::size_t>(decoded.width) * decoded.height * 4;
    const std::uint8_t* ours = decoded.pixels.get();
    const sf::Uint8* theirs = reference.getPixelsPtr();
    for (std::size_t i = 0; i < bytes; ++i)
        if (ours[i] != theirs[i])
            return ::testing::AssertionFailure() << "byte " << i << " (pixel " << i / 4 << ", channel " << i % 4
                                                 << ") is " << int(ours[i]) << ", the media library's " << int(theirs[i]);
    return ::testing::AssertionSuccess();
}

const unsigned int anySize = 16384;

TEST(PngDecoding, GivesTheMediaLibrarysPixelsForEveryKindOfPng)
{
    const PngCase cases[] = {
        {"rgb 8", PNG_COLOR_TYPE_RGB, 8, false, 0, 0, false},
        {"rgba 8", PNG_COLOR_TYPE_RGBA, 8, false, 0, 0, false},
        {"rgb 16", PNG_COLOR_TYPE_RGB, 16, false, 0, 0, false},
        {"rgba 16", PNG_COLOR_TYPE_RGBA, 16, false, 0, 0, false},
        {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, false, 0, 0, false},
        {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, false, 0, 0, false},
        {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, false, 0, 0, false},
        {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, false, 0, 0, false},
        {"palette 8, tRNS on every entry", PNG_COLOR_TYPE_PALETTE, 8, false, 16, 0, false},
        {"palette 8, tRNS on the first 5", PNG_COLOR_TYPE_PALETTE, 8, false, 5, 0, false},
        {"palette 2, tRNS", PNG_COLOR_TYPE_PALETTE, 2, false, 3, 0, false},
        {"grey 1", PNG_COLOR_TYPE_GRAY, 1, false, 0, 0, false},
        {"grey 2", PNG_COLOR_TYPE_GRAY, 2, false, 0, 0, false},
        {"grey 4", PNG_COLOR_TYPE_GRAY, 4, false, 0, 0, false},
        {"grey 8", PNG_COLOR_TYPE_GRAY, 8, false, 0, 0, false},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, false, 0, 0, false},
        {"grey 1, tRNS", PNG_COLOR_TYPE_GRAY, 1, false, 1, 0, false},
        {"grey 4, tRNS", PNG_COLOR_TYPE_GRAY, 4, false, 1, 0, false},
        {"grey 8, tRNS", PNG_COLOR_TYPE_GRAY, 8, false, 1, 0, false},
        {"grey 16, tRNS", PNG_COLOR_TYPE_GRAY, 16, false, 1, 0, false},
        {"rgb 8, tRNS", PNG_COLOR_TYPE_RGB, 8, false, 1, 0, false},
        {"rgb 16, tRNS", PNG_COLOR_TYPE_RGB, 16, false, 1, 0, false},
        {"grey and alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 0, 0, false},
        {"grey and alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, 0, 0, false},
        {"rgb 8, interlaced", PNG_COLOR_TYPE_RGB, 8, true, 0, 0, false},
        {"rgba 16, interlaced", PNG_COLOR_TYPE_RGBA, 16, true, 0, 0, false},
        {"palette 4, tRNS, interlaced", PNG_COLOR_TYPE_PALETTE, 4, true, 7, 0, false},
        {"grey 2, interlaced", PNG_COLOR_TYPE_GRAY, 2, true, 0, 0, false},
        {"grey and alpha 8, interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 8, true, 0, 0, false},
        {"rgb 8, gAMA 1.0", PNG_COLOR_TYPE_RGB, 8, false, 0, 1.0, false},
        {"rgba 8, gAMA 0.45455", PNG_COLOR_TYPE_RGBA, 8, false, 0, 0.45455, false},
        {"grey 16, gAMA 2.2", PNG_COLOR_TYPE_GRAY, 16, false, 0, 2.2, false},
        {"palette 8, tRNS, gAMA 1.8", PNG_COLOR_TYPE_PALETTE, 8, false, 9, 1.0 / 1.8, false},
        {"rgb 16, tRNS, gAMA 0.8, interlaced", PNG_COLOR_TYPE_RGB, 16, true, 1, 0.8, false},
        {"rgb 8, sRGB", PNG_COLOR_TYPE_RGB, 8, false, 0, 0, true},
    };
    TempDir dir;
    // Odd sizes: rows that end inside a byte, and interlace passes that are short or empty
    const png_uint_32 sizes[][2] = {{37, 23}, {1, 1}, {3, 9}};
    for (const PngCase& c : cases) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size[0]) + "x" + std::to_string(size[1]));
            std::size_t stride = 0;
            std::vector<png_byte> data = samples(c, size[0], size[1], stride);
            const std::string path = dir.path("case.png");
            ASSERT_TRUE(writePngFile(path.c_str(), c, size[0], size[1], data.data(), stride));
            const Reference reference = mediaLibraryLoad(path);
            ASSERT_TRUE(reference.loaded);
            const DecodedImage decoded = decodeImage(path, anySize);
            ASSERT_NE(decoded.pixels, nullptr) << "the fast path refused a plain PNG";
            EXPECT_TRUE(samePixels(decoded, reference.image));
        }
    }
}

// A well-formed 8-bit RGB PNG cut into its chunks, to be damaged one way at a time
struct Chunk {
    std::string type;
    std::string body;
};

std::string chunkBytes(const Chunk& chunk, bool goodCrc = true)
{
    auto bigEndian = [](std::uint32_t value) {
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((value >> shift) & 0xff);
        return out;
    };
    const std::string typed = chunk.type + chunk.body;
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                         static_cast<uInt>(typed.size())));
    if (!goodCrc)
        crc ^= 0x5a5a5a5a;
    return bigEndian(static_cast<std::uint32_t>(chunk.body.size())) + typed + bigEndian(crc);
}

// zlib's stream of the filtered rows; `flush` Z_FINISH ends it as a PNG needs
std::string deflated(const std::string& raw, int flush)
{
    z_stream stream{};
    deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    std::string out(deflateBound(&stream, static_cast<uLong>(raw.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, flush);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

TEST(PngDecoding, RefusesWhatTheMediaLibraryRefusesAndAgreesOnWhatItTakes)
{
    const std::uint32_t width = 13, height = 7;
    std::string header;
    for (std::uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            header += static_cast<char>((value >> shift) & 0xff);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    // Filter type 0 (none) on each row, then the RGB samples
    std::string raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw += '\0';
        for (std::uint32_t x = 0; x < width * 3; ++x)
            raw += static_cast<char>((x * 37 + y * 101) & 0xff);
    }
    const std::string signature("\x89PNG\r\n\x1a\n", 8);
    const Chunk ihdr{"IHDR", header}, idat{"IDAT", deflated(raw, Z_FINISH)}, iend{"IEND", ""};
    const std::string whole = signature + chunkBytes(ihdr) + chunkBytes(idat) + chunkBytes(iend);
    std::string badAdler = idat.body;
    badAdler.back() = static_cast<char>(badAdler.back() ^ 0x55);
    std::string extraRow = raw + raw.substr(0, width * 3 + 1);
    const std::string rgbaHeader = header.substr(0, 9) + '\x06' + header.substr(10);
    std::string rgbaRaw;
    for (std::uint32_t y = 0; y < height; ++y)
        rgbaRaw += '\0' + std::string(width * 4, '\x7f');

    enum Expect { Taken, Refused, Either };
    struct Case {
        const char* name;
        std::string bytes;
        Expect fastPath; // what decodeImage must do, besides agreeing with the media library
    };
    const Case cases[] = {
        {"well formed", whole, Taken},
        {"wrong CRC on IDAT", signature + chunkBytes(ihdr) + chunkBytes(idat, false) + chunkBytes(iend), Taken},
        {"wrong CRC on IHDR", signature + chunkBytes(ihdr, false) + chunkBytes(idat) + chunkBytes(iend), Taken},
        {"wrong Adler-32", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", badAdler}) + chunkBytes(iend), Taken},
        {"unknown ancillary chunk", signature + chunkBytes(ihdr) + chunkBytes({"teST", "hello"}) + chunkBytes(idat) +
                                        chunkBytes(iend), Taken},
        {"text and gamma chunks", signature + chunkBytes(ihdr) + chunkBytes({"gAMA", std::string("\0\0\xb1\x8f", 4)}) +
                                      chunkBytes({"tEXt", std::string("Title\0x", 7)}) + chunkBytes(idat) +
                                      chunkBytes(iend), Taken},
        {"bytes after IEND", whole + "trailing bytes", Taken},
        {"IDAT split in two", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", idat.body.substr(0, 10)}) +
                                  chunkBytes({"IDAT", idat.body.substr(10)}) + chunkBytes(iend), Taken},
        {"no IEND", signature + chunkBytes(ihdr) + chunkBytes(idat), Either},
        {"cut inside IDAT", whole.substr(0, 8 + 25 + 8 + idat.body.size() / 2), Refused},
        {"cut inside IHDR", whole.substr(0, 20), Refused},
        {"signature only", signature, Refused},
        {"unknown critical chunk", signature + chunkBytes(ihdr) + chunkBytes({"ABCD", "x"}) + chunkBytes(idat) +
                                       chunkBytes(iend), Refused},
        {"tRNS on RGBA", signature + chunkBytes({"IHDR", rgbaHeader}) + chunkBytes({"tRNS", std::string(6, '\0')}) +
                             chunkBytes({"IDAT", deflated(rgbaRaw, Z_FINISH)}) + chunkBytes(iend), Refused},
        {"palette picture without PLTE", signature + chunkBytes({"IHDR", header.substr(0, 9) + '\x03' + header.substr(10)}) +
                                             chunkBytes(idat) + chunkBytes(iend), Refused},
        {"too little pixel data", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", deflated(raw.substr(0, raw.size() / 2), Z_FINISH)}) +
                                      chunkBytes(iend), Refused},
        {"a row too many", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", deflated(extraRow, Z_FINISH)}) + chunkBytes(iend),
         Either},
        {"pixel data not ended", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", deflated(raw, Z_SYNC_FLUSH)}) +
                                     chunkBytes(iend), Either},
        {"IDATs apart", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", idat.body.substr(0, 10)}) +
                            chunkBytes({"teST", "x"}) + chunkBytes({"IDAT", idat.body.substr(10)}) + chunkBytes(iend), Either},
        {"bad filter type", signature + chunkBytes(ihdr) + chunkBytes({"IDAT", deflated(std::string(1, '\x09') + raw.substr(1), Z_FINISH)}) +
                                chunkBytes(iend), Refused},
        {"zero width", signature + chunkBytes({"IHDR", std::string(4, '\0') + header.substr(4)}) + chunkBytes(idat) +
                           chunkBytes(iend), Refused},
        {"bit depth 3", signature + chunkBytes({"IHDR", header.substr(0, 8) + '\x03' + header.substr(9)}) + chunkBytes(idat) +
                            chunkBytes(iend), Refused},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write("case.png", c.bytes);
        const Reference reference = mediaLibraryLoad(path);
        const DecodedImage decoded = decodeImage(path, anySize);
        if (decoded.pixels) {
            EXPECT_TRUE(reference.loaded) << "decoded a file that the media library refuses";
            if (reference.loaded)
                EXPECT_TRUE(samePixels(decoded, reference.image));
        }
        if (c.fastPath == Taken) {
            EXPECT_TRUE(reference.loaded);
            EXPECT_NE(decoded.pixels, nullptr) << "left a plain picture to the slow path";
        } else if (c.fastPath == Refused) {
            EXPECT_FALSE(reference.loaded);
            EXPECT_EQ(decoded.pixels, nullptr);
        }
        // What libpng refuses is refused: the media library's PNG reader,
        // which trusts chunk lengths and reads past the pixel data, never
        // sees it
        if (!decoded.pixels)
            EXPECT_FALSE(decoded.mediaLibraryMayTry);
    }
}

// Noise written by the media library's own encoder: its pixel data chunk is
// larger than the pixels, and larger than libpng's default cap on a chunk
TEST(PngDecoding, TakesAPixelDataChunkLargerThanThePixels)
{
    TempDir dir;
    const unsigned width = 2400, height = 1600;
    sf::Image noise;
    noise.create(width, height);
    std::uint32_t state = 5;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setPixel(x, y, sf::Color(state >> 24, state >> 16, state >> 8, state));
        }
    ASSERT_TRUE(noise.saveToFile(dir.path("noise.png")));
    ASSERT_GT(std::filesystem::file_size(dir.path("noise.png")), std::uintmax_t(width) * height * 4);
    const DecodedImage decoded = decodeImage(dir.path("noise.png"), anySize);
    ASSERT_NE(decoded.pixels, nullptr);
    EXPECT_TRUE(samePixels(decoded, noise));
}

TEST(PngDecoding, RefusesASideAboveTheLimitBeforeDecoding)
{
    TempDir dir;
    ASSERT_TRUE(writeImage(dir.path("wide.png"), 300, 20, sf::Color::Red));
    EXPECT_EQ(decodeImage(dir.path("wide.png"), 299).pixels, nullptr);
    const DecodedImage fits = decodeImage(dir.path("wide.png"), 300);
    ASSERT_NE(fits.pixels, nullptr);
    EXPECT_EQ(fits.width, 300u);
    // A header claiming 50000 x 50000 RGBA: 10 GB if allocated; refused
    // outright, since the media library would try to allocate it too
    const std::string claimed("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xc3\x50\0\0\xc3\x50\x08\x06\0\0\0\0\0\0\0", 33);
    const DecodedImage huge = decodeImage(dir.write("claimed.png", claimed), anySize);
    EXPECT_EQ(huge.pixels, nullptr);
    EXPECT_FALSE(huge.mediaLibraryMayTry);
    // The size it was refused for stays with the answer
    EXPECT_TRUE(huge.header.known);
    EXPECT_EQ(huge.header.width, 50000u);
    EXPECT_EQ(huge.header.height, 50000u);
    // A picture decoded has the size its header gave too
    EXPECT_TRUE(fits.header.known);
    EXPECT_EQ(fits.header.width, 300u);
    EXPECT_EQ(fits.header.height, 20u);
}

// Whatever its sides, a picture may have so many pixels and no more: some
// formats take 20 bytes a pixel to decode
TEST(PictureSize, IsTooLargeAboveEitherSideOrTheMostPixels)
{
    const struct {
        ImageSize size;
        unsigned largest;
        bool tooLarge;
    } cases[] = {
        {{true, 1920, 1080}, 16384, false},
        {{true, 3840, 2160}, 16384, false},  // 4K UHD
        {{true, 4096, 2048}, 16384, false},  // exactly the most pixels
        {{true, 4096, 2049}, 16384, true},   // one row more
        {{true, 8192, 1024}, 16384, false},  // a long strip
        {{true, 65536, 128}, 16384, true},   // a side above the card's
        {{true, 16384, 1}, 16384, false},
        {{true, 16385, 1}, 16384, true},
        {{true, 50000, 50000}, 16384, true},
        {{false, 0, 0}, 16384, false},       // unknown: the decoder decides
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size.width) + " x " + std::to_string(c.size.height));
        EXPECT_EQ(tooLarge(c.size, c.largest), c.tooLarge);
    }
    // A PNG whose header claims one row too many is refused before any
    // decoding, with nothing left for the media library to try
    TempDir dir;
    const std::string claimed("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x10\0\0\0\x08\x01\x08\x06\0\0\0\0\0\0\0", 33);
    const std::string path = dir.write("claimed.png", claimed);
    EXPECT_EQ(readImageSize(path).height, 2049u);
    const DecodedImage decoded = decodeImage(path, 16384);
    EXPECT_EQ(decoded.pixels, nullptr);
    EXPECT_FALSE(decoded.mediaLibraryMayTry);
    EXPECT_EQ(decoded.header.width, 4096u);
    EXPECT_EQ(decoded.header.height, 2049u);
    // The cap is the one in the record of limits, which the fuzzer lowers
    const unsigned long long mostPixels = pictureLimits.mostPixels;
    pictureLimits.mostPixels = 512 * 512;
    const bool above = tooLarge({true, 513, 512}, 16384);
    const bool at = tooLarge({true, 512, 512}, 16384);
    pictureLimits.mostPixels = mostPixels;
    EXPECT_TRUE(above);
    EXPECT_FALSE(at);
}

// The workers hand back the buffer of a picture already uploaded: it is
// written over when it has room, and the pixels are the same either way
TEST(PngDecoding, WritesOverAnEarlierPicturesBufferWhenItHasRoom)
{
    TempDir dir;
    const PngCase rgb{"rgb 8", PNG_COLOR_TYPE_RGB, 8, false, 0, 0, false};
    const PngCase palette{"palette 4", PNG_COLOR_TYPE_PALETTE, 4, false, 7, 0, false};
    std::size_t stride = 0;
    std::vector<png_byte> large = samples(rgb, 64, 40, stride);
    ASSERT_TRUE(writePngFile(dir.path("large.png").c_str(), rgb, 64, 40, large.data(), stride));
    std::vector<png_byte> small = samples(palette, 30, 20, stride);
    ASSERT_TRUE(writePngFile(dir.path("small.png").c_str(), palette, 30, 20, small.data(), stride));

    DecodedImage first = decodeImage(dir.path("large.png"), anySize);
    ASSERT_NE(first.pixels, nullptr);
    const std::uint8_t* buffer = first.pixels.get();
    const DecodedImage second = decodeImage(dir.path("small.png"), anySize, std::move(first));
    ASSERT_NE(second.pixels, nullptr);
    EXPECT_EQ(second.pixels.get(), buffer);
    EXPECT_TRUE(samePixels(second, mediaLibraryLoad(dir.path("small.png")).image));

    // Too small a buffer is let go, and the picture gets one of its own
    DecodedImage tiny = decodeImage(dir.path("small.png"), anySize);
    const DecodedImage third = decodeImage(dir.path("large.png"), anySize, std::move(tiny));
    ASSERT_NE(third.pixels, nullptr);
    EXPECT_TRUE(samePixels(third, mediaLibraryLoad(dir.path("large.png")).image));
    // A file that fails lets the buffer go too
    DecodedImage spare = decodeImage(dir.path("large.png"), anySize);
    EXPECT_EQ(decodeImage(dir.write("bad.png", "\x89PNG\r\n\x1a\n broken"), anySize, std::move(spare)).pixels, nullptr);
}

// Writes a JPEG with libjpeg: 3 components in YCbCr with the given luma
// sampling, or grey, or CMYK; progressive or baseline
struct JpegCase {
    const char* name;
    J_COLOR_SPACE space;  // JCS_YCbCr, JCS_GRAYSCALE or JCS_CMYK
    int lumaH, lumaV;     // sampling factors of the first component
    bool progressive;
    bool taken;           // the fast path decodes it
};

struct JpegWriteErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegWriteError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegWriteErrors*>(info->err)->jump, 1);
}

bool writeJpegFile(const char* path, const JpegCase& c, unsigned width, unsigned height, const unsigned char* rgb)
{
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    jpeg_compress_struct encoder;
    JpegWriteErrors errors;
    encoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegWriteError;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&encoder);
        std::fclose(file);
        return false;
    }
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, file);
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = c.space == JCS_GRAYSCALE ? 1 : c.space == JCS_CMYK ? 4 : 3;
    encoder.in_color_space = c.space == JCS_GRAYSCALE ? JCS_GRAYSCALE : c.space == JCS_CMYK ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, 90, TRUE);
    if (c.space == JCS_YCbCr) {
        encoder.comp_info[0].h_samp_factor = c.lumaH;
        encoder.comp_info[0].v_samp_factor = c.lumaV;
    }
    if (c.progressive)
        jpeg_simple_progression(&encoder);
    jpeg_start_compress(&encoder, TRUE);
    const unsigned stride = width * static_cast<unsigned>(encoder.input_components);
    std::vector<unsigned char> row(stride);
    while (encoder.next_scanline < height) {
        const unsigned char* source = rgb + static_cast<std::size_t>(encoder.next_scanline) * width * 3;
        for (unsigned x = 0; x < width; ++x) {
            if (encoder.input_components == 1)
                row[x] = source[x * 3 + 1];
            else if (encoder.input_components == 4)
                for (int k = 0; k < 4; ++k)
                    row[x * 4 + k] = static_cast<unsigned char>(k < 3 ? 255 - source[x * 3 + k] : 40);
            else
                std::memcpy(&row[x * 3], source + x * 3, 3);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    return std::fclose(file) == 0;
}

// JPEG decoders round and upsample differently by design; each usual kind is
// decoded here within a few levels of the media library at the worst pixel
// and a small fraction of a level on average, which no eye sees, and the
// kinds whose colours could differ visibly are left to it
TEST(JpegDecoding, StaysWithinAFewLevelsOfTheMediaLibraryAndLeavesItCmyk)
{
    const JpegCase cases[] = {
        {"baseline 4:2:0", JCS_YCbCr, 2, 2, false, true},
        {"baseline 4:2:2", JCS_YCbCr, 2, 1, false, true},
        {"baseline 4:4:4", JCS_YCbCr, 1, 1, false, true},
        {"baseline 4:4:0", JCS_YCbCr, 1, 2, false, true},
        {"progressive 4:2:0", JCS_YCbCr, 2, 2, true, true},
        {"progressive 4:4:4", JCS_YCbCr, 1, 1, true, true},
        {"grey", JCS_GRAYSCALE, 1, 1, false, true},
        {"grey, progressive", JCS_GRAYSCALE, 1, 1, true, true},
        {"CMYK", JCS_CMYK, 1, 1, false, false},
        {"CMYK, progressive", JCS_CMYK, 1, 1, true, false},
    };
    // A photo-like picture: smooth light, edges and grain
    const unsigned width = 203, height = 117;
    std::vector<unsigned char> rgb(width * height * 3);
    std::uint32_t state = 99;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            for (unsigned k = 0; k < 3; ++k) {
                state = state * 1664525u + 1013904223u;
                const int edge = (x / 40 + y / 30) % 2 ? 60 : 0;
                const int value = static_cast<int>(x * (k + 1) / 2 + y * (3 - k) / 2) + edge + static_cast<int>(state >> 29);
                rgb[(y * width + x) * 3 + k] = static_cast<unsigned char>(value > 255 ? 255 : value);
            }
    TempDir dir;
    for (const JpegCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.path("case.jpg");
        ASSERT_TRUE(writeJpegFile(path.c_str(), c, width, height, rgb.data()));
        const Reference reference = mediaLibraryLoad(path);
        ASSERT_TRUE(reference.loaded);
        const DecodedImage decoded = decodeImage(path, anySize);
        if (!c.taken) {
            EXPECT_EQ(decoded.pixels, nullptr) << "decoded a kind of JPEG that stays with the media library";
            EXPECT_TRUE(decoded.mediaLibraryMayTry) << "a sound JPEG is the media library's to decode";
            continue;
        }
        ASSERT_NE(decoded.pixels, nullptr);
        ASSERT_EQ(sf::Vector2u(decoded.width, decoded.height), reference.image.getSize());
        const std::uint8_t* ours = decoded.pixels.get();
        const sf::Uint8* theirs = reference.image.getPixelsPtr();
        int largest = 0;
        double sum = 0;
        const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
        for (std::size_t i = 0; i < bytes; ++i) {
            const int difference = std::abs(int(ours[i]) - int(theirs[i]));
            largest = std::max(largest, difference);
            sum += difference;
        }
        const double mean = sum / static_cast<double>(width * height * 3);
        std::printf("[ JPEG     ] %-20s largest difference %d, mean %.3f\n", c.name, largest, mean);
        EXPECT_LE(largest, 6);
        EXPECT_LE(mean, 0.2);
        for (std::size_t i = 3; i < bytes; i += 4)
            ASSERT_EQ(ours[i], 255) << "alpha of pixel " << i / 4;
    }
    // A JPEG cut short is damaged: refused outright, usual kind or not, for
    // the media library's decoder is not safe on damaged JPEGs
    ASSERT_TRUE(writeJpegFile(dir.path("cut.jpg").c_str(), cases[0], width, height, rgb.data()));
    ASSERT_TRUE(writeJpegFile(dir.path("cmyk.jpg").c_str(), cases[8], width, height, rgb.data()));
    const std::string baseline = readBytes(dir.path("cut.jpg"));
    const std::string cmyk = readBytes(dir.path("cmyk.jpg"));
    for (const auto& [name, bytes] : {std::pair<const char*, std::string>{"cut.jpg", baseline.substr(0, baseline.size() * 2 / 3)},
                                      {"header.jpg", baseline.substr(0, 300)},
                                      {"cmyk-cut.jpg", cmyk.substr(0, cmyk.size() * 2 / 3)}}) {
        SCOPED_TRACE(name);
        const DecodedImage damaged = decodeImage(dir.write(name, bytes), anySize);
        EXPECT_EQ(damaged.pixels, nullptr);
        EXPECT_FALSE(damaged.mediaLibraryMayTry);
    }
}

} // namespace

namespace {

// What the check says of a picture it refuses, for every format the program
// takes: a whole picture has no refusal; one cut short is damaged, in the
// decoder's own words where it has some, or no picture at all once too
// little is left to tell; a file of text is no picture
TEST(Refusal, SaysWhyForEveryFormat)
{
    const std::string seeds = std::string(ORVALEN_PICTURE_REGRESSIONS) + "/../../corpus/pictures";
    TempDir dir;
    std::size_t formats = 0, refused = 0;
    for (const char* name : {"rgb.png", "baseline.jpg", "rgb.bmp", "rle.tga", "static.gif", "rgb.psd", "rgb.hdr", "rgb.pic"}) {
        SCOPED_TRACE(name);
        std::ifstream in(seeds + "/" + name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 20u);
        const DecodedImage whole = decodeImage(dir.write(name, bytes), 16384);
        ASSERT_NE(whole.pixels, nullptr);
        EXPECT_EQ(whole.refusal, "");
        const DecodedImage cut = decodeImage(dir.write(std::string("cut-") + name, bytes.substr(0, bytes.size() / 2)), 16384);
        if (!cut.pixels) {
            ++refused;
            EXPECT_TRUE(cut.refusal.rfind("its picture is damaged", 0) == 0 ||
                        cut.refusal.rfind("its file is not a picture", 0) == 0)
                << cut.refusal;
        }
        ++formats;
    }
    EXPECT_EQ(formats, 8u);
    EXPECT_EQ(refused, 8u) << "every format cut in half is refused";
    const DecodedImage text = decodeImage(dir.write("notes.png", "Not a picture at all, only some words.\n"), 16384);
    EXPECT_EQ(text.pixels, nullptr);
    EXPECT_EQ(text.refusal, "its file is not a picture in a format the program reads (PNG, JPEG, BMP, TGA, GIF, PSD, "
                            "HDR or PIC)");
    // stb_image would fill a picture cut short with zeros: each is refused
    // wherever its pixels are cut
    for (const char* name : {"rgb.bmp", "palette.bmp", "rgba.bmp", "rgb.tga", "rle.tga", "static.gif", "rgb.psd",
                             "rgb.hdr", "rgb.pic", "rle.pic"}) {
        std::ifstream picture(seeds + "/" + name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(picture)), std::istreambuf_iterator<char>());
        for (std::size_t kept : {bytes.size() / 2, bytes.size() * 3 / 4, bytes.size() * 9 / 10}) {
            const DecodedImage cut = decodeImage(dir.write(std::string("short-") + name, bytes.substr(0, kept)), 16384);
            EXPECT_EQ(cut.pixels, nullptr) << name << " cut to " << kept << " of " << bytes.size() << " bytes";
            EXPECT_TRUE(cut.refusal.rfind("its picture is damaged", 0) == 0 ||
                        cut.refusal.rfind("its file is not a picture", 0) == 0)
                << name << ": " << cut.refusal;
        }
    }
    // The decoder's own words for a PNG cut short
    std::ifstream in(seeds + "/rgb.png", std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const DecodedImage cutPng = decodeImage(dir.write("short.png", png.substr(0, png.size() - 20)), 16384);
    EXPECT_EQ(cutPng.pixels, nullptr);
    EXPECT_NE(cutPng.refusal.find("libpng says: "), std::string::npos) << cutPng.refusal;
}

} // namespace
