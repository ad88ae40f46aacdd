// A game's start: the intro plays in the game's own window, then the game
// goes on to its menu (here a plain blue screen; Q or closing the window quits).
//
//     example-game [INTRO_FOLDER] [--size WIDTHxHEIGHT] [--skip-after SECONDS]
//
// --skip-after skips the intro from the game's side after that long, as a
// game does once its own loading is done.

#include <orvalen/intro.h>

#include <SFML/Graphics.hpp>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    std::string folder = "intro";
    unsigned int width = 1280, height = 720;
    float skipAfter = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--size" && i + 1 < argc)
            std::sscanf(argv[++i], "%ux%u", &width, &height);
        else if (argument == "--skip-after" && i + 1 < argc)
            skipAfter = std::stof(argv[++i]);
        else
            folder = argument;
    }

    sf::RenderWindow window(sf::VideoMode(width, height), "Example game");
    window.setFramerateLimit(60);

    try {
        orvalen::Intro intro(folder); // problems go to standard error
        intro.play();
        sf::Clock frameClock, sinceStart;
        while (window.isOpen() && !intro.finished()) {
            for (sf::Event event; window.pollEvent(event);) {
                if (event.type == sf::Event::Closed)
                    window.close();
                intro.handleEvent(event); // Escape, a gamepad's Start or B
            }
            if (skipAfter >= 0 && sinceStart.getElapsedTime().asSeconds() >= skipAfter)
                intro.skip();
            intro.update(frameClock.restart().asSeconds());
            intro.draw(window);
            window.display();
        }
    } catch (const orvalen::Error& error) {
        // The game goes on without its intro
        std::cerr << error.what() << '\n';
    }
    // The intro is dropped here: its pictures, song and audio device are gone

    std::cout << "Menu" << std::endl;
    while (window.isOpen()) {
        for (sf::Event event; window.pollEvent(event);)
            if (event.type == sf::Event::Closed ||
                (event.type == sf::Event::KeyPressed && event.key.code == sf::Keyboard::Q))
                window.close();
        window.clear(sf::Color(30, 80, 160));
        window.display();
    }
    return 0;
}
