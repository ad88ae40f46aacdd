#pragma once
// The texture catalogue: every image the program draws from, by key.
// The store owns each texture in its own allocation and never frees or moves
// one while the program runs, so a pointer from get() stays valid to the end.
// Keys that name the same file with the same `repeated` flag share one
// texture: the picture is decoded and uploaded once.

#include <SFML/Graphics/Texture.hpp>
#include "assets/catalogue.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <set>

namespace TextureManager {

// A stored picture as a sprite needs it
struct Picture {
    const sf::Texture* texture = nullptr; // null when the picture was only decoded (uploads false)
    sf::Vector2u size;                    // pixels
    bool repeated = false;                // the texture repeats beyond its edges
};

bool load(const std::string& path);                                // Reads a catalogue file (relative to the working dir!) and loads its textures
void prepare(const std::string& path);                             // Reads the catalogue now and starts decoding its pictures, writing nothing; load(path) goes on from there
std::vector<PropertyInfo> declaredProperties();      // Every property an entry may have, as the loader reads it
bool loadEntries(const nlohmann::json& document);                  // The same from a parsed document
bool add(const std::string& key, const std::string& file, bool repeated); // Loads one image and stores it; false if the key is taken or the image fails
void reset();                                                      // Empties the store and forgets any prepared catalogue, as at start; sprites must go first
bool has(const std::string& key);                                  // True when the key is stored; writes nothing
sf::Texture* get(const std::string& key);                          // The stored texture, or null after a "does not exist" line (or, silently, for a picture only decoded)
std::optional<Picture> picture(const std::string& key);            // The texture and its size, uploaded or only decoded; nothing after a "does not exist" line

// Pictures decoded on demand. With onDemand set when a catalogue loads, each
// picture's header is read (a picture too large is refused then, as ever)
// and its texture stays empty, at its lasting address, until the show needs
// it; a picture whose pixels are damaged says so then. The show asks for a
// picture before drawing it and lets it go once nothing it will draw uses it
extern bool onDemand;
void need(const sf::Texture* texture);    // Makes the texture hold its picture now, decoding it if it must; nothing for a texture not loaded on demand
void release(const sf::Texture* texture); // Frees the picture of a texture loaded on demand; need() brings it back
bool waiting(const sf::Texture* texture); // Loaded on demand and holding no picture now
void decodeAhead(const std::vector<const sf::Texture*>& order); // Decodes these pictures on worker threads, in the order the show will need them, a few ahead of the one needed
void preload(const sf::Texture* texture); // need(), when its picture is decoded ahead already; else nothing, without waiting
std::size_t picturesDecoded();            // Pictures decoded into textures so far, each time one was
std::size_t picturesHeld();               // Textures holding a picture now

// Key -> texture, filled at start-up and only read afterwards; several keys
// may hold the same texture
extern std::unordered_map<std::string, std::shared_ptr<sf::Texture>> textureStore;

// NOTE: making a texture opens a GL context, and with it the display. With
// uploads off, each picture is decoded in full, as a start would, but only
// its size is kept, in pictureSizes instead of textureStore, and no GL
// context is needed: the check runs so, with no display at all. The card is
// then taken to accept pictureLimits.assumedMaximumSize a side.
extern bool uploads;                                               // true: pictures become textures; false: decoded and measured only
extern std::unordered_map<std::string, sf::Vector2u> pictureSizes; // Key -> size of each picture decoded with uploads off
extern std::unordered_set<std::string> repeatedPictures;           // The keys of pictureSizes whose textures would repeat
extern std::set<std::string> picturesNamed;                        // Every picture file an entry named, loaded or not, as it was opened

} // namespace TextureManager
