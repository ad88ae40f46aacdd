#include "assets/texture_manager.h"

#include "assets/catalogue.h"
#include "base/messages.h"
#include "assets/texture_prefetch.h"
#include "pictures/decode.h"
#include "pictures/limits.h"

#include <SFML/Graphics/Image.hpp>

#include <filesystem>
#include <functional>
#include <map>
#include <utility>

namespace TextureManager {

std::unordered_map<std::string, std::shared_ptr<sf::Texture>> textureStore;
bool uploads = true;
std::unordered_map<std::string, sf::Vector2u> pictureSizes;
std::unordered_set<std::string> repeatedPictures;
std::set<std::string> picturesNamed;
bool onDemand = false;

namespace {

// A texture loaded on demand: its file, its size from the header, and
// whether it holds its picture now. NOTE: kept through reset(), because a
// failed reload puts the stores it took back; a record whose texture has
// gone is skipped and forgotten
struct OnDemand {
    std::weak_ptr<sf::Texture> texture;
    std::string file;
    sf::Vector2u size;
    bool held = false;
    bool refused = false; // its pixels could not be decoded: it stays empty, said once
};
std::map<const sf::Texture*, OnDemand> onDemandTextures;

// The pictures being decoded ahead of the show, by their place in its order
struct Ahead {
    std::unique_ptr<TexturePrefetch> prefetch;
    std::map<const sf::Texture*, std::size_t> place;
};
Ahead ahead;

std::size_t decodedCount = 0;

// The record of a live texture loaded on demand, or null
OnDemand* onDemandRecord(const sf::Texture* texture)
{
    const auto found = onDemandTextures.find(texture);
    if (found == onDemandTextures.end())
        return nullptr;
    if (found->second.texture.expired()) {
        onDemandTextures.erase(found);
        return nullptr;
    }
    return &found->second;
}

const CatalogueFormat format{"TextureManager", "textures", "file", "FILE", "textures", "assets/textures.json", "Texture"};

// What one entry asks for
struct TextureEntry {
    std::string file; // the picture, relative to the working dir
    bool repeated = false;
};

// Every property a texture entry may have, in the order they are checked
const PropertyList<TextureEntry, 2> entryProperties({{
    {"file", &TextureEntry::file, true},
    {"repeated", &TextureEntry::repeated},
}});

// A picture file as the store knows it: its canonical path (links and dots
// resolved, so two spellings of one path are one file) and the repeat mode
using LoadedFile = std::pair<std::string, bool>;

// Each file loaded into a texture that some key still holds. Weak: once the
// store lets a texture go, its file is loaded anew.
std::map<LoadedFile, std::weak_ptr<sf::Texture>> loadedFiles;

// A catalogue read by prepare() and not yet loaded, its pictures being
// decoded. NOTE: load() ends the decoding before main returns; for a
// catalogue prepared and never loaded, this record's end at exit does
struct Prepared {
    std::string path;  // as prepare() was given it
    ReadCatalogue read;
    std::unique_ptr<TexturePrefetch> prefetch; // null with uploads off
};
std::optional<Prepared> prepared;

// The catalogue pass under way, as add() sees it: its pictures decoded
// ahead, and the entry being added, by its position among the entries the
// pass hands over. Outside a pass, add() decodes on the main thread.
struct PassUnderWay {
    TexturePrefetch* prefetch = nullptr;
    std::size_t entry = 0;
};
PassUnderWay pass;

// The file's identity, or an empty path when it has none (it is missing)
LoadedFile identify(const std::string& file, bool repeated)
{
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(file, error);
    return {error ? std::string() : canonical.string(), repeated};
}

void reportUnloadable(const std::string& file, const std::string& why = std::string())
{
    Problem problem = Messages::unloadablePicture(file);
    problem.why = why;
    Problems::report(std::move(problem));
}

// Reads the whole picture as loading a texture would, with the same lines
// when it cannot, and keeps only its size
bool addDecodedOnly(const std::string& key, const std::string& file, bool repeated)
{
    const DecodedImage decoded = decodeImage(file, pictureLimits.assumedMaximumSize);
    sf::Vector2u size(decoded.width, decoded.height);
    sf::Image image;
    if (!decoded.pixels && decoded.mediaLibraryMayTry && image.loadFromFile(file))
        size = image.getSize();
    else if (!decoded.pixels) {
        // The line says only that it was refused: the check says why
        const ImageSize& header = decoded.header;
        if (header.known && (header.width > pictureLimits.assumedMaximumSize || header.height > pictureLimits.assumedMaximumSize))
            reportUnloadable(file, "its picture is " + Messages::pixels(header.width, header.height) + ", more than the " +
                                       std::to_string(pictureLimits.assumedMaximumSize) +
                                       " a side that the check takes a graphics card to accept");
        else
            reportUnloadable(file, decoded.refusal);
        return false;
    }
    pictureSizes.emplace(key, size);
    if (repeated)
        repeatedPictures.insert(key);
    return true;
}

void addEntry(const std::string& key, const nlohmann::json& entry)
{
    TextureEntry wanted;
    notePathTravel(format, key, entry, "file");
    // NOTE: the picture is named by where it is opened, in the intro's folder
    if (readProperties(entryProperties, format, key, entry, wanted))
        add(key, inIntro(wanted.file), wanted.repeated);
}

// The file of each entry the pass hands to addEntry, by its position among
// them, so that workers can decode them ahead; empty for an entry that will
// not load a file of its own. Mirrors the checks of the pass and above
std::vector<std::string> filesToLoad(const nlohmann::json& document)
{
    std::vector<std::string> files;
    if (!document.is_object() || !document.contains(format.topKey))
        return files;
    // A file that an earlier entry loads, or that is loaded already, is not
    // decoded again: its key will share that texture
    std::map<LoadedFile, bool> planned;
    const nlohmann::json& entries = document.at(format.topKey);
    for (const auto& item : entries.items()) {
        const nlohmann::json& entry = item.value();
        if (!entry.is_object() || !entry.contains(format.requiredProperty))
            continue;
        files.emplace_back();
        if (!entry.at("file").is_string())
            continue;
        if (entry.contains("repeated") && !entry.at("repeated").is_boolean())
            continue;
        const std::string file = inIntro(entry.at("file").get_ref<const std::string&>());
        const LoadedFile identity = identify(file, entry.contains("repeated") && entry.at("repeated").get<bool>());
        if (!identity.first.empty()) {
            const auto loaded = loadedFiles.find(identity);
            if ((loaded != loadedFiles.end() && !loaded->second.expired()) || !planned.emplace(identity, true).second)
                continue;
        }
        files.back() = file;
    }
    return files;
}

// Runs a catalogue pass with its pictures decoded ahead by `prefetch` (or
// none), then stops the decoding: its workers end with the pass
bool passWithPrefetch(std::unique_ptr<TexturePrefetch> prefetch, const std::function<bool(const EntryHandler&)>& walk)
{
    pass = PassUnderWay{prefetch.get(), 0};
    const struct EndPass {
        ~EndPass() { pass = PassUnderWay(); }
    } endPass;
    return walk([](const std::string& key, const nlohmann::json& entry) {
        addEntry(key, entry);
        ++pass.entry;
    });
}

} // namespace

bool load(const std::string& path)
{
    if (!prepared || prepared->path != path)
        return loadCatalogueFile(path, format, loadEntries);
    // The pictures are being decoded already: the pass takes them as planned
    Prepared ahead = std::move(*prepared);
    prepared.reset();
    return loadReadCatalogue(path, std::move(ahead.read), format, [&ahead](nlohmann::json&& document) {
        return passWithPrefetch(std::move(ahead.prefetch), [&document](const EntryHandler& handleEntry) {
            return passCatalogueEntries(std::move(document), format, handleEntry);
        });
    });
}

void prepare(const std::string& path)
{
    prepared = Prepared{path, readCatalogueFile(path), nullptr};
    if (!uploads)
        return;
    prepared->prefetch = std::make_unique<TexturePrefetch>(filesToLoad(prepared->read.document));
    // NOTE: every picture of the pass becomes a texture before the first
    // frame, so decoding them all while the window opens costs no more at
    // the peak than the textures will, and keeps both cores busy meanwhile
    prepared->prefetch->start(true);
}

bool loadEntries(const nlohmann::json& document)
{
    // Another catalogue's pass: what was prepared is no longer decoded ahead
    if (prepared)
        prepared->prefetch.reset();
    // Decoding ahead makes textures and asks the card for their largest
    // size: with uploads off there is neither. On demand, a pass decodes
    // nothing, so nothing is planned for it
    std::unique_ptr<TexturePrefetch> prefetch;
    if (uploads && !onDemand)
        prefetch = std::make_unique<TexturePrefetch>(filesToLoad(document));
    return passWithPrefetch(std::move(prefetch), [&document](const EntryHandler& handleEntry) {
        return passCatalogueEntries(document, format, handleEntry);
    });
}

bool add(const std::string& key, const std::string& file, bool repeated)
{
    picturesNamed.insert(file);
    if (has(key)) {
        Problems::report(Messages::duplicateKey(format.manager, format.what, key));
        return false;
    }
    // A FIFO, device or socket is never opened: it could block or never end
    if (isSpecialFile(file)) {
        reportUnloadable(file);
        return false;
    }
    // NOTE: an image larger than the GPU takes, or larger than any picture
    // may be, is refused from its header by decodeImage, wherever it is
    // decoded, before gigabytes of pixels are decoded only to be thrown away
    if (!uploads)
        return addDecodedOnly(key, file, repeated);
    const LoadedFile identity = identify(file, repeated);
    if (!identity.first.empty()) {
        const auto loaded = loadedFiles.find(identity);
        if (loaded != loadedFiles.end()) {
            if (std::shared_ptr<sf::Texture> shared = loaded->second.lock()) {
                textureStore.emplace(key, std::move(shared));
                return true;
            }
        }
    }
    auto texture = std::make_shared<sf::Texture>();
    if (onDemand) {
        // The header says the size; a picture refused by it loads now, to
        // say so as a start does
        ImageSize header;
        try {
            header = readImageSize(file);
        } catch (...) {
        }
        if (header.known && !tooLarge(header, sf::Texture::getMaximumSize())) {
            texture->setRepeated(repeated);
            onDemandTextures[texture.get()] = OnDemand{texture, file, sf::Vector2u(header.width, header.height)};
            if (!identity.first.empty())
                loadedFiles[identity] = texture;
            textureStore.emplace(key, std::move(texture));
            return true;
        }
    }
    const bool loaded = pass.prefetch ? pass.prefetch->load(*texture, pass.entry, file) : loadTexture(*texture, file);
    if (!loaded) {
        reportUnloadable(file);
        return false;
    }
    ++decodedCount;
    texture->setRepeated(repeated);
    if (!identity.first.empty())
        loadedFiles[identity] = texture;
    textureStore.emplace(key, std::move(texture));
    return true;
}

void need(const sf::Texture* texture)
{
    OnDemand* record = onDemandRecord(texture);
    if (!record || record->held || record->refused)
        return;
    const std::shared_ptr<sf::Texture> owned = record->texture.lock();
    const auto place = ahead.place.find(texture);
    const bool loaded = place != ahead.place.end() ? ahead.prefetch->load(*owned, place->second, record->file)
                                                   : loadTexture(*owned, record->file);
    if (!loaded) {
        record->refused = true;
        reportUnloadable(record->file);
        return;
    }
    ++decodedCount;
    record->held = true;
}

void release(const sf::Texture* texture)
{
    OnDemand* record = onDemandRecord(texture);
    if (!record || !record->held)
        return;
    const std::shared_ptr<sf::Texture> owned = record->texture.lock();
    // An empty texture in its place, with the same filtering and repeat
    sf::Texture empty;
    empty.setSmooth(owned->isSmooth());
    empty.setRepeated(owned->isRepeated());
    owned->swap(empty);
    record->held = false;
}

bool waiting(const sf::Texture* texture)
{
    const OnDemand* record = onDemandRecord(texture);
    return record && !record->held;
}

void decodeAhead(const std::vector<const sf::Texture*>& order)
{
    ahead = Ahead();
    std::vector<std::string> files;
    for (const sf::Texture* texture : order) {
        const OnDemand* record = onDemandRecord(texture);
        if (!record || record->held || record->refused || ahead.place.count(texture))
            continue;
        ahead.place.emplace(texture, files.size());
        files.push_back(record->file);
    }
    if (files.empty())
        return;
    ahead.prefetch = std::make_unique<TexturePrefetch>(std::move(files));
    ahead.prefetch->start();
}

void preload(const sf::Texture* texture)
{
    const auto place = ahead.place.find(texture);
    if (place != ahead.place.end() && waiting(texture) && ahead.prefetch->decoded(place->second))
        need(texture);
}

std::size_t picturesDecoded()
{
    return decodedCount;
}

std::size_t picturesHeld()
{
    std::set<const sf::Texture*> held;
    for (const auto& [key, texture] : textureStore)
        if (texture->getSize().x > 0)
            held.insert(texture.get());
    return held.size();
}

void reset()
{
    ahead = Ahead();
    prepared.reset();
    onDemand = false;
    decodedCount = 0;
    for (auto record = onDemandTextures.begin(); record != onDemandTextures.end();)
        record = record->second.texture.expired() ? onDemandTextures.erase(record) : std::next(record);
    loadedFiles.clear();
    textureStore.clear();
    pictureSizes.clear();
    repeatedPictures.clear();
    picturesNamed.clear();
    uploads = true;
}

std::vector<PropertyInfo> declaredProperties()
{
    return describe(entryProperties);
}

bool has(const std::string& key)
{
    return textureStore.find(key) != textureStore.end() || pictureSizes.find(key) != pictureSizes.end();
}

sf::Texture* get(const std::string& key)
{
    auto found = textureStore.find(key);
    if (found == textureStore.end()) {
        if (pictureSizes.find(key) != pictureSizes.end())
            return nullptr; // stored, but only decoded: there is no texture to hand out
        Problems::report(Messages::missingKey(format.manager, format.what, key));
        return nullptr;
    }
    return found->second.get();
}

std::optional<Picture> picture(const std::string& key)
{
    if (auto decoded = pictureSizes.find(key); decoded != pictureSizes.end())
        return Picture{nullptr, decoded->second, repeatedPictures.count(key) > 0};
    if (const sf::Texture* texture = get(key)) {
        if (const OnDemand* record = onDemandRecord(texture))
            return Picture{texture, record->size, texture->isRepeated()};
        return Picture{texture, texture->getSize(), texture->isRepeated()};
    }
    return std::nullopt;
}

} // namespace TextureManager
