// Times the candidate decoders side by side on the same files, each decoding
// every file to 8-bit RGBA in turn, round after round, and prints the median
// time of each over all the files:
//   media-library   sf::Image::loadFromFile (stb_image inside SFML)
//   stb             stb_image from Debian's libstb-dev
//   libpng-simple   libpng's simplified API (png_image_finish_read)
//   libspng         libspng (when the build found it)
//   program         decodeImage, what the program's workers run
//
//   decoder-candidates ROUNDS FILE...

#include "pictures/decode.h"

#include <SFML/Graphics/Image.hpp>
#include <png.h>
#ifdef ORVALEN_BENCH_SPNG
#include <spng.h>
#endif

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Decoder = std::function<bool(const std::string&)>;

std::vector<unsigned char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool mediaLibrary(const std::string& path)
{
    sf::Image image;
    return image.loadFromFile(path);
}

bool stb(const std::string& path)
{
    int w, h, n;
    stbi_uc* pixels = stbi_load(path.c_str(), &w, &h, &n, 4);
    stbi_image_free(pixels);
    return pixels != nullptr;
}

bool pngSimple(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    const bool done = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return done;
}

#ifdef ORVALEN_BENCH_SPNG
bool spng(const std::string& path)
{
    const std::vector<unsigned char> file = readFile(path);
    spng_ctx* context = spng_ctx_new(0);
    spng_set_png_buffer(context, file.data(), file.size());
    std::size_t size = 0;
    bool done = spng_decoded_image_size(context, SPNG_FMT_RGBA8, &size) == 0;
    std::vector<unsigned char> pixels(done ? size : 0);
    done = done && spng_decode_image(context, pixels.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
    spng_ctx_free(context);
    return done;
}
#endif

bool program(const std::string& path)
{
    return decodeImage(path, 16384).pixels != nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: decoder-candidates ROUNDS FILE...\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const std::vector<std::string> files(argv + 2, argv + argc);
    std::vector<std::pair<std::string, Decoder>> decoders = {
        {"media-library", mediaLibrary}, {"stb", stb}, {"libpng-simple", pngSimple},
#ifdef ORVALEN_BENCH_SPNG
        {"libspng", spng},
#endif
        {"program", program}};
    std::map<std::string, std::vector<double>> times;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, decode] : decoders) {
            const auto start = std::chrono::steady_clock::now();
            for (const std::string& file : files)
                if (!decode(file))
                    std::fprintf(stderr, "%s could not decode %s\n", name.c_str(), file.c_str());
            times[name].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    for (const auto& [name, decode] : decoders) {
        std::vector<double>& t = times[name];
        std::sort(t.begin(), t.end());
        std::printf("%-14s median %7.1f ms  (", name.c_str(), t[t.size() / 2]);
        for (double v : times[name])
            std::printf(" %.0f", v);
        std::printf(" )\n");
    }
    return 0;
}
