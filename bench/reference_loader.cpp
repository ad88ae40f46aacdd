// The reference for start-up time: opens the same window as the program,
// loads every image that a texture catalogue names one after another with
// sf::Texture::loadFromFile, shows one frame and quits. Without a catalogue
// it only opens the window: the baseline for memory.
//
//   reference-loader [assets/textures.json]

#include "program_window.h"

#include <SFML/Graphics.hpp>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    sf::RenderWindow window;
    openProgramWindow(window);
    window.clear(sf::Color(0, 0, 0, 255));
    window.display();

    std::vector<std::unique_ptr<sf::Texture>> textures;
    if (argc > 1) {
        std::ifstream file(argv[1]);
        nlohmann::json document;
        file >> document;
        for (const auto& item : document.at("textures").items()) {
            auto texture = std::make_unique<sf::Texture>();
            if (texture->loadFromFile(item.value().at("file").get<std::string>()))
                textures.push_back(std::move(texture));
        }
    }

    window.clear(sf::Color(0, 0, 0, 0));
    if (!textures.empty())
        window.draw(sf::Sprite(*textures.front()));
    window.display();
    window.close();
    unsigned long long decoded = 0;
    for (const auto& texture : textures)
        decoded += 4ull * texture->getSize().x * texture->getSize().y;
    std::cout << textures.size() << " textures, " << decoded << " decoded bytes" << std::endl;
    return 0;
}
