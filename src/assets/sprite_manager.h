#pragma once
// The sprite catalogue: every drawable picture, cut from a catalogue texture.
// The store owns each sprite in its own allocation and never frees or moves
// one while the program runs; the same key always gives the same object, so
// a colour one holder sets is what every holder draws.

#include <SFML/Graphics/Sprite.hpp>
#include "assets/catalogue.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace SpriteManager {

bool load(const std::string& path);               // Reads a catalogue file (relative to the working dir!); load textures first
std::vector<PropertyInfo> declaredProperties();      // Every property an entry may have, as the loader reads it
bool loadEntries(const nlohmann::json& document); // The same from a parsed document
void reset();                                     // Empties the store, as at start
bool has(const std::string& key);                 // True when the key is stored; writes nothing
sf::Sprite* get(const std::string& key);          // The stored sprite, or null after a "does not exist" line

// Key -> sprite, filled at start-up; only the sprites' colours change afterwards
extern std::unordered_map<std::string, std::unique_ptr<sf::Sprite>> spriteStore;
// Every texture key that an entry names, loaded or not: a texture no entry
// names is used by no sprite
extern std::unordered_set<std::string> texturesNamed;

} // namespace SpriteManager
