// Times loading a sprite catalogue against parsing the same file with
// nlohmann::json alone, and splits the load into its parts. Needs a display
// (the catalogue's one texture lives on the graphics card).
//
//   catalogue-probe DIR [RUNS]     DIR holds sprites.json and sheet.png

#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"

#include <SFML/Window/Context.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: catalogue-probe DIR [RUNS]" << std::endl;
        return 2;
    }
    const std::string dir = argv[1];
    const std::string path = dir + "/sprites.json";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    // One context for the whole run, and the texture released while it is
    // still there: otherwise the media library closes its display connection
    // and opens a new one at exit, which Xvfb here now and then drops
    sf::Context keepDisplay;
    if (!TextureManager::add("sheet", dir + "/sheet.png", false))
        return 1;

    std::vector<double> parse, load, entries, release;
    std::size_t stored = 0;
    for (int run = 0; run < runs; ++run) {
        // The parse alone, the document freed at the end as load frees it
        auto start = std::chrono::steady_clock::now();
        {
            std::ifstream file(path);
            nlohmann::json document;
            file >> document;
        }
        parse.push_back(secondsSince(start));

        // The whole load: open, parse, entry pass, free
        SpriteManager::spriteStore.clear();
        start = std::chrono::steady_clock::now();
        SpriteManager::load(path);
        load.push_back(secondsSince(start));
        stored = SpriteManager::spriteStore.size();

        // The entry pass alone, on a parsed document, then freeing the document
        SpriteManager::spriteStore.clear();
        std::ifstream file(path);
        auto document = std::make_unique<nlohmann::json>();
        file >> *document;
        start = std::chrono::steady_clock::now();
        SpriteManager::loadEntries(*document);
        entries.push_back(secondsSince(start));
        start = std::chrono::steady_clock::now();
        document.reset();
        release.push_back(secondsSince(start));
        SpriteManager::spriteStore.clear();
    }
    std::printf("sprites=%zu parse_ms=%.1f load_ms=%.1f entries_ms=%.1f free_ms=%.1f ratio=%.3f\n", stored,
                median(parse) * 1e3, median(load) * 1e3, median(entries) * 1e3, median(release) * 1e3,
                median(load) / median(parse));
    TextureManager::textureStore.clear();
    return 0;
}
