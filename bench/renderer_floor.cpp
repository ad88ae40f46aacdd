// The renderer's floor for this intro: the same window as the program, and
// every frame the least any slideshow of full-screen pictures must draw while
// one fades in over the ones before it: one full-screen picture copied
// (blending off) and one full-screen picture blended over it. Run under the
// swap clock, its frame rate is the ceiling the program can reach on this
// machine's renderer.
//
//   renderer-floor PICTURE_A PICTURE_B SECONDS

#include "program_window.h"

#include <SFML/Graphics.hpp>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: renderer-floor PICTURE_A PICTURE_B SECONDS" << std::endl;
        return 2;
    }
    sf::Texture below, above;
    if (!below.loadFromFile(argv[1]) || !above.loadFromFile(argv[2]))
        return 1;
    const float seconds = static_cast<float>(std::atof(argv[3]));

    sf::RenderWindow window;
    openProgramWindow(window);

    sf::Sprite copied(below), blended(above);
    sf::Clock clock;
    while (clock.getElapsedTime().asSeconds() < seconds) {
        sf::Event event;
        while (window.pollEvent(event)) {
        }
        // The picture above fades in over seven seconds, as an entry does
        const float t = clock.getElapsedTime().asSeconds();
        const float opacity = t / 7.f - static_cast<float>(static_cast<int>(t / 7.f));
        blended.setColor(sf::Color(255, 255, 255, static_cast<sf::Uint8>(opacity * 255.f)));
        window.clear(sf::Color(0, 0, 0, 0));
        window.draw(copied, sf::RenderStates(sf::BlendNone));
        window.draw(blended);
        window.display();
    }
    window.close();
    return 0;
}
