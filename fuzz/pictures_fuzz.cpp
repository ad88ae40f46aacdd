// Fuzzes the pictures themselves: the input is written as a picture file,
// named like one of the formats the program takes, and loaded through the
// texture catalogue as a start loads it: the size read from the header, the
// decode on a worker thread or, for every other size of input, on the main
// thread, and the main thread's fallback to the media library's own loading.
// Checks: the picture is stored, with the size its header gives, and nothing
// is written; or it is refused with exactly the unable-to-load line. A PNG
// that is stored has the pixels the media library's own loading gives
// (unless its palette is shorter than its pixels may reach).
// Runs under a display (xvfb-run): textures need an OpenGL context.

#include "fuzz_support.h"

#include "assets/texture_manager.h"
#include "assets/texture_prefetch.h"
#include "pictures/decode.h"
#include "pictures/limits.h"

#include <SFML/Graphics/Image.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Every name the program's pictures may have; the decoders go by content
const char* const names[] = {"picture.png", "picture.jpg", "picture.bmp", "picture.tga",
                             "picture.gif", "picture.psd", "picture.hdr", "picture.pic"};

bool isPng(const std::uint8_t* data, std::size_t size)
{
    return size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0;
}

// True for a palette PNG whose pixels may name entries past the end of its
// palette. libpng gives them black; the media library's decoder reads them
// from a palette it never cleared, so its pixels say nothing there.
bool paletteMayBeOverrun(const std::uint8_t* data, std::size_t size)
{
    unsigned depth = 0, colourType = 0;
    std::size_t entries = 0;
    for (std::size_t at = 8; at + 8 <= size;) {
        const std::size_t length = std::size_t(data[at]) << 24 | std::size_t(data[at + 1]) << 16 |
                                   std::size_t(data[at + 2]) << 8 | data[at + 3];
        const std::uint8_t* type = data + at + 4;
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13 && at + 8 + 13 <= size) {
            depth = data[at + 16];
            colourType = data[at + 17];
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            entries = length / 3;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            break;
        }
        if (length > size - at - 8)
            break;
        at += 12 + length;
    }
    return colourType == 3 && depth <= 8 && entries < (std::size_t(1) << depth);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::keepOneGlContext();
    // NOTE: a few bytes of TGA or GIF may claim the largest picture there
    // is, and decode to it; at the program's own cap each such run takes a
    // tenth of a second. The decoders take the same paths at 512 by 512.
    pictureLimits.mostPixels = 512 * 512;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t formats = sizeof names / sizeof names[0];
    const std::string name = names[size % formats];
    TexturePrefetch::threads = (size / formats) % 2;
    TextureManager::textureStore.clear();
    const nlohmann::json catalogue = {{"textures", {{"p", {{"file", name}}}}}};
    const fuzz::LoaderRun run =
        fuzz::runLoader(name, data, size, [&](const std::string&) { return TextureManager::loadEntries(catalogue); });
    const std::vector<std::string>& lines = run.lines;
    FUZZ_CHECK(run.result, "the catalogue itself is good", lines);

    const auto stored = TextureManager::textureStore.find("p");
    if (stored == TextureManager::textureStore.end()) {
        FUZZ_CHECK(lines.size() == 1 && lines[0] == "TextureManager: Unable to load file " + name + ".",
                   "a refused picture gives exactly its one line", lines);
        return 0;
    }
    FUZZ_CHECK(lines.empty(), "a stored picture writes nothing", lines);
    const sf::Texture& texture = *stored->second;
    const sf::Vector2u textureSize = texture.getSize();
    FUZZ_CHECK(textureSize.x > 0 && textureSize.y > 0, "a stored picture has pixels", lines);
    const fuzz::InWorkDir here;
    const ImageSize header = readImageSize(name);
    FUZZ_CHECK(!header.known || sf::Vector2u(header.width, header.height) == textureSize,
               "the stored picture has the size its header gives", lines);
    if (isPng(data, size) && !paletteMayBeOverrun(data, size)) {
        sf::Image reference;
        if (reference.loadFromFile(name)) {
            const sf::Image seen = texture.copyToImage();
            FUZZ_CHECK(seen.getSize() == reference.getSize() &&
                           std::memcmp(seen.getPixelsPtr(), reference.getPixelsPtr(),
                                       static_cast<std::size_t>(textureSize.x) * textureSize.y * 4) == 0,
                       "a PNG has the pixels the media library's own loading gives", lines);
        }
    }
    return 0;
}
