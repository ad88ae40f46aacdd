#include "scenes/show.h"

#include "app/app.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

// Three entries of uneven length, a repeated key in two runs
ShowRecord unevenShow()
{
    ShowRecord show;
    show.entries = {{"a", 1.5f}, {"b", 60.f}, {"a", 0.25f}};
    show.songKey = "tune";
    show.fadeSeconds = 4.f;
    return show;
}

TEST(Show, BuiltInShowIsTheDefault)
{
    const ShowRecord show;
    const std::vector<std::string> keys = {"title", "title", "ov1", "ov2", "ov3", "ov4", "ov5", "ov6", "ov7", "ov8",
                                           "ov9",   "ov10",  "ov12", "ov13", "ov11", "end", "end", "end", "end", "end"};
    ASSERT_EQ(show.entries.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(show.entries[i].spriteKey, keys[i]) << "entry " << i;
        EXPECT_EQ(show.entries[i].seconds, 7.f) << "entry " << i;
    }
    EXPECT_EQ(show.songKey, "song");
    EXPECT_EQ(show.fadeSeconds, 2.f);
    // The fade's step, bit for bit what the frames have always used
    EXPECT_EQ(Show::fadeSpeed(show), 0.5f);
    EXPECT_EQ(Show::fadeSpeed(unevenShow()), 0.25f);
}

TEST(Show, EntryTimesLengthAndTheEntryAtAMoment)
{
    const ShowRecord builtIn;
    const ShowRecord uneven = unevenShow();
    struct Case {
        const ShowRecord* show;
        double moment;
        std::size_t entry; // fading in at the moment; the count once over
    };
    const Case cases[] = {
        {&builtIn, 0, 0},         {&builtIn, 6.999, 0},  {&builtIn, 7, 1},           {&builtIn, 104.5, 14},
        {&builtIn, 105, 15},      {&builtIn, 139.9, 19}, {&builtIn, 140, 20},        {&builtIn, 1e300, 20},
        {&uneven, 0, 0},          {&uneven, 1.49, 0},    {&uneven, 1.5, 1},          {&uneven, 61.4, 1},
        {&uneven, 61.5, 2},       {&uneven, 61.7, 2},    {&uneven, 61.75, 3},        {&uneven, 1e9, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show::entryAt(*c.show, c.moment), c.entry) << "at " << c.moment << " s";

    const double builtInBegins[] = {0, 7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84, 91, 98, 105, 112, 119, 126, 133, 140};
    for (std::size_t i = 0; i < std::size(builtInBegins); ++i)
        EXPECT_EQ(Show::entryBegins(builtIn, i), builtInBegins[i]) << "entry " << i;
    EXPECT_EQ(Show::length(builtIn), 140);

    const double unevenBegins[] = {0, 1.5, 61.5, 61.75};
    for (std::size_t i = 0; i < std::size(unevenBegins); ++i)
        EXPECT_EQ(Show::entryBegins(uneven, i), unevenBegins[i]) << "entry " << i;
    EXPECT_EQ(Show::length(uneven), 61.75);

    ShowRecord empty;
    empty.entries.clear();
    EXPECT_EQ(Show::length(empty), 0);
    EXPECT_EQ(Show::entryAt(empty, 0), 0u);
}

TEST(Show, SpriteUsesNameEachKeyOnceWithItsRun)
{
    const std::vector<ShowSpriteUse> uses = Show::spriteUses(ShowRecord());
    ASSERT_EQ(uses.size(), 15u);
    const ShowSpriteUse expected[] = {
        {"title", "for entries 1 and 2 (0:00 to 0:14)"},
        {"ov1", "for entry 3 (0:14 to 0:21)"},
        {"ov13", "for entry 14 (1:31 to 1:38)"},
        {"ov11", "for entry 15 (1:38 to 1:45)"},
        {"end", "for entries 16 to 20 (1:45 to 2:20)"},
    };
    for (const ShowSpriteUse& want : expected) {
        bool found = false;
        for (const ShowSpriteUse& use : uses)
            if (use.key == want.key) {
                found = true;
                EXPECT_EQ(use.use, want.use) << want.key;
            }
        EXPECT_TRUE(found) << want.key;
    }
    EXPECT_EQ(uses.front().key, "title");
    EXPECT_EQ(uses.back().key, "end");

    // A key that comes back later is named once, for its first run
    const std::vector<ShowSpriteUse> uneven = Show::spriteUses(unevenShow());
    ASSERT_EQ(uneven.size(), 2u);
    EXPECT_EQ(uneven[0].key, "a");
    EXPECT_EQ(uneven[0].use, "for entry 1 (0:00 to 0:01)");
    EXPECT_EQ(uneven[1].key, "b");
    EXPECT_EQ(uneven[1].use, "for entry 2 (0:01 to 1:01)");

    EXPECT_TRUE(Show::usesSprite(unevenShow(), "a"));
    EXPECT_TRUE(Show::usesSprite(ShowRecord(), "ov11"));
    EXPECT_FALSE(Show::usesSprite(ShowRecord(), "black"));
    EXPECT_FALSE(Show::usesSprite(ShowRecord(), "ov14"));
}

TEST(Show, TextsForHelp)
{
    EXPECT_EQ(Show::orderText(ShowRecord()), "  0:00 title  0:07 title  0:14 ov1    0:21 ov2    0:28 ov3\n"
                                             "  0:35 ov4    0:42 ov5    0:49 ov6    0:56 ov7    1:03 ov8\n"
                                             "  1:10 ov9    1:17 ov10   1:24 ov12   1:31 ov13   1:38 ov11\n"
                                             "  1:45 end    1:52 end    1:59 end    2:06 end    2:13 end\n"
                                             "  2:20 the show ends\n");
    EXPECT_EQ(Show::orderText(unevenShow()), "  0:00 a      0:01 b      1:01 a\n"
                                             "  1:01 the show ends\n");
    // A key with a line break in it stays on its line
    ShowRecord broken = unevenShow();
    broken.entries[1].spriteKey = "b\nc";
    EXPECT_EQ(Show::orderText(broken), "  0:00 a      0:01 b\\nc   1:01 a\n"
                                       "  1:01 the show ends\n");
    EXPECT_EQ(Show::pacingText(ShowRecord()), "one sprite key every 7 seconds");
    EXPECT_EQ(Show::pacingText(unevenShow()), "one sprite key after another, each for its own seconds");

    const std::pair<float, const char*> seconds[] = {{7.f, "7"}, {2.f, "2"}, {0.5f, "0.5"}, {12.25f, "12.25"}};
    for (const auto& [value, text] : seconds)
        EXPECT_EQ(Show::secondsText(value), text);

    const std::pair<double, const char*> clocks[] = {{0, "0:00"},    {0.999, "0:00"}, {9.5, "0:09"},  {59.99, "0:59"},
                                                     {60, "1:00"},   {105, "1:45"},   {140, "2:20"},  {3600, "60:00"},
                                                     // Two entries of the most seconds a show file takes: more
                                                     // minutes than any integer holds
                                                     {2 * 3.4028234663852886e+38, "11342744887950961993723472782817230848:00"}};
    for (const auto& [value, text] : clocks)
        EXPECT_EQ(Show::clockTime(value), text) << value;
    const std::pair<double, const char*> moments[] = {{0, "0:00"}, {3.5, "0:03.5"}, {140.25, "2:20.25"}, {105, "1:45"},
                                                      {1e300, "16666666666666667*"}};
    for (const auto& [value, text] : moments) {
        const std::string want = text;
        if (want.back() == '*')
            EXPECT_EQ(Show::momentText(value).rfind(want.substr(0, want.size() - 1), 0), 0u) << Show::momentText(value);
        else
            EXPECT_EQ(Show::momentText(value), want) << value;
    }
}

// Seeking: the nearest whole frame of the single-precision 1/60 s step, the
// first frame at the least, and a cap far past the end of any show
TEST(Show, FramesToReachAMoment)
{
    const std::pair<double, std::int64_t> cases[] = {
        {0, 1},
        {1e-300, 1},
        {1.0 / 120, 1},     // 0.49999997 frames
        {0.025, 1},         // 1.4999999 frames: the step is a little over 1/60
        {0.0251, 2},
        {1, 60},
        {7, 420},
        {140, 8400},
        {140.5, 8430},
        {1e9, 59999996871},
        {1.6e10, 959999949932},
        {1.7e10, 1000000000000},
        {1e300, 1000000000000},
        {std::numeric_limits<double>::max(), 1000000000000},
    };
    for (const auto& [moment, frames] : cases)
        EXPECT_EQ(Show::framesToReach(moment, fixedFrameSeconds), frames) << moment << " s";
}

} // namespace
