#include "app/app.h"

#include "app/canvas.h"
#include "app/config.h"
#include "app/file_watch.h"
#include "app/platform.h"
#include "app/reload.h"
#include "app/stop_signals.h"
#include "base/messages.h"
#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"

#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Window/Event.hpp>
#include <SFML/Window/Keyboard.hpp>
#include <SFML/System/Clock.hpp>

#include <cstdint>
#include <filesystem>

bool running = true;
SceneResult sceneResult = SceneContinue;
bool holdAtEnd = false;
const char* const texturesFile = "assets/textures.json";
const char* const spritesFile = "assets/sprites.json";
const char* const musicFile = "assets/music.json";

namespace {

const char* const windowTitle = "Orvalen 2017 - 2024";

bool sceneRanThisFrame = false; // the scene was called, or its last picture held, in the frame being drawn
bool quitAsked = false;         // Escape or a close request: the frame loop ends even when it holds the end

// Full screen at 1920 by 1080 where the display has that mode, else at the
// desktop's own; a window of 1920 by 1080, or the largest 16:9 size that
// fits a smaller desktop. The canvas is letterboxed into whatever size it gets.
void openWindow(sf::RenderWindow& window)
{
    const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
    if (Config::fullscreen) {
        const sf::VideoMode mode = Canvas::fullscreenMode(sf::VideoMode::getFullscreenModes(), desktop);
        window.create(mode, windowTitle, sf::Style::Fullscreen, sf::ContextSettings());
    } else {
        const sf::Vector2u size = Canvas::windowedSize(sf::Vector2u(desktop.width, desktop.height));
        window.create(sf::VideoMode(size.x, size.y, 32), windowTitle, sf::Style::Default, sf::ContextSettings());
        // NOTE: the media library centres a new window using the screen's
        // width for both coordinates, which pushes it down and off the screen
        window.setPosition(sf::Vector2i((static_cast<int>(desktop.width) - static_cast<int>(size.x)) / 2,
                                        (static_cast<int>(desktop.height) - static_cast<int>(size.y)) / 2));
    }
    window.setFramerateLimit(60);
    window.setVerticalSyncEnabled(Config::vsync);
    window.setActive(true);
    window.setMouseCursorVisible(false);
    window.clear(sf::Color(0, 0, 0, 255));
    window.display();
}

void handleInput(sf::RenderWindow& window)
{
    if (sf::Keyboard::isKeyPressed(sf::Keyboard::Escape))
        quitAsked = true;
    // NOTE: a press of Escape that begins and ends within one long frame (a
    // reload under --watch) shows only as an event, not as a key held down
    sf::Event event;
    while (window.pollEvent(event))
        if (event.type == sf::Event::Closed ||
            (event.type == sf::Event::KeyPressed && event.key.code == sf::Keyboard::Escape))
            quitAsked = true;
    // A stop signal ends the show as closing the window does
    if (StopSignals::caught() != 0)
        quitAsked = true;
    if (quitAsked)
        running = false;
}

// NOTE: a resize is not an event to handle here: each frame asks the
// window for its size and fits the canvas to it
void runFrame(sf::RenderWindow& window, float dt)
{
    handleInput(window);
    advanceFrame(dt);
    sf::RenderTarget& target = Canvas::begin(window);
    drawFrame(target);
    Canvas::present(window, target);
    window.display();
}

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
    Canvas::offscreen.reset();
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

void restartShow()
{
    sceneResult = SceneContinue;
    sceneRanThisFrame = false;
    running = !quitAsked;
}

int runApp(double fromSeconds, bool watch)
{
    if (!haveIntro())
        return 1;
    loadConfig();
    if (!openDisplay())
        return 1;
    // The pictures decode on the other cores while the window opens; what
    // reading the catalogue found is said when it loads, as ever
    TextureManager::prepare(texturesFile);
    sf::RenderWindow window;
    openWindow(window);
    closeDisplayProbe();
    loadShow();
    if (fromSeconds > 0) {
        // The state as it would be by then, and the song where it would be
        MusicManager::silent = true;
        fastForward(fromSeconds);
        MusicManager::silent = false;
        if (sceneResult == SceneContinue)
            IntroSlideshow::playSong(sf::seconds(static_cast<float>(fromSeconds)));
    }

    sf::Clock frameClock;
    frameClock.restart();
    if (!watch) {
        while (running)
            runFrame(window, frameClock.restart().asSeconds());
        window.close();
        return 0;
    }

    // Watching: a look at the files four times a second, a reload of the
    // intro when one has changed and held still
    holdAtEnd = true;
    FileWatch::watch(Reload::introFiles());
    double moment = fromSeconds;
    sf::Clock lookClock;
    while (running) {
        const float dt = frameClock.restart().asSeconds();
        runFrame(window, dt);
        moment += dt;
        if (lookClock.getElapsedTime() < sf::milliseconds(250))
            continue;
        lookClock.restart();
        const std::vector<std::string> changed = FileWatch::settled();
        if (!changed.empty() && Reload::reloadAt(moment, changed)) {
            window.setVerticalSyncEnabled(Config::vsync);
            FileWatch::watch(Reload::introFiles());
        }
        // What a reload took is not this frame's time
        frameClock.restart();
    }

    window.close();
    return 0;
}
