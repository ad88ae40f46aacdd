#include "app/canvas.h"

#include <SFML/Graphics/Sprite.hpp>

#include <cstdint>

namespace Canvas {

std::unique_ptr<sf::RenderTexture> offscreen;
bool triedOffscreen = false;

namespace {

// Makes the offscreen canvas the first time it is needed; tried only once
bool haveOffscreen()
{
    if (!triedOffscreen) {
        triedOffscreen = true;
        auto canvas = std::make_unique<sf::RenderTexture>();
        if (canvas->create(width, height)) {
            // Scaled with linear filtering: no blocky nearest-pixel steps
            canvas->setSmooth(true);
            offscreen = std::move(canvas);
        }
    }
    return offscreen != nullptr;
}

} // namespace

sf::IntRect fit(sf::Vector2u window)
{
    const std::uint64_t w = window.x, h = window.y;
    if (w == 0 || h == 0)
        return sf::IntRect();
    std::uint64_t fitW = w, fitH = h;
    // Whole pixels, rounded to the nearest; the other side is the window's
    // own, so nothing is ever cut off
    if (w * height <= h * width)
        fitH = (2 * w * height + width) / (2 * width);
    else
        fitW = (2 * h * width + height) / (2 * height);
    return sf::IntRect(static_cast<int>((w - fitW) / 2), static_cast<int>((h - fitH) / 2), static_cast<int>(fitW),
                       static_cast<int>(fitH));
}

sf::View view(sf::Vector2u window)
{
    sf::View canvasView(sf::FloatRect(0.f, 0.f, static_cast<float>(width), static_cast<float>(height)));
    const sf::IntRect area = fit(window);
    if (area.width > 0 && area.height > 0) {
        const float w = static_cast<float>(window.x), h = static_cast<float>(window.y);
        canvasView.setViewport(sf::FloatRect(static_cast<float>(area.left) / w, static_cast<float>(area.top) / h,
                                             static_cast<float>(area.width) / w, static_cast<float>(area.height) / h));
    }
    return canvasView;
}

sf::Vector2u windowedSize(sf::Vector2u desktop)
{
    if (desktop.x >= width && desktop.y >= height)
        return sf::Vector2u(width, height);
    const sf::IntRect area = fit(desktop);
    return sf::Vector2u(static_cast<unsigned int>(area.width), static_cast<unsigned int>(area.height));
}

sf::VideoMode fullscreenMode(const std::vector<sf::VideoMode>& modes, const sf::VideoMode& desktop)
{
    // The list runs from the best mode down, so the first match has the
    // most bits per pixel
    for (const sf::VideoMode& mode : modes)
        if (mode.width == width && mode.height == height)
            return mode;
    return desktop;
}

void reset()
{
    offscreen.reset();
    triedOffscreen = false;
}

bool drawnDirectly(sf::Vector2u window)
{
    // NOTE: chosen by what the software renderer measured (docs/PERFORMANCE.md):
    // two layers at 1366x768 cost less than two at the canvas's size and a
    // copy; at 2560x1440 the two ways cost the same, and above it the
    // offscreen canvas costs less
    return window.x <= width && window.y <= height;
}

sf::RenderTarget& begin(sf::RenderTarget& window)
{
    const sf::Vector2u size = window.getSize();
    if (!drawnDirectly(size) && haveOffscreen())
        return *offscreen;
    // At the canvas's size this is the default view, as the window was made
    // with; at any other size it scales the drawing
    window.setView(view(size));
    return window;
}

void present(sf::RenderTarget& window, sf::RenderTarget& drawnOn)
{
    if (&drawnOn == &window || !offscreen)
        return;
    offscreen->display();
    window.setView(view(window.getSize()));
    // The bars: cleared as every frame is
    window.clear(sf::Color(0, 0, 0, 0));
    // NOTE: copied, not blended: the canvas holds the frame's final colours
    // already, as the window would have after drawing it directly
    window.draw(sf::Sprite(offscreen->getTexture()), sf::RenderStates(sf::BlendNone));
}

} // namespace Canvas
