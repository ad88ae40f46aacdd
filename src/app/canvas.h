#pragma once
// The show's picture: a 1920 by 1080 canvas, shown whole in a window of any
// size, scaled uniformly to the largest size that fits, centred, with black
// bars on the two sides left over; never cropped, never stretched.
// A window of exactly the canvas's size is drawn on directly, as it always
// was. A window smaller than the canvas is drawn on directly too, through a
// view that scales the canvas into it, every picture filtered smoothly: that
// draws fewer pixels than the whole canvas would. A larger window (or one
// larger on one side) gets the picture drawn offscreen at the canvas's size
// first, then smoothly scaled into the window, which costs less there than
// drawing every layer at the window's size.

#include <SFML/Graphics/Rect.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/RenderWindow.hpp>
#include <SFML/Graphics/View.hpp>
#include <SFML/Window/VideoMode.hpp>

#include <memory>
#include <vector>

namespace Canvas {

constexpr unsigned int width = 1920;  // pixels: every coordinate of the show is on this canvas
constexpr unsigned int height = 1080;

sf::IntRect fit(sf::Vector2u window);             // Where the canvas shows in a window of this size, in whole pixels; empty when the window is
sf::View view(sf::Vector2u window);               // The canvas's coordinates mapped onto that area; the default view at the canvas's own size
sf::Vector2u windowedSize(sf::Vector2u desktop);  // The canvas's size when the desktop holds it, else the largest 16:9 size that fits
sf::VideoMode fullscreenMode(const std::vector<sf::VideoMode>& modes, const sf::VideoMode& desktop); // 1920 by 1080 when the display has it, else the desktop's own mode

// A window here is any render target the show is drawn into: the program's
// window, or a game's window or texture
bool drawnDirectly(sf::Vector2u window);           // The window is drawn on itself, not through the offscreen canvas: its size or smaller
sf::RenderTarget& begin(sf::RenderTarget& window); // The target this frame draws on: the window itself at the canvas's size or smaller, else the offscreen canvas
void present(sf::RenderTarget& window, sf::RenderTarget& drawnOn); // Brings an offscreen frame into the window, scaled, with black bars; nothing when drawn on the window

// Made the first time a window differs from the canvas's size, and kept;
// null before that, or when it could not be made (the window is then drawn
// on directly through view(), scaled without smoothing)
extern std::unique_ptr<sf::RenderTexture> offscreen;
extern bool triedOffscreen; // making it has been tried: it is tried once

void reset(); // No offscreen canvas, and none tried yet

} // namespace Canvas
