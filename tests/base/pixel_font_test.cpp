#include "base/pixel_font.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every character the contact sheet's labels and the demo lettering write
const char* const lettered = "0123456789.: -_/?OTEabcdefghijklmnopqrstuvwxyz";

TEST(PixelFont, EveryLetteredCharacterHasAGlyphOfFiveBySevenDots)
{
    for (const char* c = lettered; *c; ++c) {
        const PixelFont::Glyph* glyph = PixelFont::find(*c);
        ASSERT_NE(glyph, nullptr) << "'" << *c << "'";
        EXPECT_EQ(glyph->character, *c);
        int dots = 0;
        for (int row = 0; row < PixelFont::glyphHeight; ++row) {
            ASSERT_EQ(std::strlen(glyph->rows[row]), static_cast<std::size_t>(PixelFont::glyphWidth))
                << "'" << *c << "' row " << row;
            for (int column = 0; column < PixelFont::glyphWidth; ++column) {
                const char cell = glyph->rows[row][column];
                EXPECT_TRUE(cell == '#' || cell == '.') << "'" << *c << "' row " << row;
                dots += PixelFont::dot(*glyph, row, column) ? 1 : 0;
            }
        }
        EXPECT_EQ(dots == 0, *c == ' ') << "'" << *c << "': only the space is blank";
    }
}

TEST(PixelFont, CharactersItLacksHaveNoGlyph)
{
    for (char c : std::string("Z!@\n") + '\0')
        EXPECT_EQ(PixelFont::find(c), nullptr) << static_cast<int>(c);
}

// A few dots that tell the glyphs apart, as the pictures show them
TEST(PixelFont, DotsOfSomeGlyphs)
{
    struct Case {
        char character;
        int row, column;
        bool dot;
    };
    const Case cases[] = {
        {'0', 0, 0, false}, {'0', 0, 1, true},  {'0', 2, 2, false}, {'0', 2, 4, true}, {'1', 6, 1, true},
        {'7', 0, 4, true},  {'7', 6, 1, true},  {'.', 5, 1, true},  {'.', 4, 1, false}, {'s', 6, 4, false},
        {'s', 6, 3, true},  {'-', 3, 0, false}, {'-', 3, 1, true},  {'T', 6, 2, true},  {'d', 0, 4, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelFont::dot(*PixelFont::find(c.character), c.row, c.column), c.dot)
            << "'" << c.character << "' row " << c.row << " column " << c.column;
}

} // namespace
