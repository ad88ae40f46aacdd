// The reference for start-up time: opens the same window as the program,
// loads every image that a texture catalogue names one after another with
// sf::Texture::loadFromFile, shows one frame and quits. Without a catalogue
// it only opens the window: the baseline for memory, to which the options
// add what the program needs besides its pictures.
//
//   reference-loader [--song FILE] [--composition] [assets/textures.json]
//
//   --song FILE      plays the song on the audio device, as the show does
//   --composition    draws one frame through a picture of the window's size,
//                    as the show composes its finished entries

#include "program_window.h"

#include <SFML/Audio/Music.hpp>
#include <SFML/Graphics.hpp>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::string song, catalogue;
    bool composition = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--song" && i + 1 < argc)
            song = argv[++i];
        else if (argument == "--composition")
            composition = true;
        else
            catalogue = argument;
    }

    sf::RenderWindow window;
    openProgramWindow(window);
    window.clear(sf::Color(0, 0, 0, 255));
    window.display();

    std::vector<std::unique_ptr<sf::Texture>> textures;
    if (!catalogue.empty()) {
        std::ifstream file(catalogue);
        nlohmann::json document;
        file >> document;
        for (const auto& item : document.at("textures").items()) {
            auto texture = std::make_unique<sf::Texture>();
            if (texture->loadFromFile(item.value().at("file").get<std::string>()))
                textures.push_back(std::move(texture));
        }
    }
    // Made only when asked for: the first sound object opens the audio device
    std::unique_ptr<sf::Music> music;
    if (!song.empty()) {
        music = std::make_unique<sf::Music>();
        if (music->openFromFile(song))
            music->play();
    }

    window.clear(sf::Color(0, 0, 0, 0));
    if (composition) {
        sf::RenderTexture picture;
        if (picture.create(window.getSize().x, window.getSize().y)) {
            picture.clear(sf::Color(0, 0, 0, 0));
            picture.display();
            window.draw(sf::Sprite(picture.getTexture()), sf::RenderStates(sf::BlendNone));
        }
    }
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
