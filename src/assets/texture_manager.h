#pragma once
// The texture catalogue: every image the program draws from, by key.
// The store owns each texture in its own allocation and never frees or moves
// one while the program runs, so a pointer from get() stays valid to the end.

#include <SFML/Graphics/Texture.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <unordered_map>

namespace TextureManager {

bool load(const std::string& path);                                // Reads a catalogue file (relative to the working dir!) and loads its textures
bool loadEntries(const nlohmann::json& document);                  // The same from a parsed document
bool add(const std::string& key, const std::string& file, bool repeated); // Loads one image and stores it; false if the key is taken or the image fails
bool has(const std::string& key);                                  // True when the key is stored; writes nothing
sf::Texture* get(const std::string& key);                          // The stored texture, or null after a "does not exist" line

// Key -> texture, filled at start-up and only read afterwards
extern std::unordered_map<std::string, std::unique_ptr<sf::Texture>> textureStore;

} // namespace TextureManager
