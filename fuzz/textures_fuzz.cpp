// Fuzzes TextureManager::load: the input becomes a catalogue file in a
// private working dir that holds a few fixture images and non-images.
// Checks: the catalogue's lines, that exactly the entries that name a
// loadable image with well-typed properties are stored, each with that
// image's size and the repeat mode the entry asks for, and that each other
// well-typed entry gives one unable-to-load line.
// Runs under a display (xvfb-run): textures need an OpenGL context.

#include "fuzz_support.h"

#include "assets/texture_manager.h"


#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

namespace {

const fuzz::Catalogue catalogue{"TextureManager", "textures", "file", "FILE"};

// A fixture image, known by its file's identity whatever path names it
struct ImageFile {
    dev_t device = 0;
    ino_t inode = 0;
    const fuzz::Fixture* fixture = nullptr;
};

std::vector<ImageFile> images;

// The fixture image that `file` names, relative to the private working dir, or null
const fuzz::Fixture* imageAt(const std::string& file)
{
    struct stat status;
    const std::string path = fuzz::workDir() + "/" + file;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    for (const ImageFile& image : images)
        if (image.device == status.st_dev && image.inode == status.st_ino)
            return image.fixture;
    return nullptr;
}

// NOTE: a catalogue may name any path, and the loader reads whatever it
// names. Inputs whose file strings could leave the private dir (absolute, or
// with "..") are not run, so the fuzzer never reads devices or other files.
bool staysInside(const std::vector<std::pair<std::string, const nlohmann::json*>>& entries)
{
    for (const auto& [key, entry] : entries) {
        if (!entry->is_object() || !entry->contains("file") || !entry->at("file").is_string())
            continue;
        const std::string& file = entry->at("file").get_ref<const std::string&>();
        if (!file.empty() && file[0] == '/')
            return false;
        if (file.find("..") != std::string::npos)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::keepOneGlContext();
    for (const fuzz::Fixture& fixture : fuzz::fixtures) {
        struct stat status;
        const std::string path = fuzz::workDir() + "/" + fixture.name;
        if (fixture.width > 0 && stat(path.c_str(), &status) == 0)
            images.push_back({status.st_dev, status.st_ino, &fixture});
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::Parsed parsed = fuzz::parseLikeTheProgram(data, size);
    const auto entries = fuzz::catalogueEntries(parsed, catalogue);
    if (!staysInside(entries))
        return -1; // not added to the corpus
    TextureManager::textureStore.clear();
    const fuzz::LoaderRun run = fuzz::runLoader("textures.json", data, size, TextureManager::load);
    const bool loaded = run.result;
    const std::vector<std::string>& lines = run.lines;
    const auto& store = TextureManager::textureStore;

    fuzz::checkLines(lines, {"TextureManager: ", "validateJson: "}, "TextureManager: Error while parsing JSON.",
                     parsed.failed);
    fuzz::checkCatalogueLoad(lines, parsed, catalogue, entries, loaded, store.size());

    std::size_t expectedCount = 0;
    std::size_t unloadable = 0;
    for (const auto& [key, entry] : entries) {
        const bool wellTyped = entry->is_object() && entry->contains("file") && entry->at("file").is_string() &&
                               (!entry->contains("repeated") || entry->at("repeated").is_boolean());
        const fuzz::Fixture* image = wellTyped ? imageAt(entry->at("file").get<std::string>()) : nullptr;
        unloadable += wellTyped && !image ? 1 : 0;
        auto stored = store.find(key);
        if (!image) {
            FUZZ_CHECK(stored == store.end(), "[" + key + "] was stored without a well-typed entry naming an image",
                       lines);
            continue;
        }
        ++expectedCount;
        FUZZ_CHECK(stored != store.end() && stored->second, "[" + key + "] names an image but was not stored", lines);
        const sf::Texture& texture = *stored->second;
        FUZZ_CHECK(texture.getSize() == sf::Vector2u(image->width, image->height),
                   "[" + key + "] does not have its image's size", lines);
        const bool repeated = entry->contains("repeated") && entry->at("repeated").get<bool>();
        FUZZ_CHECK(texture.isRepeated() == repeated, "[" + key + "] has the wrong repeat mode", lines);
        FUZZ_CHECK(!texture.isSmooth(), "[" + key + "] was smoothed", lines);
    }
    FUZZ_CHECK(store.size() == expectedCount, "the store holds keys that no entry gave", lines);
    FUZZ_CHECK(fuzz::countPrefixed(lines, "TextureManager: Unable to load file ") == unloadable,
               "each well-typed entry naming no image must give one line", lines);
    if (!parsed.failed && loaded && expectedCount == entries.size())
        FUZZ_CHECK(lines.empty(), "a clean catalogue whose entries all loaded must write nothing", lines);
    return 0;
}
