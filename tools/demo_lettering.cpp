// Lettering on the demo intro's pictures

#include "demo_lettering.h"

#include "base/pixel_font.h"

#include <algorithm>
#include <cstddef>
#include <string>

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
            // Characters missing from the font come out blank
            const PixelFont::Glyph* glyph = PixelFont::find(text[i]);
            if (!glyph)
                continue;
            for (int row = 0; row < PixelFont::glyphHeight; ++row)
                for (int col = 0; col < PixelFont::glyphWidth; ++col) {
                    if (!PixelFont::dot(*glyph, row, col))
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
