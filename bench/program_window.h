#pragma once
// The window as the program opens it, so that the benchmark programs draw
// into the same kind of window as the program they are compared with

#include <SFML/Graphics/RenderWindow.hpp>

inline void openProgramWindow(sf::RenderWindow& window)
{
    window.create(sf::VideoMode(1920, 1080, 32), "Orvalen 2017 - 2024", sf::Style::Default, sf::ContextSettings());
    window.setFramerateLimit(60);
    window.setVerticalSyncEnabled(true);
    window.setActive(true);
    window.setMouseCursorVisible(false);
}
