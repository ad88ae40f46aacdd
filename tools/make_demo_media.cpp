// Paints the demo intro's pictures and synthesizes its song, so that the
// program runs out of the box without any media in the repository.
//
//   make-demo-media <dir>     writes into <dir> (made if missing) the files
//                             that assets/textures.json and assets/music.json name
//
// Everything is computed from fixed tables, so every run gives the same
// pictures and the same tune. The pictures are painted pixel by pixel on the
// CPU: no window or graphics context is needed.

#include <SFML/Audio/OutputSoundFile.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const double pi = 3.14159265358979323846;
const int screenWidth = 1920;
const int screenHeight = 1080;
const int slideCount = 13;

// ---------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------

struct Rgb {
    float r, g, b;
};

// A picture being painted: straight RGBA floats in 0..1, row by row
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;
};

Canvas makeCanvas(int width, int height)
{
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.pixels.assign(static_cast<std::size_t>(width) * height * 4, 1.f);
    return canvas;
}

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

// Blocky 5 by 7 font: one string per glyph, rows top to bottom
struct Glyph {
    char character;
    const char* rows[7];
};

const Glyph font[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'-', {".....", ".....", ".....", ".###.", ".....", ".....", "....."}},
    {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'d', {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"}},
};

// Characters missing from the table come out blank
const Glyph& glyphFor(char c)
{
    for (const Glyph& glyph : font)
        if (glyph.character == c)
            return glyph;
    return c == ' ' ? font[0] : glyphFor(' ');
}

// Width in pixels of a line of text: five cells a glyph, one cell between glyphs
float textWidth(const std::string& text, float cell)
{
    return text.empty() ? 0.f : (6.f * text.size() - 1.f) * cell;
}

// Draws one line of text centred on cx, top edge at top, each font dot a
// rounded block of the given cell size, over a soft shadow
void drawText(Canvas& canvas, const std::string& text, float cx, float top, float cell, Rgb colour)
{
    const float left = cx - textWidth(text, cell) / 2.f;
    const float pad = cell * 0.07f;
    const float shadow = std::max(2.f, cell * 0.14f);
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < text.size(); ++i) {
            const Glyph& glyph = glyphFor(text[i]);
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col) {
                    if (glyph.rows[row][col] != '#')
                        continue;
                    const float x = left + (6.f * i + col) * cell + pad;
                    const float y = top + row * cell + pad;
                    if (pass == 0)
                        fillRoundRect(canvas, x + shadow, y + shadow, cell - 2 * pad, cell - 2 * pad, cell * 0.22f,
                                      {0.f, 0.f, 0.f}, 0.35f);
                    else
                        fillRoundRect(canvas, x, y, cell - 2 * pad, cell - 2 * pad, cell * 0.22f, colour, 1.f);
                }
        }
}

// A row of dots, one per numbered slide, the given one lit
void drawProgress(Canvas& canvas, int number, float cx, float cy, float size)
{
    const float step = size * 2.2f;
    const float left = cx - step * (slideCount - 1) / 2.f;
    for (int i = 1; i <= slideCount; ++i) {
        const float x = left + step * (i - 1) - size / 2.f;
        fillRoundRect(canvas, x, cy - size / 2.f, size, size, size / 2.f, {1.f, 1.f, 1.f}, i == number ? 0.95f : 0.3f);
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

// One panel of the panel sheet: a rounded picture with its number
struct Panel {
    int number;
    int left, top, width, height;
};

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
    Canvas canvas = makeCanvas(screenWidth, screenHeight);
    paintBackground(canvas, 225.f, 1u);
    drawText(canvas, "Orvalen", screenWidth / 2.f, 330.f, 30.f, {1.f, 1.f, 1.f});
    drawText(canvas, "2017 - 2024", screenWidth / 2.f, 640.f, 14.f, {1.f, 0.88f, 0.62f});
    vignette(canvas, 0.5f);
    return canvas;
}

Canvas paintEnd()
{
    Canvas canvas = makeCanvas(screenWidth, screenHeight);
    paintBackground(canvas, 285.f, 2u);
    drawText(canvas, "The End", screenWidth / 2.f, 330.f, 30.f, {1.f, 1.f, 1.f});
    drawText(canvas, "Orvalen 2017 - 2024", screenWidth / 2.f, 640.f, 12.f, {1.f, 0.88f, 0.62f});
    vignette(canvas, 0.5f);
    return canvas;
}

// ---------------------------------------------------------------------------
// PNG writing
// ---------------------------------------------------------------------------
// NOTE: SFML's own PNG writer spends about half a second on each full-screen
// picture, which made up most of the generator's time; this small writer
// (each row filtered against the one above, then one fixed-code deflate block
// with a greedy match search) is many times faster and still compresses the
// smooth pictures well. The program reads the files with SFML as usual.

struct BitWriter {
    std::vector<std::uint8_t>& out;
    std::uint32_t buffer = 0;
    int count = 0;

    // Writes the lowest bits of value, least significant first
    void bits(std::uint32_t value, int length)
    {
        buffer |= value << count;
        count += length;
        while (count >= 8) {
            out.push_back(static_cast<std::uint8_t>(buffer));
            buffer >>= 8;
            count -= 8;
        }
    }
    // Huffman codes go most significant bit first
    void code(std::uint32_t value, int length)
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((value >> i) & 1u) << (length - 1 - i);
        bits(reversed, length);
    }
    void flush()
    {
        if (count > 0)
            out.push_back(static_cast<std::uint8_t>(buffer));
        buffer = 0;
        count = 0;
    }
};

// Literal/length symbol with the fixed codes of deflate
void writeSymbol(BitWriter& writer, int symbol)
{
    if (symbol < 144) writer.code(0x30 + symbol, 8);
    else if (symbol < 256) writer.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) writer.code(symbol - 256, 7);
    else writer.code(0xC0 + symbol - 280, 8);
}

void writeMatch(BitWriter& writer, int length, int distance)
{
    static const int lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int distanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                         193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                          6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int l = 28;
    while (lengthBase[l] > length)
        --l;
    writeSymbol(writer, 257 + l);
    writer.bits(length - lengthBase[l], lengthExtra[l]);
    int d = 29;
    while (distanceBase[d] > distance)
        --d;
    writer.code(d, 5);
    writer.bits(distance - distanceBase[d], distanceExtra[d]);
}

// zlib stream of one fixed-code deflate block
std::vector<std::uint8_t> compress(const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> out = {0x78, 0x01};
    BitWriter writer{out};
    writer.bits(1, 1); // last block
    writer.bits(1, 2); // fixed codes
    const int window = 32768;
    std::vector<int> head(1 << 16, -1);
    auto hashAt = [&](std::size_t i) {
        std::uint32_t v;
        std::memcpy(&v, &data[i], 4);
        return (v * 2654435761u) >> 16;
    };
    std::size_t i = 0;
    while (i < data.size()) {
        int length = 0;
        std::size_t candidate = 0;
        if (i + 4 <= data.size()) {
            const std::uint32_t h = hashAt(i);
            if (head[h] >= 0 && i - head[h] <= static_cast<std::size_t>(window)) {
                candidate = static_cast<std::size_t>(head[h]);
                const std::size_t limit = std::min<std::size_t>(258, data.size() - i);
                while (length < static_cast<int>(limit) && data[candidate + length] == data[i + length])
                    ++length;
            }
            head[h] = static_cast<int>(i);
        }
        if (length >= 4) {
            writeMatch(writer, length, static_cast<int>(i - candidate));
            for (std::size_t j = i + 1; j < i + length && j + 4 <= data.size(); ++j)
                head[hashAt(j)] = static_cast<int>(j);
            i += length;
        } else {
            writeSymbol(writer, data[i]);
            ++i;
        }
    }
    writeSymbol(writer, 256);
    writer.flush();
    // Adler-32, reduced every 5552 bytes (the most that cannot overflow)
    std::uint32_t a = 1, b = 0;
    for (std::size_t at = 0; at < data.size(); at += 5552) {
        const std::size_t stop = std::min(data.size(), at + 5552);
        for (std::size_t k = at; k < stop; ++k) {
            a += data[k];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    const std::uint32_t adler = (b << 16) | a;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(adler >> shift));
    return out;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0)
{
    static std::uint32_t table[256];
    static const bool filled = [] {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return true;
    }();
    (void)filled;
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void appendChunk(std::vector<std::uint8_t>& file, const char* type, const std::vector<std::uint8_t>& data)
{
    const std::size_t start = file.size();
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<std::uint8_t>(data.size() >> shift));
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    const std::uint32_t crc = crc32(&file[start + 4], data.size() + 4);
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<std::uint8_t>(crc >> shift));
}

// Converts to 8 bits with an ordered dither, so the gradients show no bands,
// and writes an RGBA PNG
bool savePicture(const Canvas& canvas, const std::string& path)
{
    static const float bayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    const std::size_t stride = static_cast<std::size_t>(canvas.width) * 4;
    std::vector<std::uint8_t> rows(canvas.height * (stride + 1));
    std::vector<std::uint8_t> above(stride, 0), row(stride);
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            const float* p = &canvas.pixels[(static_cast<std::size_t>(y) * canvas.width + x) * 4];
            const float dither = (bayer[(y & 3) * 4 + (x & 3)] + 0.5f) / 16.f;
            for (int c = 0; c < 3; ++c)
                row[x * 4 + c] = static_cast<std::uint8_t>(std::clamp(p[c] * 255.f + dither, 0.f, 255.f));
            row[x * 4 + 3] = static_cast<std::uint8_t>(std::clamp(p[3] * 255.f + 0.5f, 0.f, 255.f));
        }
        // Filter "up": each byte minus the one above it
        std::uint8_t* out = &rows[y * (stride + 1)];
        out[0] = 2;
        for (std::size_t i = 0; i < stride; ++i)
            out[1 + i] = static_cast<std::uint8_t>(row[i] - above[i]);
        above.swap(row);
    }

    std::vector<std::uint8_t> header;
    for (std::uint32_t v : {static_cast<std::uint32_t>(canvas.width), static_cast<std::uint32_t>(canvas.height)})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.push_back(static_cast<std::uint8_t>(v >> shift));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, standard filters, no interlace

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendChunk(file, "IHDR", header);
    appendChunk(file, "IDAT", compress(rows));
    appendChunk(file, "IEND", {});

    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    stream.close();
    return static_cast<bool>(stream);
}

// ---------------------------------------------------------------------------
// Song
// ---------------------------------------------------------------------------

const unsigned sampleRate = 44100;
const double beat = 0.6;              // 100 beats a minute
const double barLength = 4 * beat;    // 2.4 s
const int introBars = 2;              // played once; the loop starts after them
const int loopBars = 8;

// Stereo mix in floats; anything that rings past the end is folded back to
// the loop start, so the loop joins without a click
struct Mix {
    std::vector<float> left, right;
    std::size_t loopStart = 0;
};

enum class Voice { Pluck, Pad, Bass, Lead, Kick, Hat };

double midiToHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// How long a voice keeps sounding after its note's length
double releaseOf(Voice voice)
{
    switch (voice) {
    case Voice::Pluck: return 1.2;
    case Voice::Pad: return 0.8;
    case Voice::Bass: return 0.15;
    case Voice::Lead: return 0.3;
    case Voice::Kick: return 0.4;
    case Voice::Hat: return 0.08;
    }
    return 0.0;
}

double voiceSample(Voice voice, double t, double hz, double length, std::uint32_t& noise)
{
    const double w = 2 * pi * hz;
    switch (voice) {
    case Voice::Pluck: {
        const double env = std::min(1.0, t / 0.005) * std::exp(-t * 3.2);
        return env * (std::sin(w * t) + 0.5 * std::exp(-4 * t) * std::sin(2 * w * t) +
                      0.25 * std::exp(-8 * t) * std::sin(3 * w * t));
    }
    case Voice::Pad: {
        const double attack = std::min(1.0, t / 0.5);
        const double release = t < length ? 1.0 : std::max(0.0, 1.0 - (t - length) / 0.8);
        return attack * release *
               (0.5 * (std::sin(w * t) + std::sin(w * 1.004 * t)) + 0.2 * std::sin(2 * w * t) +
                0.08 * std::sin(3 * w * t));
    }
    case Voice::Bass: {
        const double release = t < length ? 1.0 : std::max(0.0, 1.0 - (t - length) / 0.15);
        const double env = std::min(1.0, t / 0.01) * std::exp(-t * 1.2) * release;
        return env * (std::sin(w * t) + 0.25 * std::sin(2 * w * t));
    }
    case Voice::Lead: {
        const double release = t < length ? 1.0 : std::max(0.0, 1.0 - (t - length) / 0.3);
        const double env = std::min(1.0, t / 0.04) * (0.8 + 0.2 * std::exp(-t * 3)) * release;
        // Gentle vibrato that sets in after the attack
        const double depth = 0.004 * std::min(1.0, t / 0.4);
        const double phase = w * t + depth * hz * std::sin(2 * pi * 5 * t) / 5;
        return env * (std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.12 * std::sin(3 * phase));
    }
    case Voice::Kick: {
        const double phase = 2 * pi * (45 * t + (65.0 / 25.0) * (1 - std::exp(-25 * t)));
        return std::exp(-t * 7) * std::sin(phase);
    }
    case Voice::Hat: {
        noise = noise * 1664525u + 1013904223u;
        const double white = (noise >> 8) / 8388608.0 - 1.0;
        return std::exp(-t * 45) * white;
    }
    }
    return 0.0;
}

// Adds one note; pan runs from -1 (left) to 1 (right)
void addNote(Mix& mix, double start, double length, double hz, double amp, double pan, Voice voice)
{
    const std::size_t total = mix.left.size();
    const std::size_t first = static_cast<std::size_t>(start * sampleRate + 0.5);
    const std::size_t count = static_cast<std::size_t>((length + releaseOf(voice)) * sampleRate);
    const double leftGain = amp * std::cos((pan + 1) * pi / 4);
    const double rightGain = amp * std::sin((pan + 1) * pi / 4);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(first);
    for (std::size_t i = 0; i < count; ++i) {
        const double s = voiceSample(voice, static_cast<double>(i) / sampleRate, hz, length, noise);
        std::size_t at = first + i;
        while (at >= total)
            at -= total - mix.loopStart;
        mix.left[at] += static_cast<float>(s * leftGain);
        mix.right[at] += static_cast<float>(s * rightGain);
    }
}

struct Bar {
    int bass;      // MIDI note, sounds on beats 1 and 3
    int chord[4];  // MIDI notes of the pad and the arpeggio
};

// Two bars of intro (F major 7, G) that lead into an eight-bar loop in C
const Bar bars[introBars + loopBars] = {
    {41, {53, 57, 60, 64}}, // Fmaj7
    {43, {55, 59, 62, 67}}, // G
    {36, {60, 64, 67, 71}}, // Cmaj7
    {45, {57, 60, 64, 67}}, // Am7
    {41, {53, 57, 60, 64}}, // Fmaj7
    {43, {55, 59, 62, 67}}, // G
    {36, {60, 64, 67, 72}}, // C
    {40, {52, 55, 59, 62}}, // Em7
    {41, {53, 57, 60, 64}}, // Fmaj7
    {43, {55, 60, 62, 67}}, // Gsus4
};

struct MelodyNote {
    int bar;       // counted from the first loop bar
    double beat;   // beat within the bar
    double beats;  // length
    int note;      // MIDI note
};

const MelodyNote melody[] = {
    {0, 0, 2, 76}, {0, 2, 1, 74}, {0, 3, 1, 72},
    {1, 0, 2, 72}, {1, 2, 2, 69},
    {2, 0, 1, 69}, {2, 1, 1, 72}, {2, 2, 2, 77},
    {3, 0, 1, 76}, {3, 1, 1, 74}, {3, 2, 2, 71},
    {4, 0, 2, 76}, {4, 2, 1, 79}, {4, 3, 1, 76},
    {5, 0, 2, 74}, {5, 2, 2, 71},
    {6, 0, 1, 72}, {6, 1, 1, 74}, {6, 2, 1, 76}, {6, 3, 1, 77},
    {7, 0, 3, 74},
};

// Up and down through the chord, an octave at the top
const int arpeggio[8] = {0, 1, 2, 3, 4, 3, 2, 1};

Mix composeSong()
{
    Mix mix;
    const std::size_t total = static_cast<std::size_t>((introBars + loopBars) * barLength * sampleRate + 0.5);
    mix.left.assign(total, 0.f);
    mix.right.assign(total, 0.f);
    mix.loopStart = static_cast<std::size_t>(introBars * barLength * sampleRate + 0.5);

    for (int b = 0; b < introBars + loopBars; ++b) {
        const Bar& bar = bars[b];
        const double at = b * barLength;
        const bool intro = b < introBars;
        for (int note : bar.chord)
            addNote(mix, at, barLength - 0.3, midiToHz(note), 0.05, 0.0, Voice::Pad);
        // The intro opens with the pad alone, then the arpeggio comes in
        if (b > 0)
            for (int step = 0; step < 8; ++step) {
                const int index = arpeggio[step];
                const int note = index < 4 ? bar.chord[index] + 12 : bar.chord[0] + 24;
                addNote(mix, at + step * beat / 2, beat / 2, midiToHz(note), intro ? 0.06 + 0.01 * step : 0.13,
                        step % 2 ? 0.35 : -0.35, Voice::Pluck);
            }
        if (intro)
            continue;
        for (int half = 0; half < 2; ++half) {
            addNote(mix, at + half * 2 * beat, 2 * beat - 0.1, midiToHz(bar.bass), 0.3, 0.0, Voice::Bass);
            addNote(mix, at + half * 2 * beat, 0.1, 0.0, 0.45, 0.0, Voice::Kick);
        }
        for (int step = 0; step < 4; ++step)
            addNote(mix, at + (step + 0.5) * beat, 0.02, 0.0, 0.05, 0.25, Voice::Hat);
    }
    for (const MelodyNote& note : melody)
        addNote(mix, (introBars + note.bar + note.beat / 4) * barLength, note.beats * beat - 0.05, midiToHz(note.note),
                0.11, -0.1, Voice::Lead);
    return mix;
}

bool saveSong(const Mix& mix, const std::string& path)
{
    float peak = 0.f;
    for (std::size_t i = 0; i < mix.left.size(); ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const float gain = peak > 0.f ? 0.8f / peak : 1.f;
    std::vector<sf::Int16> samples(mix.left.size() * 2);
    for (std::size_t i = 0; i < mix.left.size(); ++i) {
        samples[2 * i] = static_cast<sf::Int16>(std::lround(mix.left[i] * gain * 32767.f));
        samples[2 * i + 1] = static_cast<sf::Int16>(std::lround(mix.right[i] * gain * 32767.f));
    }
    {
        sf::OutputSoundFile file;
        if (!file.openFromFile(path, sampleRate, 2))
            return false;
        file.write(samples.data(), samples.size());
    }
    // The writer has no result of its own: check that something arrived
    std::error_code error;
    return std::filesystem::file_size(path, error) > 0 && !error;
}

// ---------------------------------------------------------------------------

// The files are written from several threads: one whole line at a time
bool reportUnwritable(const std::string& path)
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::cerr << "make-demo-media: Unable to write " << path << "." << std::endl;
    return false;
}

bool writePicture(const Canvas& canvas, const std::string& dir, const std::string& name)
{
    const std::string path = dir + "/" + name;
    return savePicture(canvas, path) || reportUnwritable(path);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: make-demo-media <output folder>" << std::endl;
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::cerr << "make-demo-media: Unable to create folder " << dir << "." << std::endl;
        return 1;
    }

    // Which slides are full-screen pictures, centred cards or cut from the
    // panel sheet is fixed by the demo's catalogues in tools/demo/assets/
    static const int cards[] = {2, 5, 8, 13};
    static const Panel panels[] = {{3, 0, 0, 640, 400}, {10, 680, 0, 600, 380}};

    std::vector<std::function<bool()>> jobs;
    jobs.push_back([&] {
        Canvas black = makeCanvas(8, 8);
        for (std::size_t i = 0; i < black.pixels.size(); ++i)
            black.pixels[i] = i % 4 == 3 ? 1.f : 0.f;
        return writePicture(black, dir, "black.png");
    });
    jobs.push_back([&] { return writePicture(paintTitle(), dir, "title.png"); });
    jobs.push_back([&] { return writePicture(paintEnd(), dir, "end.png"); });
    jobs.push_back([&] { return writePicture(paintPanelSheet(panels, 2, 1280, 400), dir, "panels.png"); });
    for (int number = 1; number <= slideCount; ++number) {
        const std::string name = "ov" + std::to_string(number) + ".png";
        if (std::find(std::begin(cards), std::end(cards), number) != std::end(cards))
            jobs.push_back([&, number, name] { return writePicture(paintCard(number, 1200, 700), dir, name); });
        else if (number != panels[0].number && number != panels[1].number)
            jobs.push_back([&, number, name] { return writePicture(paintFullSlide(number), dir, name); });
    }
    jobs.push_back([&] {
        const std::string path = dir + "/song.ogg";
        return saveSong(composeSong(), path) || reportUnwritable(path);
    });

    // NOTE: compressing the big PNGs takes most of the time, so share the
    // pictures out over the cores; each job paints and writes its own file
    std::atomic<std::size_t> nextJob{0};
    std::atomic<bool> ok{true};
    auto worker = [&] {
        for (std::size_t i = nextJob++; i < jobs.size(); i = nextJob++)
            if (!jobs[i]())
                ok = false;
    };
    const unsigned threadCount = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < threadCount; ++i)
        threads.emplace_back(worker);
    worker();
    for (std::thread& thread : threads)
        thread.join();
    return ok ? 0 : 1;
}
