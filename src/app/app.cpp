#include "app/app.h"

#include "app/canvas.h"
#include "app/config.h"
#include "app/platform.h"
#include "base/messages.h"
#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "scenes/show_file.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"


#include <cstdint>
#include <filesystem>

bool running = true;
SceneResult sceneResult = SceneContinue;
bool holdAtEnd = false;
const char* const texturesFile = "assets/textures.json";
const char* const spritesFile = "assets/sprites.json";
const char* const musicFile = "assets/music.json";

namespace {

bool sceneRanThisFrame = false; // the scene was called, or its last picture held, in the frame being drawn
bool quitAsked = false;         // Escape, a close request or a skip: the frame loop ends even when it holds the end

} // namespace

void resetProgram()
{
    Config::reset();
    ScreenFade::reset();
    Show::reset();
    IntroSlideshow::reset();
    MusicManager::reset();
    // Sprites point at textures: they go first
    SpriteManager::reset();
    TextureManager::reset();
    Canvas::reset();
    showFileRead = false;
    running = true;
    sceneResult = SceneContinue;
    holdAtEnd = false;
    sceneRanThisFrame = false;
    quitAsked = false;
}

bool haveIntro()
{
    for (const char* file : {configFile, texturesFile, spritesFile, musicFile}) {
        std::error_code error;
        if (std::filesystem::exists(inIntro(file), error))
            return true;
    }
    // NOTE: a show of no files would play 140 seconds of black and call it
    // success: say so instead, after the lines of the files it lacks
    loadConfig();
    loadCatalogues();
    Problems::report(Messages::noIntro(introFolderName()));
    return false;
}

std::string introFolderName()
{
    std::error_code error;
    const std::filesystem::path folder = introFolder.empty() ? std::filesystem::current_path(error)
                                                             : std::filesystem::absolute(introFolder, error);
    return folder.lexically_normal().string();
}

bool openDisplay()
{
    // NOTE: the media library aborts the whole process when it cannot open
    // the display, so ask first and say so in one line. The probe's
    // connection is kept until the window exists: some X servers refuse a
    // connection made right after another one closed.
    if (!Platform::openDisplayProbe()) {
        Problems::report(Messages::noDisplay(Platform::displayName()));
        return false;
    }
    return true;
}

void closeDisplayProbe()
{
    Platform::closeDisplayProbe();
}

void loadCatalogues()
{
    TextureManager::load(texturesFile);
    SpriteManager::load(spritesFile);
    MusicManager::load(musicFile);
}

void loadShow()
{
    loadCatalogues();
    ScreenFade::overlay = SpriteManager::get(ScreenFade::overlayKey);
}

void advanceFrame(float dt)
{
    ScreenFade::update(dt);
    sceneRanThisFrame = sceneResult == SceneContinue || (sceneResult == SceneQuit && holdAtEnd);
    if (sceneResult == SceneContinue)
        sceneResult = IntroSlideshow::advance(dt);
    else if (sceneResult == SceneQuit && !holdAtEnd)
        running = false;
}

void drawFrame(sf::RenderTarget& target)
{
    target.clear(sf::Color(0, 0, 0, 0));
    if (sceneRanThisFrame)
        IntroSlideshow::draw(target);
    ScreenFade::draw(target);
}

void fastForward(double seconds)
{
    const std::int64_t frames = Show::framesToReach(seconds, fixedFrameSeconds);
    for (std::int64_t frame = 0; frame < frames && running; ++frame)
        advanceFrame(fixedFrameSeconds);
}

void askToQuit()
{
    quitAsked = true;
    running = false;
}

void startShowAt(double moment)
{
    quitAsked = false;
    IntroSlideshow::reset();
    // The overlay sprite stays: looking it up again would say again what
    // was said of it at load
    sf::Sprite* const overlay = ScreenFade::overlay;
    ScreenFade::reset();
    ScreenFade::overlay = overlay;
    restartShow();
    if (moment > 0)
        seekShow(moment, true);
}

void seekShow(double moment, bool withSong)
{
    // The state as it would be by then, and the song where it would be
    MusicManager::silent = true;
    fastForward(moment);
    MusicManager::silent = false;
    if (withSong && sceneResult == SceneContinue)
        IntroSlideshow::playSong(sf::seconds(static_cast<float>(moment)));
}

void restartShow()
{
    sceneResult = SceneContinue;
    sceneRanThisFrame = false;
    running = !quitAsked;
}
