// Paints the demo intro's pictures: a canvas of floats, the few shapes they
// are made of, the pictures themselves, and their saving as PNG

#include "demo_painting.h"

#include "demo_lettering.h"

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

Rgb mix(Rgb a, Rgb b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Hue in degrees, saturation and value in 0..1
Rgb hsv(float hue, float saturation, float value)
{
    hue = std::fmod(hue, 360.f);
    if (hue < 0.f)
        hue += 360.f;
    const float c = value * saturation;
    const float x = c * (1.f - std::fabs(std::fmod(hue / 60.f, 2.f) - 1.f));
    const float m = value - c;
    Rgb rgb{0.f, 0.f, 0.f};
    if (hue < 60.f) rgb = {c, x, 0.f};
    else if (hue < 120.f) rgb = {x, c, 0.f};
    else if (hue < 180.f) rgb = {0.f, c, x};
    else if (hue < 240.f) rgb = {0.f, x, c};
    else if (hue < 300.f) rgb = {x, 0.f, c};
    else rgb = {c, 0.f, x};
    return {rgb.r + m, rgb.g + m, rgb.b + m};
}

// Paints colour over one pixel with the given opacity; the canvas is opaque
// wherever it is painted on (transparent corners are cut out at the end)
void blend(Canvas& canvas, int x, int y, Rgb colour, float alpha)
{
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height || alpha <= 0.f)
        return;
    alpha = std::min(alpha, 1.f);
    float* p = &canvas.pixels[(static_cast<std::size_t>(y) * canvas.width + x) * 4];
    p[0] += (colour.r - p[0]) * alpha;
    p[1] += (colour.g - p[1]) * alpha;
    p[2] += (colour.b - p[2]) * alpha;
}

// Diagonal gradient from the top-left colour to the bottom-right one
void fillGradient(Canvas& canvas, Rgb topLeft, Rgb bottomRight)
{
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            const float t = 0.35f * x / canvas.width + 0.65f * y / canvas.height;
            const Rgb c = mix(topLeft, bottomRight, t);
            float* p = &canvas.pixels[(static_cast<std::size_t>(y) * canvas.width + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 1.f;
        }
}

// A soft round light that fades out towards its rim
void glow(Canvas& canvas, float cx, float cy, float radius, Rgb colour, float strength)
{
    const int x0 = std::max(0, static_cast<int>(cx - radius));
    const int x1 = std::min(canvas.width - 1, static_cast<int>(cx + radius));
    const int y0 = std::max(0, static_cast<int>(cy - radius));
    const int y1 = std::min(canvas.height - 1, static_cast<int>(cy + radius));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float d = std::hypot(x - cx, y - cy) / radius;
            if (d < 1.f)
                blend(canvas, x, y, colour, strength * (1.f - d) * (1.f - d));
        }
}

// Signed distance from a point to a rounded rectangle (negative inside)
float roundRectDistance(float px, float py, float left, float top, float width, float height, float radius)
{
    const float qx = std::fabs(px - (left + width / 2.f)) - (width / 2.f - radius);
    const float qy = std::fabs(py - (top + height / 2.f)) - (height / 2.f - radius);
    const float outside = std::hypot(std::max(qx, 0.f), std::max(qy, 0.f));
    return outside + std::min(std::max(qx, qy), 0.f) - radius;
}

// Darkens the picture towards its edges
void vignette(Canvas& canvas, float strength)
{
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            const float dx = (x - canvas.width / 2.f) / (canvas.width / 2.f);
            const float dy = (y - canvas.height / 2.f) / (canvas.height / 2.f);
            const float k = 1.f - strength * std::min(1.f, (dx * dx + dy * dy) / 2.f);
            float* p = &canvas.pixels[(static_cast<std::size_t>(y) * canvas.width + x) * 4];
            p[0] *= k;
            p[1] *= k;
            p[2] *= k;
        }
}

// Makes everything outside the rounded rectangle transparent
void cutOut(Canvas& canvas, float left, float top, float width, float height, float radius)
{
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            const float d = roundRectDistance(x + 0.5f, y + 0.5f, left, top, width, height, radius);
            float* p = &canvas.pixels[(static_cast<std::size_t>(y) * canvas.width + x) * 4];
            p[3] *= std::clamp(0.5f - d, 0.f, 1.f);
        }
}

// Small pseudo-random numbers from a fixed seed, so pictures repeat exactly
struct Random {
    std::uint32_t state;
    float next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.f;
    }
};

// Background shared by every picture: a gradient in the slide's hue with a
// few soft lights scattered over it
void paintBackground(Canvas& canvas, float hue, std::uint32_t seed)
{
    fillGradient(canvas, hsv(hue, 0.55f, 0.62f), hsv(hue + 45.f, 0.75f, 0.22f));
    Random random{seed};
    for (int i = 0; i < 6; ++i) {
        const float x = random.next() * canvas.width;
        const float y = random.next() * canvas.height;
        const float radius = (0.15f + 0.25f * random.next()) * canvas.height;
        glow(canvas, x, y, radius, hsv(hue - 30.f + 60.f * random.next(), 0.4f, 1.f), 0.25f);
    }
}

// Steps of five thirteenths round the colour wheel, so neighbouring slides
// (which overlap on screen) differ clearly and no two share a hue
float slideHue(int number)
{
    return 200.f + 360.f * ((number - 1) * 5 % slideCount) / slideCount;
}

// The title and the end card: a big white line, a smaller golden one below
Canvas paintHeadline(float hue, std::uint32_t seed, const std::string& heading, const std::string& line, float lineCell)
{
    Canvas canvas = makeCanvas(screenWidth, screenHeight);
    paintBackground(canvas, hue, seed);
    drawText(canvas, heading, screenWidth / 2.f, 330.f, 30.f, {1.f, 1.f, 1.f});
    drawText(canvas, line, screenWidth / 2.f, 640.f, lineCell, {1.f, 0.88f, 0.62f});
    vignette(canvas, 0.5f);
    return canvas;
}

} // namespace

Canvas makeCanvas(int width, int height)
{
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.pixels.assign(static_cast<std::size_t>(width) * height * 4, 1.f);
    return canvas;
}

// Filled rounded rectangle with smooth edges
void fillRoundRect(Canvas& canvas, float left, float top, float width, float height, float radius, Rgb colour,
                   float alpha)
{
    for (int y = static_cast<int>(top) - 1; y <= static_cast<int>(top + height) + 1; ++y)
        for (int x = static_cast<int>(left) - 1; x <= static_cast<int>(left + width) + 1; ++x) {
            const float d = roundRectDistance(x + 0.5f, y + 0.5f, left, top, width, height, radius);
            blend(canvas, x, y, colour, alpha * std::clamp(0.5f - d, 0.f, 1.f));
        }
}

// A full-screen slide: big number, progress dots, name in the corner
Canvas paintFullSlide(int number)
{
    Canvas canvas = makeCanvas(screenWidth, screenHeight);
    paintBackground(canvas, slideHue(number), 1000u + number);
    const float cell = 60.f;
    drawText(canvas, std::to_string(number), screenWidth / 2.f, 250.f, cell, {1.f, 1.f, 1.f});
    drawProgress(canvas, number, screenWidth / 2.f, 850.f, 22.f);
    drawText(canvas, "Orvalen", 60.f + textWidth("Orvalen", 6.f) / 2.f, 50.f, 6.f, {1.f, 1.f, 1.f});
    vignette(canvas, 0.45f);
    return canvas;
}

// A smaller slide with rounded corners and a light frame, shown centred
Canvas paintCard(int number, int width, int height)
{
    Canvas canvas = makeCanvas(width, height);
    paintBackground(canvas, slideHue(number), 2000u + number);
    const float radius = 36.f;
    const float cell = 40.f;
    drawText(canvas, std::to_string(number), width / 2.f, height / 2.f - 3.5f * cell - 40.f, cell, {1.f, 1.f, 1.f});
    drawProgress(canvas, number, width / 2.f, height - 90.f, 16.f);
    // Frame: a light ring just inside the cut-out edge
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float d = roundRectDistance(x + 0.5f, y + 0.5f, 0.f, 0.f, width, height, radius);
            const float ring = std::clamp(1.f - std::fabs(d + 7.f) / 2.5f, 0.f, 1.f);
            blend(canvas, x, y, {1.f, 1.f, 1.f}, 0.8f * ring);
        }
    cutOut(canvas, 0.f, 0.f, width, height, radius);
    return canvas;
}

// Two panels side by side on one transparent sheet; each slide cuts its own
// rectangle out of it
Canvas paintPanelSheet(const Panel* panels, int count, int width, int height)
{
    Canvas sheet = makeCanvas(width, height);
    for (float& v : sheet.pixels)
        v = 0.f;
    for (int i = 0; i < count; ++i) {
        const Panel& panel = panels[i];
        Canvas canvas = makeCanvas(panel.width, panel.height);
        paintBackground(canvas, slideHue(panel.number), 3000u + panel.number);
        const float cell = 30.f;
        drawText(canvas, std::to_string(panel.number), panel.width / 2.f, panel.height / 2.f - 3.5f * cell - 25.f, cell,
                 {1.f, 1.f, 1.f});
        drawProgress(canvas, panel.number, panel.width / 2.f, panel.height - 50.f, 10.f);
        cutOut(canvas, 0.f, 0.f, panel.width, panel.height, 28.f);
        for (int y = 0; y < panel.height; ++y)
            std::copy_n(&canvas.pixels[static_cast<std::size_t>(y) * panel.width * 4], panel.width * 4,
                        &sheet.pixels[(static_cast<std::size_t>(panel.top + y) * width + panel.left) * 4]);
    }
    return sheet;
}

Canvas paintTitle()
{
    return paintHeadline(225.f, 1u, "Orvalen", "2017 - 2024", 14.f);
}

Canvas paintEnd()
{
    return paintHeadline(285.f, 2u, "The End", "Orvalen 2017 - 2024", 12.f);
}

bool savePicture(const Canvas& canvas, const std::string& path)
{
    static const float bayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    std::vector<sf::Uint8> bytes(canvas.pixels.size());
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * canvas.width + x) * 4;
            const float* p = &canvas.pixels[at];
            const float dither = (bayer[(y & 3) * 4 + (x & 3)] + 0.5f) / 16.f;
            for (int c = 0; c < 3; ++c)
                bytes[at + c] = static_cast<sf::Uint8>(std::clamp(p[c] * 255.f + dither, 0.f, 255.f));
            bytes[at + 3] = static_cast<sf::Uint8>(std::clamp(p[3] * 255.f + 0.5f, 0.f, 255.f));
        }
    sf::Image image;
    image.create(static_cast<unsigned>(canvas.width), static_cast<unsigned>(canvas.height), bytes.data());
    return image.saveToFile(path);
}
