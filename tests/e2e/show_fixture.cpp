#include "show_fixture.h"

#include "support/test_support.h"

#include <SFML/Audio/OutputSoundFile.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const int screenWidth = 1920;
const int screenHeight = 1080;
// Each picture is this much narrower on each side than the one before it,
// and its probe lies in the middle of that band
const int bandWidth = 60;
const int bandHeight = 33;

struct Colour {
    const char* key;
    const char* texture;
    sf::Color colour;
};

// Any two colours differ by at least 127 in some channel
const Colour pictureColours[] = {
    {"title", "red", sf::Color(255, 0, 0)},       {"ov1", "green", sf::Color(0, 255, 0)},
    {"ov2", "blue", sf::Color(0, 0, 255)},        {"ov3", "yellow", sf::Color(255, 255, 0)},
    {"ov4", "cyan", sf::Color(0, 255, 255)},      {"ov5", "magenta", sf::Color(255, 0, 255)},
    {"ov6", "white", sf::Color(255, 255, 255)},   {"ov7", "maroon", sf::Color(128, 0, 0)},
    {"ov8", "darkgreen", sf::Color(0, 128, 0)},   {"ov9", "navy", sf::Color(0, 0, 128)},
    {"ov10", "olive", sf::Color(128, 128, 0)},    {"ov12", "teal", sf::Color(0, 128, 128)},
    {"ov13", "purple", sf::Color(128, 0, 128)},   {"ov11", "orange", sf::Color(255, 128, 0)},
    {"end", "lavender", sf::Color(128, 128, 255)},
};

const char* const overlayTexture = "shade";

void writeJson(const std::string& path, const json& document)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << document.dump(2) << "\n";
}

std::string imagePath(const std::string& texture) { return "assets/img/" + texture + ".png"; }

} // namespace

const std::vector<std::string>& showOrder()
{
    static const std::vector<std::string> order = {
        "title", "title", "ov1",  "ov2",  "ov3",  "ov4", "ov5", "ov6", "ov7", "ov8",
        "ov9",   "ov10",  "ov12", "ov13", "ov11", "end", "end", "end", "end", "end"};
    return order;
}

const std::vector<ShowPicture>& showPictures()
{
    static const std::vector<ShowPicture> pictures = [] {
        std::vector<ShowPicture> result;
        int rank = 0;
        for (const Colour& colour : pictureColours) {
            ShowPicture picture;
            picture.key = colour.key;
            picture.texture = colour.texture;
            picture.colour = colour.colour;
            const auto& order = showOrder();
            picture.firstEntry = static_cast<int>(std::find(order.begin(), order.end(), picture.key) - order.begin());
            picture.size = sf::Vector2i(screenWidth - 2 * bandWidth * rank, screenHeight - 2 * bandHeight * rank);
            picture.probe = sf::Vector2i(bandWidth * rank + bandWidth / 2, screenHeight / 2);
            result.push_back(picture);
            ++rank;
        }
        return result;
    }();
    return pictures;
}

std::vector<sf::Int16> songSamples()
{
    std::vector<sf::Int16> samples;
    for (double frequency : {440.0, 660.0}) {
        for (unsigned i = 0; i < 3 * songRate; ++i) {
            const auto value = static_cast<sf::Int16>(std::lround(songAmplitude * std::sin(2 * M_PI * frequency * i / songRate)));
            samples.push_back(value);
            samples.push_back(value);
        }
    }
    return samples;
}

void writeShow(const std::string& folder, const ShowOptions& options)
{
    const fs::path root(folder);
    if (options.withConfig)
        writeJson((root / "config.json").string(), {{"fullscreen", false}, {"vsync", true}, {"show_fps", false}});

    json textures = json::object();
    json sprites = json::object();
    for (const ShowPicture& picture : showPictures()) {
        if (!writeImage((root / imagePath(picture.texture)).string(), 4, 4, picture.colour))
            throw std::runtime_error("cannot write " + imagePath(picture.texture));
        textures[picture.texture] = {{"file", imagePath(picture.texture)}, {"repeated", true}};
        json sprite = {{"texture", picture.texture}, {"rectW", picture.size.x}, {"rectH", picture.size.y}};
        if (picture.key != "title") {
            sprite["originX"] = picture.size.x / 2;
            sprite["originY"] = picture.size.y / 2;
            sprite["autocenter_place"] = true;
        }
        sprites[picture.key] = sprite;
    }
    if (!writeImage((root / imagePath(overlayTexture)).string(), 4, 4, options.overlay))
        throw std::runtime_error("cannot write the overlay's image");
    textures[overlayTexture] = {{"file", imagePath(overlayTexture)}, {"repeated", true}};
    sprites["black"] = {{"texture", overlayTexture}, {"rectW", screenWidth}, {"rectH", screenHeight}};

    writeJson((root / "assets/textures.json").string(), {{"textures", textures}});
    writeJson((root / "assets/sprites.json").string(), {{"sprites", sprites}});
    writeJson((root / "assets/music.json").string(),
              {{"music", {{"song", {{"file", "assets/song.wav"}, {"loopTo", 3000}, {"volume", options.volume}}}}}});

    const std::vector<sf::Int16> samples = songSamples();
    sf::OutputSoundFile song;
    if (!song.openFromFile((root / "assets/song.wav").string(), songRate, 2))
        throw std::runtime_error("cannot write the song");
    song.write(samples.data(), samples.size());
}

std::vector<std::string> missingSlideLines(const std::vector<std::string>& stored)
{
    std::vector<std::string> lines;
    for (const std::string& key : showOrder())
        if (std::find(stored.begin(), stored.end(), key) == stored.end())
            lines.push_back("SpriteManager: Sprite with key " + key + " does not exist.");
    return lines;
}

std::vector<std::pair<std::string, std::string>> spriteTextures()
{
    std::map<std::string, std::string> sorted = {{"black", overlayTexture}};
    for (const ShowPicture& picture : showPictures())
        sorted[picture.key] = picture.texture;
    return {sorted.begin(), sorted.end()};
}
