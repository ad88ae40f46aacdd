#include "assets/sprite_manager.h"

#include "assets/catalogue.h"
#include "assets/texture_manager.h"

#include <iostream>

namespace SpriteManager {

std::unordered_map<std::string, std::unique_ptr<sf::Sprite>> spriteStore;

namespace {

const CatalogueFormat format{"SpriteManager", "sprites", "texture", "TEXTURE", "sprites"};

// The screen's centre, where "autocenter_place" puts a sprite's origin
const sf::Vector2f screenCentre(960.f, 540.f);

// Everything one entry asks for, read and checked before anything is built
struct SpriteEntry {
    float originX = 0, originY = 0;
    std::int32_t rectX = 0, rectY = 0, rectW = -1, rectH = -1;
    bool autocenter = false, autocenterPlace = false;
    std::string texture;
};

bool readEntry(const std::string& key, const nlohmann::json& entry, SpriteEntry& out)
{
    std::string why;
    auto invalid = [&](const char* property) {
        reportInvalidProperty(format.manager, property, key, why);
        return false;
    };
    auto readOptional = [&](const char* property, auto read, auto& value) {
        return !entry.contains(property) || read(entry.at(property), value, why);
    };
    if (!readOptional("originX", readFloat, out.originX)) return invalid("originX");
    if (!readOptional("originY", readFloat, out.originY)) return invalid("originY");
    if (!readOptional("rectX", readInt32, out.rectX)) return invalid("rectX");
    if (!readOptional("rectY", readInt32, out.rectY)) return invalid("rectY");
    if (!readOptional("rectW", readInt32, out.rectW)) return invalid("rectW");
    if (!readOptional("rectH", readInt32, out.rectH)) return invalid("rectH");
    if (!readString(entry.at("texture"), out.texture, why)) return invalid("texture");
    if (!readOptional("autocenter", readBool, out.autocenter)) return invalid("autocenter");
    if (!readOptional("autocenter_place", readBool, out.autocenterPlace)) return invalid("autocenter_place");
    return true;
}

void addEntry(const std::string& key, const nlohmann::json& entry)
{
    SpriteEntry wanted;
    if (!readEntry(key, entry, wanted))
        return;
    // A sprite without its texture is not stored: get() has said why
    const sf::Texture* texture = TextureManager::get(wanted.texture);
    if (!texture)
        return;

    const sf::Vector2u size = texture->getSize();
    sf::IntRect rect(wanted.rectX, wanted.rectY, wanted.rectW, wanted.rectH);
    sf::Vector2f origin(wanted.originX, wanted.originY);
    if (wanted.autocenter) {
        origin = sf::Vector2f(static_cast<float>(size.x / 2), static_cast<float>(size.y / 2));
        rect = sf::IntRect(0, 0, static_cast<int>(size.x), static_cast<int>(size.y));
    }
    const sf::Vector2f position = wanted.autocenterPlace ? screenCentre : sf::Vector2f(0.f, 0.f);
    if (rect.width == -1) rect.width = static_cast<int>(size.x);
    if (rect.height == -1) rect.height = static_cast<int>(size.y);

    if (has(key)) {
        std::cerr << "SpriteManager: Sprite with key " << printable(key) << " already exists." << std::endl;
        return;
    }
    auto sprite = std::make_unique<sf::Sprite>();
    sprite->setTexture(*texture, true);
    sprite->setTextureRect(rect);
    sprite->setOrigin(origin);
    sprite->setPosition(position);
    spriteStore.emplace(key, std::move(sprite));
}

} // namespace

bool load(const std::string& path)
{
    return loadCatalogueFile(path, format, loadEntries);
}

bool loadEntries(const nlohmann::json& document)
{
    return passCatalogueEntries(document, format, addEntry);
}

bool has(const std::string& key)
{
    return spriteStore.find(key) != spriteStore.end();
}

sf::Sprite* get(const std::string& key)
{
    auto found = spriteStore.find(key);
    if (found == spriteStore.end()) {
        std::cerr << "SpriteManager: Sprite with key " << printable(key) << " does not exist." << std::endl;
        return nullptr;
    }
    return found->second.get();
}

} // namespace SpriteManager
