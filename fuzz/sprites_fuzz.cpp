// Fuzzes SpriteManager::load over two textures loaded once at start, "a"
// (4x4) and "b" (3x5). Checks: the catalogue's lines, that exactly the
// well-typed entries naming a stored texture are stored, and that each stored
// sprite has that texture, the rectangle, origin and position its entry asks
// for, and SFML's defaults for everything else.
// Runs under a display (xvfb-run): textures need an OpenGL context.

#include "fuzz_support.h"

#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"


#include <sanitizer/lsan_interface.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

const fuzz::Catalogue catalogue{"SpriteManager", "sprites", "texture", "TEXTURE"};

// A value the sprite takes as a float: a boolean or a finite number within a
// float's range (converting a larger one would be undefined)
bool takesFloat(const nlohmann::json& value)
{
    if (value.is_boolean())
        return true;
    if (!value.is_number())
        return false;
    const double number = value.get<double>();
    return std::isfinite(number) && std::fabs(number) <= std::numeric_limits<float>::max();
}

float asFloat(const nlohmann::json& value)
{
    if (value.is_boolean())
        return value.get<bool>() ? 1.f : 0.f;
    return static_cast<float>(value.get<double>());
}

// What a well-typed entry must become
struct Expected {
    std::string texture;
    sf::IntRect rect{0, 0, -1, -1};
    sf::Vector2f origin;
    sf::Vector2f position;
};

// False when some present property has a type or value the sprite cannot take
bool wellTyped(const nlohmann::json& entry, Expected& out)
{
    auto has = [&](const char* name) { return entry.contains(name); };
    for (const char* name : {"originX", "originY"})
        if (has(name) && !takesFloat(entry.at(name)))
            return false;
    for (const char* name : {"rectX", "rectY", "rectW", "rectH"})
        if (has(name) && !fuzz::fitsInt32(entry.at(name)))
            return false;
    for (const char* name : {"autocenter", "autocenter_place"})
        if (has(name) && !entry.at(name).is_boolean())
            return false;
    if (!entry.at("texture").is_string())
        return false;

    out.texture = entry.at("texture").get<std::string>();
    if (has("originX")) out.origin.x = asFloat(entry.at("originX"));
    if (has("originY")) out.origin.y = asFloat(entry.at("originY"));
    if (has("rectX")) out.rect.left = fuzz::asInt32(entry.at("rectX"));
    if (has("rectY")) out.rect.top = fuzz::asInt32(entry.at("rectY"));
    if (has("rectW")) out.rect.width = fuzz::asInt32(entry.at("rectW"));
    if (has("rectH")) out.rect.height = fuzz::asInt32(entry.at("rectH"));
    return true;
}

// Fills in what depends on the texture: centring, placement and a full-size -1
void finish(const nlohmann::json& entry, const sf::Texture& texture, Expected& out)
{
    const sf::Vector2u size = texture.getSize();
    if (entry.contains("autocenter") && entry.at("autocenter").get<bool>()) {
        out.origin = sf::Vector2f(static_cast<float>(size.x / 2), static_cast<float>(size.y / 2));
        out.rect = sf::IntRect(0, 0, static_cast<int>(size.x), static_cast<int>(size.y));
    }
    if (entry.contains("autocenter_place") && entry.at("autocenter_place").get<bool>())
        out.position = sf::Vector2f(960.f, 540.f);
    if (out.rect.width == -1) out.rect.width = static_cast<int>(size.x);
    if (out.rect.height == -1) out.rect.height = static_cast<int>(size.y);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::keepOneGlContext();
    // The driver's allocations for these two stay to the end of the run
    __lsan::ScopedDisabler driverAllocations;
    fuzz::ErrorCapture capture;
    fuzz::InWorkDir inside;
    if (!TextureManager::add("a", "a.png", false) || !TextureManager::add("b", "b.png", true))
        fuzz::fail("cannot load the fixture textures", capture.lines());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SpriteManager::spriteStore.clear();
    const fuzz::LoaderRun run = fuzz::runLoader("sprites.json", data, size, SpriteManager::load);
    const bool loaded = run.result;
    const std::vector<std::string>& lines = run.lines;
    const fuzz::Parsed parsed = fuzz::parseLikeTheProgram(data, size);
    const auto entries = fuzz::catalogueEntries(parsed, catalogue);
    const auto& store = SpriteManager::spriteStore;
    const auto& textures = TextureManager::textureStore;

    fuzz::checkLines(lines, {"SpriteManager: ", "TextureManager: Texture with key ", "validateJson: "},
                     "SpriteManager: Error while parsing JSON.", parsed.failed);
    fuzz::checkCatalogueLoad(lines, parsed, catalogue, entries, loaded, store.size());
    FUZZ_CHECK(textures.size() == 2 && textures.count("a") && textures.count("b"),
               "loading sprites changed the texture store", lines);

    std::size_t expectedCount = 0;
    std::size_t unknownTextures = 0;
    for (const auto& [key, entry] : entries) {
        auto stored = store.find(key);
        Expected want;
        const bool typed = entry->is_object() && entry->contains("texture") && wellTyped(*entry, want);
        unknownTextures += typed && !textures.count(want.texture) ? 1 : 0;
        if (!typed || !textures.count(want.texture)) {
            FUZZ_CHECK(stored == store.end(),
                       "[" + key + "] was stored without a well-typed entry naming a stored texture", lines);
            continue;
        }
        ++expectedCount;
        FUZZ_CHECK(stored != store.end() && stored->second, "[" + key + "] is well typed but was not stored", lines);
        const sf::Texture& texture = *textures.at(want.texture);
        finish(*entry, texture, want);
        const sf::Sprite& sprite = *stored->second;
        FUZZ_CHECK(sprite.getTexture() == &texture, "[" + key + "] does not draw from its texture", lines);
        FUZZ_CHECK(sprite.getTextureRect() == want.rect, "[" + key + "] has the wrong texture rectangle", lines);
        FUZZ_CHECK(sprite.getOrigin() == want.origin, "[" + key + "] has the wrong origin", lines);
        FUZZ_CHECK(sprite.getPosition() == want.position, "[" + key + "] has the wrong position", lines);
        FUZZ_CHECK(sprite.getColor() == sf::Color::White && sprite.getRotation() == 0.f &&
                       sprite.getScale() == sf::Vector2f(1.f, 1.f),
                   "[" + key + "] does not keep SFML's colour, rotation and scale", lines);
    }
    FUZZ_CHECK(store.size() == expectedCount, "the store holds keys that no entry gave", lines);
    FUZZ_CHECK(fuzz::countPrefixed(lines, "TextureManager: Texture with key ") == unknownTextures,
               "each well-typed entry naming a missing texture must give one line", lines);
    if (!parsed.failed && loaded && expectedCount == entries.size())
        FUZZ_CHECK(lines.empty(), "a clean catalogue whose entries all loaded must write nothing", lines);
    return 0;
}
