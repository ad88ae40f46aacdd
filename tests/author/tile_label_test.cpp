// The labels of the contact sheet's tiles: the moment as minutes and
// seconds, and the key of the entry fading in, each letter of which the
// sheet's font can draw.

#include "author/preview.h"
#include "base/pixel_font.h"

#include <gtest/gtest.h>

namespace {

TEST(TileLabel, GivesTheMomentAsMinutesAndSecondsAndTheKey)
{
    const struct {
        double seconds;
        const char* key;
        const char* label;
    } cases[] = {
        {0, "title", "0:00  title"},
        {3.5, "ov1", "0:03.5  ov1"},
        {75.25, "ov9", "1:15.25  ov9"},
        {140, "", "2:20"},
        {600.5, "end", "10:00.5  end"},
        // Cut to a tile's 32 characters
        {7, "a_very_long_sprite_key_that_goes_on", "0:07  a_very_long_sprite_key_..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(tileLabel(c.seconds, c.key), c.label);
    }
}

TEST(TileLabel, EveryLetterOfAKeyHasAGlyph)
{
    for (char c : std::string("0123456789:. abcdefghijklmnopqrstuvwxyz_-/?"))
        EXPECT_NE(PixelFont::find(c), nullptr) << "'" << c << "'";
}

} // namespace
