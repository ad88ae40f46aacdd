#include "app/app.h"

#include "app/canvas.h"
#include "app/config.h"
#include "app/platform.h"
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
#include <iostream>

bool running = true;
SceneResult sceneResult = SceneContinue;
const char* const texturesFile = "assets/textures.json";
const char* const spritesFile = "assets/sprites.json";
const char* const musicFile = "assets/music.json";

namespace {

const char* const windowTitle = "Orvalen 2017 - 2024";

bool sceneRanThisFrame = false; // the scene was called in the frame being drawn

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
        running = false;
    sf::Event event;
    while (window.pollEvent(event))
        if (event.type == sf::Event::Closed)
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

bool openDisplay()
{
    // NOTE: the media library aborts the whole process when it cannot open
    // the display, so ask first and say so in one line. The probe's
    // connection is kept until the window exists: some X servers refuse a
    // connection made right after another one closed.
    if (!Platform::openDisplayProbe()) {
        std::cerr << "Window: Unable to open the display " << Platform::displayName()
                  << "; the intro needs a graphical desktop." << std::endl;
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
    sceneRanThisFrame = sceneResult == SceneContinue;
    if (sceneResult == SceneContinue)
        sceneResult = IntroSlideshow::advance(dt);
    else if (sceneResult == SceneQuit)
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

int runApp(double fromSeconds)
{
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
    while (running)
        runFrame(window, frameClock.restart().asSeconds());

    window.close();
    return 0;
}
