#pragma once
// A complete intro made of solid colours, written into a working folder.
// The title covers the screen; every later picture is a rectangle centred on
// the screen and smaller than the one shown before it, so once the show is
// over each picture still shows as a ring of its own colour, provided that
// each was drawn over the ones before it.

#include <SFML/Config.hpp>
#include <SFML/Graphics/Color.hpp>
#include <SFML/System/Vector2.hpp>

#include <string>
#include <vector>

// The sprite keys of the show as a viewer sees them, one per 7-second entry
const std::vector<std::string>& showOrder();

// One distinct picture of the show
struct ShowPicture {
    std::string key;          // sprite key
    std::string texture;      // texture key, also the image's name
    sf::Color colour;         // the picture's only colour
    int firstEntry = 0;       // index in showOrder() where it first comes
    sf::Vector2i size;        // on screen, centred
    sf::Vector2i probe;       // a screen point that this picture covers and no later one does
};

// The 15 distinct pictures in the order they first come: title, ov1 ... end
const std::vector<ShowPicture>& showPictures();

struct ShowOptions {
    bool withConfig = true;                // write a config.json with the default settings
    sf::Color overlay = sf::Color::Black;  // colour of the texture behind the "black" overlay sprite
    int volume = 50;                       // the song's volume in music.json
};

// Writes config.json, assets/textures.json, sprites.json, music.json, one
// small PNG per colour and assets/song.wav into `folder`
void writeShow(const std::string& folder, const ShowOptions& options = {});

// The song: 16-bit stereo at 44100 Hz, 3 s of 440 Hz then 3 s of 660 Hz,
// both channels alike; music.json loops it from 3000 ms
const unsigned songRate = 44100;
const double songAmplitude = 12000;
std::vector<sf::Int16> songSamples(); // Interleaved left/right

// Every "Sprite with key K does not exist." line that the show's set-up
// writes when only `stored` keys are in the sprite catalogue, in show order
std::vector<std::string> missingSlideLines(const std::vector<std::string>& stored);

// The sprite keys of the fixture with their texture keys, in key order
std::vector<std::pair<std::string, std::string>> spriteTextures();
