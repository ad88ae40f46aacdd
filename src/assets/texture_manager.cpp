#include "assets/texture_manager.h"

#include "assets/catalogue.h"
#include "assets/image_header.h"
#include "base/messages.h"
#include "assets/texture_prefetch.h"

#include <SFML/Graphics/Image.hpp>

#include <filesystem>
#include <map>
#include <utility>

namespace TextureManager {

std::unordered_map<std::string, std::shared_ptr<sf::Texture>> textureStore;
bool uploads = true;
std::unordered_map<std::string, sf::Vector2u> pictureSizes;
std::unordered_set<std::string> repeatedPictures;
std::set<std::string> picturesNamed;
// What desktop cards of the last decade and Mesa's software renderer take
const unsigned int assumedMaximumSize = 16384;

namespace {

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

// A catalogue read by prepare() and not yet loaded
struct Prepared {
    std::string path;  // as prepare() was given it
    ReadCatalogue read;
};
std::optional<Prepared> prepared;

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
    const DecodedImage decoded = decodeImage(file, assumedMaximumSize);
    sf::Vector2u size(decoded.width, decoded.height);
    sf::Image image;
    if (!decoded.pixels && decoded.mediaLibraryMayTry && image.loadFromFile(file))
        size = image.getSize();
    else if (!decoded.pixels) {
        // A picture refused from its size alone: the line above cannot say so
        const ImageSize header = readImageSize(file);
        if (header.known && (header.width > assumedMaximumSize || header.height > assumedMaximumSize))
            reportUnloadable(file, "its picture is " + Messages::pixels(header.width, header.height) + ", more than the " +
                                       std::to_string(assumedMaximumSize) +
                                       " a side that the check takes a graphics card to accept");
        else
            reportUnloadable(file);
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
    // NOTE: the picture is named by where it is opened, in the intro's folder
    if (readProperties(entryProperties, format, key, entry, wanted))
        add(key, inIntro(wanted.file), wanted.repeated);
}

// The files of the entries that reach add(), in the order the pass visits
// them, so that workers can decode them ahead; mirrors the checks above
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
        if (!entry.is_object() || !entry.contains("file") || !entry.at("file").is_string())
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
        files.push_back(file);
    }
    return files;
}

} // namespace

bool load(const std::string& path)
{
    if (!prepared || prepared->path != path)
        return loadCatalogueFile(path, format, loadEntries);
    // The pictures are being decoded already: the pass takes them as planned
    Prepared ahead = std::move(*prepared);
    prepared.reset();
    const struct Finish {
        ~Finish() { TexturePrefetch::finish(); }
    } finish;
    return loadReadCatalogue(path, std::move(ahead.read), format, [](nlohmann::json&& document) {
        return passCatalogueEntries(std::move(document), format, addEntry);
    });
}

void prepare(const std::string& path)
{
    prepared = Prepared{path, readCatalogueFile(path)};
    if (!uploads)
        return;
    TexturePrefetch::plan(filesToLoad(prepared->read.document));
    TexturePrefetch::start();
}

bool loadEntries(const nlohmann::json& document)
{
    // Decoding ahead makes textures and asks the card for their largest
    // size: with uploads off there is neither
    const TexturePrefetch::Scope prefetch(uploads ? filesToLoad(document) : std::vector<std::string>());
    return passCatalogueEntries(document, format, addEntry);
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
    if (!TexturePrefetch::load(*texture, file)) {
        reportUnloadable(file);
        return false;
    }
    texture->setRepeated(repeated);
    if (!identity.first.empty())
        loadedFiles[identity] = texture;
    textureStore.emplace(key, std::move(texture));
    return true;
}

void reset()
{
    prepared.reset();
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
    if (const sf::Texture* texture = get(key))
        return Picture{texture, texture->getSize(), texture->isRepeated()};
    return std::nullopt;
}

} // namespace TextureManager
