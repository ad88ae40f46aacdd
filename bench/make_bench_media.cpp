// Makes the inputs of the benchmarks:
//
//   make-bench-media photos DIR         an intro of sixteen full-screen photo-like
//                                       pictures (noisy 1920x1080 PNGs that do not
//                                       compress well) over a ten-second song
//   make-bench-media music DIR SECONDS  an intro of small pictures over a song of
//                                       that many seconds
//   make-bench-media sprites DIR COUNT  a sprite catalogue of COUNT entries on one
//                                       texture, DIR/sprites.json and DIR/sheet.png
//   make-bench-media shared DIR COUNT   an intro whose texture catalogue names one
//                                       full-HD photo-like picture under COUNT keys,
//                                       the slides drawn from the first of them
//   make-bench-media showfile DIR COUNT an intro whose show file plays COUNT distinct
//                                       full-HD photo-like pictures, half a second each
//
// Each DIR is laid out as a working directory for the program. Files that
// are already there are kept.

#include <SFML/Audio/OutputSoundFile.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <zlib.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* const slideKeys[] = {"title", "ov1", "ov2", "ov3",  "ov4",  "ov5",  "ov6", "ov7",
                                 "ov8",   "ov9", "ov10", "ov11", "ov12", "ov13", "end"};

void putBigEndian(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

void putChunk(std::string& out, const char* type, const std::string& body)
{
    putBigEndian(out, static_cast<std::uint32_t>(body.size()));
    const std::string typed = type + body;
    out += typed;
    putBigEndian(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Writes 8-bit RGB (3 channels) or RGBA (4) as a PNG the way common encoders
// do for photographs: Paeth-filtered rows, deflate at zlib's default level
bool writePng(const fs::path& path, int width, int height, int channels, const std::vector<std::uint8_t>& pixels)
{
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    std::string filtered;
    filtered.reserve((stride + 1) * height);
    for (int y = 0; y < height; ++y) {
        filtered += static_cast<char>(4);
        const std::uint8_t* row = &pixels[y * stride];
        const std::uint8_t* up = y > 0 ? row - stride : nullptr;
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= static_cast<std::size_t>(channels) ? row[i - channels] : 0;
            const int b = up ? up[i] : 0;
            const int c = up && i >= static_cast<std::size_t>(channels) ? up[i - channels] : 0;
            filtered += static_cast<char>((row[i] - paeth(a, b, c)) & 0xff);
        }
    }
    uLongf size = compressBound(filtered.size());
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(filtered.data()),
                  filtered.size(), Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    packed.resize(size);
    std::string header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string{8, static_cast<char>(channels == 4 ? 6 : 2), 0, 0, 0};
    std::string png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary);
    out << png;
    return static_cast<bool>(out);
}

bool alreadyMade(const fs::path& path) { return fs::exists(path) && fs::file_size(path) > 0; }

void writeJson(const fs::path& path, const json& document)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << document.dump(1) << "\n";
}

// A picture like a photograph to a PNG encoder: smooth light and shapes under
// per-pixel grain, so deflate finds little to shorten
bool writePhoto(const fs::path& path, int width, int height, std::uint32_t seed)
{
    if (alreadyMade(path))
        return true;
    fs::create_directories(path.parent_path());
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t state = seed * 2654435761u + 1;
    const double phase = seed * 0.7;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            const double light = 0.5 + 0.25 * std::sin(6.0 * u + phase) * std::cos(4.0 * v - phase);
            const double base[3] = {200 * light + 40 * u, 180 * light + 50 * v, 160 * (1 - light) + 30 * u * v};
            for (int c = 0; c < 3; ++c) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                const int grain = static_cast<int>(state % 49) - 24;
                const int value = static_cast<int>(base[c]) + grain;
                pixels[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
            }
        }
    return writePng(path, width, height, 3, pixels);
}

bool writeFlat(const fs::path& path, int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    if (alreadyMade(path))
        return true;
    fs::create_directories(path.parent_path());
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = r;
        pixels[i + 1] = g;
        pixels[i + 2] = b;
        pixels[i + 3] = 255;
    }
    return writePng(path, width, height, 4, pixels);
}

// A 16-bit mono tone, written a second at a time so a long song never sits in memory
bool writeSong(const fs::path& path, int seconds)
{
    if (alreadyMade(path))
        return true;
    fs::create_directories(path.parent_path());
    const unsigned rate = 44100;
    sf::OutputSoundFile file;
    if (!file.openFromFile(path.string(), rate, 1))
        return false;
    std::vector<sf::Int16> samples(rate);
    for (int s = 0; s < seconds; ++s) {
        for (unsigned i = 0; i < rate; ++i) {
            const double t = s + static_cast<double>(i) / rate;
            samples[i] = static_cast<sf::Int16>(8000 * std::sin(2 * M_PI * (220 + 20 * (s % 7)) * t));
        }
        file.write(samples.data(), samples.size());
    }
    return true;
}

// The sprites of the slideshow, each on the texture `textureOf` names, and the fade's black
json slideshowSprites(const std::string& (*textureOf)(int))
{
    json sprites = {{"black", {{"texture", "black"}, {"rectW", 1920}, {"rectH", 1080}}}};
    for (int i = 0; i < 15; ++i)
        sprites[slideKeys[i]] = {{"texture", textureOf(i)}};
    return sprites;
}

void writeConfig(const fs::path& dir)
{
    writeJson(dir / "config.json", {{"fullscreen", false}, {"vsync", true}});
}

int makePhotos(const fs::path& dir)
{
    writeConfig(dir);
    json textures = {{"black", {{"file", "assets/black.png"}, {"repeated", true}}}};
    for (int i = 0; i < 16; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d", i);
        const std::string file = std::string("assets/photos/") + name + ".png";
        if (!writePhoto(dir / file, 1920, 1080, static_cast<std::uint32_t>(i + 1)))
            return 1;
        textures[name] = {{"file", file}};
    }
    static std::string names[15];
    for (int i = 0; i < 15; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d", i);
        names[i] = name;
    }
    json sprites = slideshowSprites([](int i) -> const std::string& { return names[i]; });
    sprites["spare"] = {{"texture", "photo15"}}; // the sixteenth picture, loaded and never shown
    if (!writeFlat(dir / "assets/black.png", 8, 8, 0, 0, 0) || !writeSong(dir / "assets/song.wav", 10))
        return 1;
    writeJson(dir / "assets/textures.json", {{"textures", textures}});
    writeJson(dir / "assets/sprites.json", {{"sprites", sprites}});
    writeJson(dir / "assets/music.json", {{"music", {{"song", {{"file", "assets/song.wav"}, {"volume", 80}}}}}});
    return 0;
}

int makeMusic(const fs::path& dir, int seconds)
{
    writeConfig(dir);
    if (!writeFlat(dir / "assets/black.png", 8, 8, 0, 0, 0) || !writeFlat(dir / "assets/card.png", 64, 64, 90, 120, 200) ||
        !writeSong(dir / "assets/song.wav", seconds))
        return 1;
    static const std::string card = "card";
    writeJson(dir / "assets/textures.json", {{"textures",
                                              {{"black", {{"file", "assets/black.png"}, {"repeated", true}}},
                                               {"card", {{"file", "assets/card.png"}}}}}});
    writeJson(dir / "assets/sprites.json", {{"sprites", slideshowSprites([](int) -> const std::string& { return card; })}});
    writeJson(dir / "assets/music.json", {{"music", {{"song", {{"file", "assets/song.wav"}}}}}});
    return 0;
}

int makeShared(const fs::path& dir, int count)
{
    writeConfig(dir);
    if (!writeFlat(dir / "assets/black.png", 8, 8, 0, 0, 0) || !writePhoto(dir / "assets/photo.png", 1920, 1080, 99) ||
        !writeSong(dir / "assets/song.wav", 10))
        return 1;
    json textures = {{"black", {{"file", "assets/black.png"}, {"repeated", true}}}};
    static std::string names[15];
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "key%03d", i);
        textures[name] = {{"file", "assets/photo.png"}};
        if (i < 15)
            names[i] = name;
    }
    for (int i = count; i < 15; ++i)
        names[i] = names[0];
    writeJson(dir / "assets/textures.json", {{"textures", textures}});
    writeJson(dir / "assets/sprites.json",
              {{"sprites", slideshowSprites([](int i) -> const std::string& { return names[i]; })}});
    writeJson(dir / "assets/music.json", {{"music", {{"song", {{"file", "assets/song.wav"}, {"volume", 80}}}}}});
    return 0;
}

// An author's show file of `count` distinct full-HD photos, half a second
// each; the photos in DIR/assets/photos may be another intro's, linked
int makeShowFile(const fs::path& dir, int count)
{
    writeConfig(dir);
    if (!writeFlat(dir / "assets/black.png", 8, 8, 0, 0, 0) || !writeSong(dir / "assets/song.wav", 10))
        return 1;
    json textures = {{"black", {{"file", "assets/black.png"}, {"repeated", true}}}};
    json sprites = {{"black", {{"texture", "black"}, {"rectW", 1920}, {"rectH", 1080}}}};
    json entries = json::array();
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "shot%03d", i);
        const std::string file = std::string("assets/photos/") + name + ".png";
        if (!writePhoto(dir / file, 1920, 1080, static_cast<std::uint32_t>(1000 + i)))
            return 1;
        textures[name] = {{"file", file}};
        sprites[name] = {{"texture", name}};
        entries.push_back({{"sprite", name}});
    }
    writeJson(dir / "assets/textures.json", {{"textures", textures}});
    writeJson(dir / "assets/sprites.json", {{"sprites", sprites}});
    writeJson(dir / "assets/music.json", {{"music", {{"song", {{"file", "assets/song.wav"}, {"volume", 80}}}}}});
    writeJson(dir / "assets/show.json", {{"entries", entries}, {"secondsPerEntry", 0.5}});
    return 0;
}

int makeSprites(const fs::path& dir, int count)
{
    if (!writeFlat(dir / "sheet.png", 256, 256, 200, 100, 50))
        return 1;
    if (alreadyMade(dir / "sprites.json"))
        return 0;
    // Entries as a real catalogue writes them: a cut-out, an origin, and now
    // and then a centred one
    json sprites = json::object();
    for (int i = 0; i < count; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "sprite%06d", i);
        json entry = {{"texture", "sheet"}, {"rectX", (i * 32) % 256}, {"rectY", (i / 8 * 32) % 256},
                      {"rectW", 32}, {"rectH", 32}, {"originX", 16.5}, {"originY", 16}};
        if (i % 5 == 0)
            entry["autocenter"] = true;
        if (i % 3 == 0)
            entry["autocenter_place"] = true;
        sprites[key] = entry;
    }
    writeJson(dir / "sprites.json", {{"sprites", sprites}});
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "photos" && argc == 3)
        return makePhotos(argv[2]);
    if (mode == "music" && argc == 4)
        return makeMusic(argv[2], std::atoi(argv[3]));
    if (mode == "sprites" && argc == 4)
        return makeSprites(argv[2], std::atoi(argv[3]));
    if (mode == "shared" && argc == 4 && std::atoi(argv[3]) > 0)
        return makeShared(argv[2], std::atoi(argv[3]));
    if (mode == "showfile" && argc == 4 && std::atoi(argv[3]) > 0)
        return makeShowFile(argv[2], std::atoi(argv[3]));
    std::cerr << "usage: make-bench-media photos DIR | music DIR SECONDS | sprites DIR COUNT | shared DIR COUNT | showfile DIR COUNT" << std::endl;
    return 2;
}
