#include "app/reload.h"

#include "app/app.h"
#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "base/files.h"
#include "base/problems.h"
#include "scenes/intro_slideshow.h"
#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "scenes/show_file.h"

#include <algorithm>
#include <utility>

namespace Reload {

namespace {

// What the stores held before a reload, to go back to when it fails
struct Stores {
    decltype(TextureManager::textureStore) textures;
    decltype(TextureManager::pictureSizes) sizes;
    decltype(TextureManager::repeatedPictures) repeated;
    decltype(TextureManager::picturesNamed) pictures;
    decltype(SpriteManager::spriteStore) sprites;
    decltype(SpriteManager::texturesNamed) texturesNamed;
    decltype(MusicManager::songs) songs;
    ShowRecord show;
};

Stores takeStores()
{
    Stores kept{std::move(TextureManager::textureStore), std::move(TextureManager::pictureSizes),
                std::move(TextureManager::repeatedPictures), std::move(TextureManager::picturesNamed),
                std::move(SpriteManager::spriteStore), std::move(SpriteManager::texturesNamed),
                std::move(MusicManager::songs), Show::current};
    // Sprites point at textures: they go first
    SpriteManager::reset();
    TextureManager::reset();
    MusicManager::songs.clear();
    return kept;
}

void putBack(Stores&& kept)
{
    SpriteManager::reset();
    TextureManager::reset();
    TextureManager::textureStore = std::move(kept.textures);
    TextureManager::pictureSizes = std::move(kept.sizes);
    TextureManager::repeatedPictures = std::move(kept.repeated);
    TextureManager::picturesNamed = std::move(kept.pictures);
    SpriteManager::spriteStore = std::move(kept.sprites);
    SpriteManager::texturesNamed = std::move(kept.texturesNamed);
    MusicManager::songs = std::move(kept.songs);
    Show::current = std::move(kept.show);
}

// A file that cannot be used as it is: most likely a save caught halfway,
// or a file an editor has taken away for a moment
bool breaks(const Problem& problem)
{
    switch (problem.finding) {
    case Finding::FileUnreadable:
    case Finding::NotJson:
    case Finding::MissingMember:
    case Finding::UnloadablePicture:
        return true;
    case Finding::NotAnObject:
        return !problem.quiet;
    default:
        return false;
    }
}

bool isSong(const std::string& path)
{
    if (path == inIntro(musicFile))
        return true;
    for (const auto& [key, song] : MusicManager::songs)
        if (inIntro(song.file) == path)
            return true;
    return false;
}

} // namespace

std::vector<std::string> introFiles()
{
    std::vector<std::string> files;
    for (const char* file : {configFile, texturesFile, spritesFile, musicFile, showFile})
        files.push_back(inIntro(file));
    files.insert(files.end(), TextureManager::picturesNamed.begin(), TextureManager::picturesNamed.end());
    for (const auto& [key, song] : MusicManager::songs)
        files.push_back(inIntro(song.file));
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

bool reloadAt(double moment, const std::vector<std::string>& changed)
{
    const bool songChanged = std::any_of(changed.begin(), changed.end(), isSong);
    Stores kept = takeStores();
    bool broken = false;
    {
        const Problems::Reporting watch([&broken](const Problem& problem) {
            Problems::write(problem);
            broken = broken || breaks(problem);
        });
        loadShowFile();
        TextureManager::onDemand = Show::current.fromFile;
        Config::reset();
        loadConfig();
        loadCatalogues();
    }
    if (broken) {
        putBack(std::move(kept));
        return false;
    }
    // The show as it would be by now, drawn with what was just read
    IntroSlideshow::reset();
    ScreenFade::reset();
    ScreenFade::overlay = SpriteManager::get(ScreenFade::overlayKey);
    restartShow();
    seekShow(moment, songChanged);
    return true;
}

} // namespace Reload
