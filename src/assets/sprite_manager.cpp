#include "assets/sprite_manager.h"

#include "assets/catalogue.h"
#include "assets/texture_manager.h"

#include <array>
#include <iostream>
#include <string_view>
#include <type_traits>

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

// The properties an entry may have, in byte order: the order in which a
// parsed object keeps its members, so one walk over the entry finds them all.
// A large catalogue spent most of its entry pass searching for each in turn.
enum Property { Autocenter, AutocenterPlace, OriginX, OriginY, RectH, RectW, RectX, RectY, Texture, PropertyCount };
const std::array<std::string_view, PropertyCount> propertyNames = {
    "autocenter", "autocenter_place", "originX", "originY", "rectH", "rectW", "rectX", "rectY", "texture"};
static_assert(std::is_same_v<nlohmann::json::object_comparator_t, std::less<>>,
              "the walk below needs members kept in byte order");

// Each property's value in the entry, or null where the entry lacks it
std::array<const nlohmann::json*, PropertyCount> findProperties(const nlohmann::json& entry)
{
    std::array<const nlohmann::json*, PropertyCount> found{};
    std::size_t next = 0;
    for (auto member = entry.begin(); member != entry.end() && next < PropertyCount; ++member) {
        const std::string& name = member.key();
        while (next < PropertyCount && propertyNames[next] < name)
            ++next;
        if (next < PropertyCount && propertyNames[next] == name)
            found[next++] = &member.value();
    }
    return found;
}

bool readEntry(const std::string& key, const nlohmann::json& entry, SpriteEntry& out)
{
    const auto properties = findProperties(entry);
    std::string why;
    auto invalid = [&](Property property) {
        reportInvalidProperty(format.manager, std::string(propertyNames[property]), key, why);
        return false;
    };
    auto readOptional = [&](Property property, auto read, auto& value) {
        return !properties[property] || read(*properties[property], value, why);
    };
    // Checked in this order: only the first bad property is reported
    if (!readOptional(OriginX, readFloat, out.originX)) return invalid(OriginX);
    if (!readOptional(OriginY, readFloat, out.originY)) return invalid(OriginY);
    if (!readOptional(RectX, readInt32, out.rectX)) return invalid(RectX);
    if (!readOptional(RectY, readInt32, out.rectY)) return invalid(RectY);
    if (!readOptional(RectW, readInt32, out.rectW)) return invalid(RectW);
    if (!readOptional(RectH, readInt32, out.rectH)) return invalid(RectH);
    // Always present: the catalogue pass skips an entry without it
    if (!readString(*properties[Texture], out.texture, why)) return invalid(Texture);
    if (!readOptional(Autocenter, readBool, out.autocenter)) return invalid(Autocenter);
    if (!readOptional(AutocenterPlace, readBool, out.autocenterPlace)) return invalid(AutocenterPlace);
    return true;
}

// The last texture an entry of this pass found: catalogues cut many sprites
// from one sheet, one after another
struct LastPicture {
    std::string key;
    std::optional<TextureManager::Picture> picture; // empty until a lookup succeeds
};

void addEntry(const std::string& key, const nlohmann::json& entry, LastPicture& last)
{
    SpriteEntry wanted;
    if (!readEntry(key, entry, wanted))
        return;
    // A sprite without its texture is not stored: the lookup has said why.
    // NOTE: only found textures are remembered, so a missing one is looked
    // up, and reported, for every entry that names it
    if (!last.picture || last.key != wanted.texture) {
        std::optional<TextureManager::Picture> found = TextureManager::picture(wanted.texture);
        if (!found)
            return;
        last.key = wanted.texture;
        last.picture = found;
    }
    const TextureManager::Picture* picture = &*last.picture;

    const sf::Vector2u size = picture->size;
    sf::IntRect rect(wanted.rectX, wanted.rectY, wanted.rectW, wanted.rectH);
    sf::Vector2f origin(wanted.originX, wanted.originY);
    if (wanted.autocenter) {
        origin = sf::Vector2f(static_cast<float>(size.x / 2), static_cast<float>(size.y / 2));
        rect = sf::IntRect(0, 0, static_cast<int>(size.x), static_cast<int>(size.y));
    }
    const sf::Vector2f position = wanted.autocenterPlace ? screenCentre : sf::Vector2f(0.f, 0.f);
    if (rect.width == -1) rect.width = static_cast<int>(size.x);
    if (rect.height == -1) rect.height = static_cast<int>(size.y);

    // The slot is claimed and the duplicate found in one search of the store
    auto [slot, added] = spriteStore.try_emplace(key);
    if (!added) {
        std::cerr << "SpriteManager: Sprite with key " << printable(key) << " already exists." << std::endl;
        return;
    }
    auto sprite = std::make_unique<sf::Sprite>();
    // NOTE: a picture only decoded (the check) has no texture; its sprite
    // still gets its rectangle, origin and place, and is never drawn
    if (picture->texture)
        sprite->setTexture(*picture->texture, true);
    sprite->setTextureRect(rect);
    sprite->setOrigin(origin);
    sprite->setPosition(position);
    slot->second = std::move(sprite);
}

// Room for every entry at once, so a large catalogue never rehashes the store
void reserveFor(const nlohmann::json& document)
{
    if (document.is_object()) {
        const auto entries = document.find(format.topKey);
        if (entries != document.end() && entries->is_object())
            spriteStore.reserve(spriteStore.size() + entries->size());
    }
}

} // namespace

bool load(const std::string& path)
{
    // The file's document is this pass's alone: each entry is freed once used
    return loadCatalogueFile(path, format, [](nlohmann::json&& document) {
        reserveFor(document);
        LastPicture last;
        return passCatalogueEntries(std::move(document), format,
                                    [&last](const std::string& key, const nlohmann::json& entry) { addEntry(key, entry, last); });
    });
}

bool loadEntries(const nlohmann::json& document)
{
    reserveFor(document);
    LastPicture last;
    return passCatalogueEntries(document, format,
                                [&last](const std::string& key, const nlohmann::json& entry) { addEntry(key, entry, last); });
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
