// The renderer's floor for this intro: the same window as the program, and
// every frame the least any slideshow of full-screen pictures must draw while
// one fades in over the ones before it: one full-screen picture copied
// (blending off) and one full-screen picture blended over it. Run under the
// swap clock, its frame rate is the ceiling the program can reach on this
// machine's renderer.
//
//   renderer-floor PICTURE_A PICTURE_B SECONDS [WIDTHxHEIGHT [direct|offscreen]]
//
// With a size, the window is full screen at that size and the two layers are
// scaled to it, smoothly, by either of the two ways the program can draw a
// scaled screen: `direct` draws both pictures scaled straight into the window
// (the default), `offscreen` draws them at the canvas's 1920x1080 first and
// then copies that picture scaled into the window.

#include "program_window.h"

#include <SFML/Graphics.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: renderer-floor PICTURE_A PICTURE_B SECONDS [WIDTHxHEIGHT [direct|offscreen]]" << std::endl;
        return 2;
    }
    sf::Texture below, above;
    if (!below.loadFromFile(argv[1]) || !above.loadFromFile(argv[2]))
        return 1;
    const float seconds = static_cast<float>(std::atof(argv[3]));
    unsigned int width = 0, height = 0;
    if (argc > 4 && std::sscanf(argv[4], "%ux%u", &width, &height) != 2) {
        std::cerr << "renderer-floor: a size is WIDTHxHEIGHT, not " << argv[4] << std::endl;
        return 2;
    }
    const bool offscreen = argc > 5 && std::strcmp(argv[5], "offscreen") == 0;

    sf::RenderWindow window;
    if (width == 0) {
        openProgramWindow(window);
    } else {
        window.create(sf::VideoMode(width, height, 32), "Orvalen 2017 - 2024", sf::Style::Fullscreen,
                      sf::ContextSettings());
        window.setFramerateLimit(60);
        window.setVerticalSyncEnabled(true);
        window.setMouseCursorVisible(false);
    }
    const sf::Vector2u size = window.getSize();
    sf::RenderTexture canvas;
    if (offscreen) {
        if (!canvas.create(1920, 1080))
            return 1;
        canvas.setSmooth(true);
    } else if (size != sf::Vector2u(1920, 1080)) {
        below.setSmooth(true);
        above.setSmooth(true);
    }
    sf::RenderTarget& target = offscreen ? static_cast<sf::RenderTarget&>(canvas) : window;
    const sf::Vector2f scale(offscreen ? 1.f : static_cast<float>(size.x) / 1920.f,
                             offscreen ? 1.f : static_cast<float>(size.y) / 1080.f);

    sf::Sprite copied(below), blended(above), presented(canvas.getTexture());
    copied.setScale(scale);
    blended.setScale(scale);
    presented.setScale(static_cast<float>(size.x) / 1920.f, static_cast<float>(size.y) / 1080.f);
    sf::Clock clock;
    while (clock.getElapsedTime().asSeconds() < seconds) {
        sf::Event event;
        while (window.pollEvent(event)) {
        }
        // The picture above fades in over seven seconds, as an entry does
        const float t = clock.getElapsedTime().asSeconds();
        const float opacity = t / 7.f - static_cast<float>(static_cast<int>(t / 7.f));
        blended.setColor(sf::Color(255, 255, 255, static_cast<sf::Uint8>(opacity * 255.f)));
        target.clear(sf::Color(0, 0, 0, 0));
        target.draw(copied, sf::RenderStates(sf::BlendNone));
        target.draw(blended);
        if (offscreen) {
            canvas.display();
            window.clear(sf::Color(0, 0, 0, 0));
            window.draw(presented, sf::RenderStates(sf::BlendNone));
        }
        window.display();
    }
    window.close();
    return 0;
}
