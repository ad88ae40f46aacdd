#pragma once
// Decodes the images of a texture catalogue on worker threads while the main
// thread walks its entries, so that loading many large pictures takes the
// time of the slowest core rather than the sum of them all.
// Workers only read files and decode pixels; every texture upload, every
// graphics call and every message stays on the main thread, in the order that
// loading one image after another gives.

#include "assets/image_header.h"

#include <SFML/Graphics/Texture.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace TexturePrefetch {

void plan(std::vector<std::string> files);                // Names the files the main thread will load, in that order; decoding starts with the first load
void start();                                             // Starts decoding the plan now, before the first load; asks the graphics card its largest texture
bool load(sf::Texture& texture, const std::string& file); // Loads a whole image into the texture: decoded ahead when it is planned, else here; the media library's loadFromFile only where decodeImage leaves the file to it
void finish();                                            // Stops the workers and frees pixels that were never used
std::size_t waitingImages();                              // Decoded images that no load has taken yet

// Plans while it lives: a catalogue pass keeps one for its duration
struct Scope {
    explicit Scope(std::vector<std::string> files) { plan(std::move(files)); }
    ~Scope() { finish(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

extern unsigned int threads;  // decoding threads; 0 loads every image on the main thread
extern unsigned int ahead;    // images decoded beyond the one the main thread waits for (or, before its first load, will wait for); bounds the memory
extern std::size_t uploaded;  // textures made from pixels decoded ahead, since the program started

} // namespace TexturePrefetch
