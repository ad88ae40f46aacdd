#pragma once
// Decodes the images of a texture catalogue pass on worker threads while the
// main thread walks its entries, so that loading many large pictures takes
// the time of the slowest core rather than the sum of them all.
// Workers only read files and decode pixels; every texture upload, every
// graphics call and every message stays on the main thread, in the order that
// loading one image after another gives.

#include <SFML/Graphics/Texture.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The pictures of one catalogue pass, decoded ahead. Made when the pass's
// entries are planned; its workers are stopped and joined, and the pixels no
// load took are freed, when it goes.
class TexturePrefetch {
public:
    // Entry i of the pass (its position among the entries the pass hands
    // over) loads files[i]; an entry whose name here is empty is not decoded
    // ahead: its key shares another entry's texture, or its file is refused.
    // Decoding starts at start() or the first load.
    explicit TexturePrefetch(std::vector<std::string> files);
    ~TexturePrefetch();
    TexturePrefetch(const TexturePrefetch&) = delete;
    TexturePrefetch& operator=(const TexturePrefetch&) = delete;

    // Starts decoding the plan now, before the first load; asks the graphics
    // card its largest texture. With `all`, the workers decode every file
    // of the plan until the first load, not only the first few: the whole
    // pass is held then, as its textures will be
    void start(bool all = false);
    bool load(sf::Texture& texture, std::size_t entry, const std::string& file); // Loads entry's picture, `file`, into the texture: decoded ahead when it is planned, else here
    bool decoded(std::size_t entry); // A worker has finished entry's picture and no load took it yet: load() would not wait

    static unsigned int threads; // decoding threads; 0 loads every image on the main thread
    static unsigned int ahead;   // images decoded beyond the one the main thread waits for (or, before its first load, will wait for); bounds the memory

    struct Plan; // what the workers share with the main thread

private:
    std::unique_ptr<Plan> plan;
};

// Loads a whole image into the texture on this thread: the media library's
// loadFromFile only where decodeImage leaves the file to it
bool loadTexture(sf::Texture& texture, const std::string& file);
