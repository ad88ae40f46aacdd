#include "assets/texture_manager.h"

#include "assets/catalogue.h"
#include "assets/image_header.h"
#include "assets/texture_prefetch.h"

#include <iostream>

namespace TextureManager {

std::unordered_map<std::string, std::unique_ptr<sf::Texture>> textureStore;

namespace {

const CatalogueFormat format{"TextureManager", "textures", "file", "FILE", "textures"};

void reportUnloadable(const std::string& file)
{
    std::cerr << "TextureManager: Unable to load file " << printable(file) << "." << std::endl;
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

// The files of the entries that reach add(), in the order the pass visits
// them, so that workers can decode them ahead; mirrors the checks above
std::vector<std::string> filesToLoad(const nlohmann::json& document)
{
    std::vector<std::string> files;
    if (!document.is_object() || !document.contains(format.topKey))
        return files;
    const nlohmann::json& entries = document.at(format.topKey);
    for (const auto& item : entries.items()) {
        const nlohmann::json& entry = item.value();
        if (!entry.is_object() || !entry.contains("file") || !entry.at("file").is_string())
            continue;
        if (entry.contains("repeated") && !entry.at("repeated").is_boolean())
            continue;
        files.push_back(entry.at("file").get<std::string>());
    }
    return files;
}

} // namespace

bool load(const std::string& path)
{
    return loadCatalogueFile(path, format, loadEntries);
}

bool loadEntries(const nlohmann::json& document)
{
    const TexturePrefetch::Scope prefetch(filesToLoad(document));
    return passCatalogueEntries(document, format, addEntry);
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
    // NOTE: an image larger than the GPU takes is refused from its header,
    // before gigabytes of pixels are decoded only to be thrown away
    const ImageSize size = readImageSize(file);
    const unsigned int largest = sf::Texture::getMaximumSize();
    if (size.known && (size.width > largest || size.height > largest)) {
        reportUnloadable(file);
        return false;
    }
    auto texture = std::make_unique<sf::Texture>();
    if (!TexturePrefetch::load(*texture, file)) {
        reportUnloadable(file);
        return false;
    }
    texture->setRepeated(repeated);
    textureStore.emplace(key, std::move(texture));
    return true;
}

bool has(const std::string& key)
{
    return textureStore.find(key) != textureStore.end();
}

sf::Texture* get(const std::string& key)
{
    auto found = textureStore.find(key);
    if (found == textureStore.end()) {
        std::cerr << "TextureManager: Texture with key " << printable(key) << " does not exist." << std::endl;
        return nullptr;
    }
    return found->second.get();
}

} // namespace TextureManager
