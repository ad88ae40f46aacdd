#pragma once
// A blocky 5 by 7 pixel font, the one of the contact sheet's labels and of
// the demo intro's lettering: digits, a few letters and signs, each glyph a
// row of dots. Needs nothing but the standard library, so the demo media
// generator builds it too.

namespace PixelFont {

constexpr int glyphWidth = 5;  // dots across; a line of text puts one blank column between glyphs
constexpr int glyphHeight = 7; // dots down

// One character's dots: rows top to bottom, '#' a dot and '.' none
struct Glyph {
    char character;
    const char* rows[glyphHeight];
};

const Glyph* find(char c);                        // The character's glyph; null for one the font lacks
bool dot(const Glyph& glyph, int row, int column); // The glyph has a dot there

} // namespace PixelFont
