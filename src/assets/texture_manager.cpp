#include "assets/texture_manager.h"

#include "assets/catalogue.h"
#include "assets/texture_prefetch.h"
#include "pictures/decode.h"
#include "pictures/limits.h"

#include <SFML/Graphics/Image.hpp>

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <utility>

namespace TextureManager {

std::unordered_map<std::string, std::shared_ptr<sf::Texture>> textureStore;
bool uploads = true;
std::unordered_map<std::string, sf::Vector2u> pictureSizes;

namespace {

const CatalogueFormat format{"TextureManager", "textures", "file", "FILE", "textures"};

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

void reportUnloadable(const std::string& file)
{
    std::cerr << "TextureManager: Unable to load file " << printable(file) << "." << std::endl;
}

// Reads the whole picture as loading a texture would, with the same lines
// when it cannot, and keeps only its size
bool addDecodedOnly(const std::string& key, const std::string& file)
{
    const DecodedImage decoded = decodeImage(file, pictureLimits.assumedMaximumSize);
    sf::Vector2u size(decoded.width, decoded.height);
    sf::Image image;
    if (!decoded.pixels && decoded.mediaLibraryMayTry && image.loadFromFile(file))
        size = image.getSize();
    else if (!decoded.pixels) {
        reportUnloadable(file);
        return false;
    }
    pictureSizes.emplace(key, size);
    return true;
}

void addEntry(const std::string& key, const nlohmann::json& entry)
{
    std::string file;
    bool repeated = false;
    std::string why;
    if (!readString(entry.at("file"), file, why))
        return reportInvalidProperty(format.manager, "file", key, why);
    if (entry.contains("repeated") && !readBool(entry.at("repeated"), repeated, why))
        return reportInvalidProperty(format.manager, "repeated", key, why);
    add(key, file, repeated);
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
        const std::string& file = entry.at("file").get_ref<const std::string&>();
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
    prepared->prefetch->start();
}

bool loadEntries(const nlohmann::json& document)
{
    // Another catalogue's pass: what was prepared is no longer decoded ahead
    if (prepared)
        prepared->prefetch.reset();
    // Decoding ahead makes textures and asks the card for their largest
    // size: with uploads off there is neither
    std::unique_ptr<TexturePrefetch> prefetch;
    if (uploads)
        prefetch = std::make_unique<TexturePrefetch>(filesToLoad(document));
    return passWithPrefetch(std::move(prefetch), [&document](const EntryHandler& handleEntry) {
        return passCatalogueEntries(document, format, handleEntry);
    });
}

bool add(const std::string& key, const std::string& file, bool repeated)
{
    if (has(key)) {
        std::cerr << "TextureManager: Texture with key " << printable(key) << " already exists." << std::endl;
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
        return addDecodedOnly(key, file);
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
    const bool loaded = pass.prefetch ? pass.prefetch->load(*texture, pass.entry, file) : loadTexture(*texture, file);
    if (!loaded) {
        reportUnloadable(file);
        return false;
    }
    texture->setRepeated(repeated);
    if (!identity.first.empty())
        loadedFiles[identity] = texture;
    textureStore.emplace(key, std::move(texture));
    return true;
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
        std::cerr << "TextureManager: Texture with key " << printable(key) << " does not exist." << std::endl;
        return nullptr;
    }
    return found->second.get();
}

std::optional<Picture> picture(const std::string& key)
{
    if (auto decoded = pictureSizes.find(key); decoded != pictureSizes.end())
        return Picture{nullptr, decoded->second};
    if (const sf::Texture* texture = get(key))
        return Picture{texture, texture->getSize()};
    return std::nullopt;
}

} // namespace TextureManager
