#include "app/canvas.h"

#include <gtest/gtest.h>

#include <ostream>

namespace sf {
// Readable failures for the rectangles and sizes below
inline void PrintTo(const IntRect& r, std::ostream* out)
{
    *out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
}
inline void PrintTo(const Vector2u& v, std::ostream* out) { *out << v.x << " x " << v.y; }
} // namespace sf

namespace {

struct FitCase {
    sf::Vector2u window;
    sf::IntRect picture; // where the canvas shows, in the window's pixels
};

// Scaled uniformly, centred, the leftover split between two bars; sides of
// a fraction of a pixel round to the nearest whole pixel
const FitCase fitCases[] = {
    {{1920, 1080}, {0, 0, 1920, 1080}},    // the canvas's own size
    {{1366, 768}, {0, 0, 1365, 768}},      // 1365.33 wide: a bar of one pixel at the right
    {{1920, 1200}, {0, 60, 1920, 1080}},   // 16:10: bars above and below
    {{2560, 1440}, {0, 0, 2560, 1440}},    // larger 16:9: no bars
    {{3840, 2160}, {0, 0, 3840, 2160}},
    {{3440, 1440}, {440, 0, 2560, 1440}},  // ultrawide: bars at the sides
    {{1280, 1024}, {0, 152, 1280, 720}},   // 5:4
    {{1000, 1000}, {0, 218, 1000, 563}},   // 562.5 high rounds up
    {{1600, 600}, {266, 0, 1067, 600}},
    {{1080, 1920}, {0, 656, 1080, 608}},   // portrait: 607.5 high
    {{1, 1}, {0, 0, 1, 1}},
    {{0, 0}, {0, 0, 0, 0}},                // minimised: nothing to draw
    {{800, 0}, {0, 0, 0, 0}},
    {{65535, 65535}, {0, 14336, 65535, 36863}}, // no overflow on the way
};

TEST(CanvasFit, ScalesUniformlyCentresAndNeverCrops)
{
    for (const FitCase& c : fitCases) {
        SCOPED_TRACE(::testing::PrintToString(c.window));
        const sf::IntRect picture = Canvas::fit(c.window);
        EXPECT_EQ(picture, c.picture);
        EXPECT_GE(picture.left, 0);
        EXPECT_GE(picture.top, 0);
        EXPECT_LE(picture.left + picture.width, static_cast<int>(c.window.x));
        EXPECT_LE(picture.top + picture.height, static_cast<int>(c.window.y));
    }
}

// The view maps the canvas's coordinates onto exactly that area, as the
// media library rounds a viewport to pixels
TEST(CanvasFit, ViewShowsTheWholeCanvasInTheFittedArea)
{
    for (const FitCase& c : fitCases) {
        if (c.picture.width == 0)
            continue;
        SCOPED_TRACE(::testing::PrintToString(c.window));
        const sf::View view = Canvas::view(c.window);
        EXPECT_EQ(view.getSize(), sf::Vector2f(1920.f, 1080.f));
        EXPECT_EQ(view.getCenter(), sf::Vector2f(960.f, 540.f));
        const sf::FloatRect v = view.getViewport();
        const float w = static_cast<float>(c.window.x), h = static_cast<float>(c.window.y);
        const sf::IntRect pixels(static_cast<int>(0.5f + w * v.left), static_cast<int>(0.5f + h * v.top),
                                 static_cast<int>(0.5f + w * v.width), static_cast<int>(0.5f + h * v.height));
        EXPECT_EQ(pixels, c.picture);
    }
    // At the canvas's own size it is the view the window is made with
    EXPECT_EQ(Canvas::view({1920, 1080}).getViewport(), sf::FloatRect(0.f, 0.f, 1.f, 1.f));
}

TEST(CanvasFit, WindowIsTheCanvasSizeOrTheLargest16By9ThatFitsTheDesktop)
{
    const struct {
        sf::Vector2u desktop, window;
    } cases[] = {
        {{1920, 1080}, {1920, 1080}}, {{2560, 1440}, {1920, 1080}}, {{3840, 2160}, {1920, 1080}},
        {{1920, 1200}, {1920, 1080}}, {{1366, 768}, {1365, 768}},   {{1280, 1024}, {1280, 720}},
        {{1024, 600}, {1024, 576}},   {{1920, 1000}, {1778, 1000}}, {{1800, 1200}, {1800, 1013}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.desktop));
        EXPECT_EQ(Canvas::windowedSize(c.desktop), c.window);
    }
}

TEST(CanvasFit, FullScreenUsesTheCanvasModeWhenTheDisplayHasItElseTheDesktops)
{
    const sf::VideoMode desktop(2560, 1440, 24);
    const struct {
        const char* name;
        std::vector<sf::VideoMode> modes;
        sf::VideoMode wanted;
    } cases[] = {
        {"has 1920x1080", {{2560, 1440, 32}, {1920, 1080, 32}, {1920, 1080, 16}, {1280, 720, 32}}, {1920, 1080, 32}},
        {"has it at 24 bits only", {{2560, 1440, 32}, {1920, 1080, 24}}, {1920, 1080, 24}},
        {"lacks it", {{2560, 1440, 32}, {2560, 1440, 24}, {1920, 1200, 32}}, desktop},
        {"no modes listed", {}, desktop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Canvas::fullscreenMode(c.modes, desktop), c.wanted);
    }
}

} // namespace
