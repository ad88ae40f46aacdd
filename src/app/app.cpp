#include "app/app.h"

#include "app/config.h"
#include "app/screen_fade.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"

#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Window/Event.hpp>
#include <SFML/Window/Keyboard.hpp>
#include <SFML/System/Clock.hpp>
#include <X11/Xlib.h>

#include <cstdlib>
#include <iostream>

bool running = true;
SceneResult sceneResult = SceneContinue;
const char* const texturesFile = "assets/textures.json";
const char* const spritesFile = "assets/sprites.json";
const char* const musicFile = "assets/music.json";

void loadCatalogues()
{
    TextureManager::load(texturesFile);
    SpriteManager::load(spritesFile);
    MusicManager::load(musicFile);
}

namespace {

const char* const windowTitle = "Orvalen 2017 - 2024";
const unsigned int screenWidth = 1920;
const unsigned int screenHeight = 1080;

// NOTE: the media library aborts the whole process when it cannot open the
// display, so ask the X server first and say so in one line. The connection
// is kept until the window exists: some X servers refuse a connection made
// right after another one closed.
Display* openDisplayProbe()
{
    return XOpenDisplay(nullptr);
}

void openWindow(sf::RenderWindow& window)
{
    const sf::Uint32 style = Config::fullscreen ? sf::Style::Fullscreen : sf::Style::Default;
    window.create(sf::VideoMode(screenWidth, screenHeight, 32), windowTitle, style, sf::ContextSettings());
    // NOTE: the media library centres a new window using the screen's width
    // for both coordinates, which pushes it down and off the screen
    if (!Config::fullscreen) {
        const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
        window.setPosition(sf::Vector2i((static_cast<int>(desktop.width) - static_cast<int>(screenWidth)) / 2,
                                        (static_cast<int>(desktop.height) - static_cast<int>(screenHeight)) / 2));
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

void runFrame(sf::RenderWindow& window, float dt)
{
    handleInput(window);
    ScreenFade::update(dt);
    window.clear(sf::Color(0, 0, 0, 0));
    if (sceneResult == SceneContinue)
        sceneResult = IntroSlideshow::run(window, dt);
    else if (sceneResult == SceneQuit)
        running = false;
    ScreenFade::draw(window);
    window.display();
}

} // namespace

int runApp()
{
    loadConfig();
    Display* probe = openDisplayProbe();
    if (!probe) {
        const char* name = std::getenv("DISPLAY");
        std::cerr << "Window: Unable to open the display " << (name && *name ? name : "(DISPLAY is not set)")
                  << "; the intro needs a graphical desktop." << std::endl;
        return 1;
    }
    sf::RenderWindow window;
    openWindow(window);
    XCloseDisplay(probe);
    loadCatalogues();
    ScreenFade::overlay = SpriteManager::get(ScreenFade::overlayKey);

    sf::Clock frameClock;
    frameClock.restart();
    while (running)
        runFrame(window, frameClock.restart().asSeconds());

    window.close();
    return 0;
}
