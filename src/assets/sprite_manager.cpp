#include "assets/sprite_manager.h"

#include "assets/catalogue.h"
#include "assets/texture_manager.h"
#include "base/messages.h"

#include <algorithm>

namespace SpriteManager {

std::unordered_map<std::string, std::unique_ptr<sf::Sprite>> spriteStore;
std::unordered_set<std::string> texturesNamed;

namespace {

const CatalogueFormat format{"SpriteManager", "sprites", "texture", "TEXTURE", "sprites", "assets/sprites.json", "Sprite"};

// The screen's centre, where "autocenter_place" puts a sprite's origin
const sf::Vector2f screenCentre(960.f, 540.f);

// Everything one entry asks for, read and checked before anything is built
struct SpriteEntry {
    float originX = 0, originY = 0;
    std::int32_t rectX = 0, rectY = 0, rectW = -1, rectH = -1; // -1: the texture's whole width or height
    bool autocenter = false, autocenterPlace = false;
    std::string texture;
    std::string fit = "none"; // contain or cover: scaled to the canvas, whatever the origin and place say
};

// Every property a sprite entry may have, in the order they are checked
const PropertyList<SpriteEntry, 10> entryProperties({{
    {"originX", &SpriteEntry::originX},
    {"originY", &SpriteEntry::originY},
    {"rectX", &SpriteEntry::rectX},
    {"rectY", &SpriteEntry::rectY},
    {"rectW", &SpriteEntry::rectW},
    {"rectH", &SpriteEntry::rectH},
    {"texture", &SpriteEntry::texture, true},
    {"autocenter", &SpriteEntry::autocenter},
    {"autocenter_place", &SpriteEntry::autocenterPlace},
    {"fit", &SpriteEntry::fit, false, false, "none|contain|cover"},
}});

// How a fitted sprite is placed: centred on the canvas, scaled uniformly so
// that its rectangle fits inside it (contain) or fills it (cover)
void placeFitted(sf::Sprite& sprite, const sf::IntRect& rect, const std::string& fit)
{
    const float width = static_cast<float>(std::abs(rect.width));
    const float height = static_cast<float>(std::abs(rect.height));
    sprite.setOrigin(width / 2.f, height / 2.f);
    sprite.setPosition(screenCentre);
    if (width == 0.f || height == 0.f)
        return;
    const float across = 2.f * screenCentre.x / width;
    const float down = 2.f * screenCentre.y / height;
    const float scale = fit == "contain" ? std::min(across, down) : std::max(across, down);
    sprite.setScale(scale, scale);
}

// The properties that a fit leaves without effect, where the entry has them
void noteUnusedByFit(const std::string& key, const nlohmann::json& entry, const std::string& fit)
{
    for (const char* unused : {"originX", "originY", "autocenter_place"})
        if (entry.contains(unused))
            Problems::report(Messages::unusedByFit(key, unused, fit));
}

// Whether the rectangle's columns or rows, from..to, whichever way it is cut,
// leave a picture of `size`
bool outside(int start, int length, unsigned int size)
{
    const long long from = std::min<long long>(start, static_cast<long long>(start) + length);
    const long long to = std::max<long long>(start, static_cast<long long>(start) + length);
    return from < 0 || to > static_cast<long long>(size);
}

// The last texture an entry of this pass found: catalogues cut many sprites
// from one sheet, one after another
struct LastPicture {
    std::string key;
    std::optional<TextureManager::Picture> picture; // empty until a lookup succeeds
};

void addEntry(const std::string& key, const nlohmann::json& entry, LastPicture& last)
{
    // The texture is used, whatever becomes of the entry
    const nlohmann::json& named = entry.at("texture");
    if (named.is_string() && !(last.picture && last.key == named.get_ref<const std::string&>()))
        texturesNamed.insert(named.get_ref<const std::string&>());
    SpriteEntry wanted;
    if (!readProperties(entryProperties, format, key, entry, wanted))
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
    if (!picture->repeated && (outside(rect.left, rect.width, size.x) || outside(rect.top, rect.height, size.y)))
        Problems::report(Messages::rectangleOutside(key, rect.left, rect.top, rect.width, rect.height, wanted.texture,
                                                    size.x, size.y));

    // The slot is claimed and the duplicate found in one search of the store
    auto [slot, added] = spriteStore.try_emplace(key);
    if (!added) {
        Problems::report(Messages::duplicateKey(format.manager, format.what, key));
        return;
    }
    auto sprite = std::make_unique<sf::Sprite>();
    // NOTE: a picture only decoded (the check) has no texture; its sprite
    // still gets its rectangle, origin and place, and is never drawn
    if (picture->texture)
        sprite->setTexture(*picture->texture, true);
    sprite->setTextureRect(rect);
    if (wanted.fit == "none") {
        sprite->setOrigin(origin);
        sprite->setPosition(position);
    } else {
        noteUnusedByFit(key, entry, wanted.fit);
        placeFitted(*sprite, rect, wanted.fit);
        // A scaled picture is filtered smoothly: no blocks, no shimmer
        if (sf::Texture* texture = picture->texture ? TextureManager::get(wanted.texture) : nullptr)
            texture->setSmooth(true);
    }
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

void reset()
{
    spriteStore.clear();
    texturesNamed.clear();
}

std::vector<PropertyInfo> declaredProperties()
{
    return describe(entryProperties);
}

bool has(const std::string& key)
{
    return spriteStore.find(key) != spriteStore.end();
}

sf::Sprite* get(const std::string& key)
{
    auto found = spriteStore.find(key);
    if (found == spriteStore.end()) {
        Problems::report(Messages::missingKey(format.manager, format.what, key));
        return nullptr;
    }
    return found->second.get();
}

} // namespace SpriteManager
