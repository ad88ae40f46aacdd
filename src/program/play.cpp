#include "program/play.h"

#include <orvalen/intro.h>

#include "app/app.h"
#include "app/canvas.h"
#include "app/config.h"
#include "app/file_watch.h"
#include "app/reload.h"
#include "app/stop_signals.h"
#include "assets/texture_manager.h"
#include "base/files.h"
#include "scenes/show.h"

#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/System/Clock.hpp>
#include <SFML/Window/Event.hpp>
#include <SFML/Window/Keyboard.hpp>

namespace {

const char* const windowTitle = "Orvalen 2017 - 2024";

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

// Escape held down, a close request and a stop signal end the show; every
// other event is the intro's, which skips on a gamepad's Start or B too.
// NOTE: a press of Escape that begins and ends within one long frame (a
// reload under --watch) shows only as an event, which the intro takes
void handleInput(sf::RenderWindow& window, orvalen::Intro& intro)
{
    if (sf::Keyboard::isKeyPressed(sf::Keyboard::Escape))
        intro.skip();
    sf::Event event;
    while (window.pollEvent(event)) {
        if (event.type == sf::Event::Closed)
            intro.skip();
        else
            intro.handleEvent(event);
    }
    if (StopSignals::caught() != 0)
        intro.skip();
}

// NOTE: a resize is not an event to handle here: each frame asks the
// window for its size and fits the canvas to it
void runFrame(sf::RenderWindow& window, orvalen::Intro& intro, float dt)
{
    handleInput(window, intro);
    intro.update(dt);
    intro.draw(window);
    window.display();
}

} // namespace

int runApp(double fromSeconds, bool watch)
{
    if (!haveIntro())
        return 1;
    loadConfig();
    if (!openDisplay())
        return 1;
    // An author's show file may have hundreds of pictures: each is decoded
    // ahead of its turn and let go after it. The built-in show's pictures
    // decode on the other cores while the window opens; what reading the
    // catalogue found is said when it loads, as ever
    TextureManager::onDemand = Show::current.fromFile;
    if (!TextureManager::onDemand)
        TextureManager::prepare(texturesFile);
    sf::RenderWindow window;
    openWindow(window);
    closeDisplayProbe();
    orvalen::Intro intro(introFolder);
    holdAtEnd = watch;
    intro.play(fromSeconds);

    sf::Clock frameClock;
    frameClock.restart();
    if (!watch) {
        while (!intro.finished())
            runFrame(window, intro, frameClock.restart().asSeconds());
        window.close();
        return 0;
    }

    // Watching: a look at the files four times a second, a reload of the
    // intro when one has changed and held still
    FileWatch::watch(Reload::introFiles());
    double moment = fromSeconds;
    sf::Clock lookClock;
    while (!intro.finished()) {
        const float dt = frameClock.restart().asSeconds();
        runFrame(window, intro, dt);
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
