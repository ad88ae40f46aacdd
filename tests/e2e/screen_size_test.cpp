// The intro on screens of other sizes, windowed and full screen, and in a
// window resized to other shapes: the whole 1920 by 1080 picture shows,
// scaled uniformly, centred, with black bars, and smooth where it is scaled.
// Each case has a private X server of its own size.

#include "run_fixture.h"
#include "virtual_display.h"

#include <nlohmann/json.hpp>

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The title card: grey, with a block of its own colour in each corner and,
// in the middle, a band of one-pixel black and white stripes that scaling
// without smoothing would keep pure black and white
const sf::Color grey(128, 128, 128);
struct Corner {
    const char* name;
    sf::Vector2i centre; // on the canvas
    sf::Color colour;
};
const int cornerW = 240, cornerH = 135;
const Corner corners[] = {
    {"top left", {cornerW / 2, cornerH / 2}, sf::Color(255, 0, 0)},
    {"top right", {1920 - cornerW / 2, cornerH / 2}, sf::Color(0, 255, 0)},
    {"bottom left", {cornerW / 2, 1080 - cornerH / 2}, sf::Color(0, 0, 255)},
    {"bottom right", {1920 - cornerW / 2, 1080 - cornerH / 2}, sf::Color(255, 255, 0)},
};
const sf::IntRect stripes(720, 490, 480, 100);

const int edgeTolerance = 2; // pixels
const int colourTolerance = 40;

void writeJson(const fs::path& path, const nlohmann::json& document)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << document.dump(2) << "\n";
}

// Only the title and the overlay: the other slides are missing, so the title
// stays alone, and after its two entries it comes from the composed picture
void writeCornerShow(const std::string& folder, bool fullscreen)
{
    const fs::path root(folder);
    sf::Image card;
    card.create(1920, 1080, grey);
    for (const Corner& corner : corners)
        for (int y = corner.centre.y - cornerH / 2; y < corner.centre.y + cornerH / 2 + 1; ++y)
            for (int x = corner.centre.x - cornerW / 2; x < corner.centre.x + cornerW / 2; ++x)
                card.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(std::min(y, 1079)), corner.colour);
    for (int y = stripes.top; y < stripes.top + stripes.height; ++y)
        for (int x = stripes.left; x < stripes.left + stripes.width; ++x)
            card.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y), x % 2 ? sf::Color::White : sf::Color::Black);
    fs::create_directories(root / "assets/img");
    ASSERT_TRUE(card.saveToFile((root / "assets/img/corners.png").string()));
    ASSERT_TRUE(writeImage((root / "assets/img/shade.png").string(), 4, 4, sf::Color::Black));
    writeJson(root / "config.json", {{"fullscreen", fullscreen}});
    writeJson(root / "assets/textures.json",
              {{"textures",
                {{"corners", {{"file", "assets/img/corners.png"}}},
                 {"shade", {{"file", "assets/img/shade.png"}, {"repeated", true}}}}}});
    writeJson(root / "assets/sprites.json",
              {{"sprites",
                {{"title", {{"texture", "corners"}}},
                 {"black", {{"texture", "shade"}, {"rectW", 1920}, {"rectH", 1080}}}}}});
}

bool dark(sf::Color c) { return c.r <= 40 && c.g <= 40 && c.b <= 40; }

sf::Vector2i onWindow(const sf::IntRect& picture, sf::Vector2i canvasPoint)
{
    return sf::Vector2i(picture.left + canvasPoint.x * picture.width / 1920,
                        picture.top + canvasPoint.y * picture.height / 1080);
}

std::string text(const sf::IntRect& r)
{
    std::ostringstream out;
    out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
    return out.str();
}

// The first and last pixels that are not black along the window's middle
// row and middle column: where the picture begins and ends
sf::IntRect findPicture(const sf::Image& shot)
{
    const sf::Vector2u size = shot.getSize();
    const unsigned midX = size.x / 2, midY = size.y / 2;
    int left = -1, right = -1, top = -1, bottom = -1;
    for (unsigned x = 0; x < size.x; ++x)
        if (!dark(shot.getPixel(x, midY))) {
            right = static_cast<int>(x);
            if (left < 0)
                left = static_cast<int>(x);
        }
    for (unsigned y = 0; y < size.y; ++y)
        if (!dark(shot.getPixel(midX, y))) {
            bottom = static_cast<int>(y);
            if (top < 0)
                top = static_cast<int>(y);
        }
    if (left < 0 || top < 0)
        return sf::IntRect();
    return sf::IntRect(left, top, right - left + 1, bottom - top + 1);
}

// Everything a viewer should see of the card when it fills `picture`
void expectCard(const sf::Image& shot, const sf::IntRect& picture)
{
    const sf::IntRect found = findPicture(shot);
    EXPECT_NEAR(found.left, picture.left, edgeTolerance) << "found " << text(found) << ", wanted " << text(picture);
    EXPECT_NEAR(found.top, picture.top, edgeTolerance) << "found " << text(found) << ", wanted " << text(picture);
    EXPECT_NEAR(found.left + found.width, picture.left + picture.width, edgeTolerance)
        << "found " << text(found) << ", wanted " << text(picture);
    EXPECT_NEAR(found.top + found.height, picture.top + picture.height, edgeTolerance)
        << "found " << text(found) << ", wanted " << text(picture);

    for (const Corner& corner : corners) {
        const sf::Vector2i at = onWindow(picture, corner.centre);
        const sf::Color seen = shot.getPixel(static_cast<unsigned>(at.x), static_cast<unsigned>(at.y));
        EXPECT_TRUE(near(seen, corner.colour, colourTolerance))
            << corner.name << " at (" << at.x << ", " << at.y << ") is " << describe(seen);
    }

    // The bars, where there is room for one
    const sf::Vector2u size = shot.getSize();
    const int w = static_cast<int>(size.x), h = static_cast<int>(size.y);
    std::vector<sf::Vector2i> bars;
    if (picture.left >= 3)
        bars.push_back({picture.left / 2, h / 2});
    if (w - picture.left - picture.width >= 3)
        bars.push_back({(picture.left + picture.width + w) / 2, h / 2});
    if (picture.top >= 3)
        bars.push_back({w / 2, picture.top / 2});
    if (h - picture.top - picture.height >= 3)
        bars.push_back({w / 2, (picture.top + picture.height + h) / 2});
    for (const sf::Vector2i& at : bars) {
        const sf::Color seen = shot.getPixel(static_cast<unsigned>(at.x), static_cast<unsigned>(at.y));
        EXPECT_TRUE(near(seen, sf::Color::Black, 8)) << "bar at (" << at.x << ", " << at.y << ") is " << describe(seen);
    }

    // The stripes: pure black and white at the canvas's own size; scaled,
    // smoothing blends neighbours into greys, where the nearest pixel would
    // keep them pure
    const sf::Vector2i from = onWindow(picture, {stripes.left + 8, stripes.top + 8});
    const sf::Vector2i to = onWindow(picture, {stripes.left + stripes.width - 8, stripes.top + stripes.height - 8});
    int blended = 0, all = 0;
    for (int y = from.y; y < to.y; ++y)
        for (int x = from.x; x < to.x; ++x) {
            const sf::Color c = shot.getPixel(static_cast<unsigned>(x), static_cast<unsigned>(y));
            ++all;
            if (c.r > 40 && c.r < 215)
                ++blended;
        }
    ASSERT_GT(all, 0);
    if (picture.width == 1920)
        EXPECT_EQ(blended, 0) << "the picture at its own size is not exact";
    else
        EXPECT_GE(blended, all / 4) << "only " << blended << " of " << all
                                    << " stripe pixels are blended: the scaled picture is not smooth";
}

// One run of the program on a private display
class OnDisplay {
public:
    OnDisplay(unsigned width, unsigned height) : display(width, height) {}

    void start(bool fullscreen)
    {
        ASSERT_TRUE(display.ok()) << display.failure();
        screen = std::make_unique<XScreen>(display.name());
        ASSERT_TRUE(screen->ok()) << "cannot open " << display.name();
        writeCornerShow(work.root(), fullscreen);
        if (::testing::Test::HasFatalFailure())
            return;
        Environment env = recordSoundTo(soundDir.root(), soundDir.path("sound.wav"));
        env["DISPLAY"] = display.name();
        ASSERT_TRUE(fs::exists(ORVALEN_FAKETIME_LIBRARY)) << "libfaketime is needed: apt-get install libfaketime";
        // Ten times as fast: the title is whole after 0.7 s, and composed
        // with the finished entries after 1.4 s, of the show's 14
        program = std::make_unique<Program>(work.root(), withClockRate(env, 10));
        ASSERT_TRUE(program->started());
        window = screen->waitForNewWindow(windowTitle, {}, 20);
        ASSERT_NE(window, 0u) << "no window; stderr:\n" << joined(program->errorLines());
        shownAt = secondsNow();
    }

    // The window's picture once the title is whole and composed
    sf::Image settled()
    {
        sf::Color seen;
        const double deadline = secondsNow() + 20;
        sf::Image shot;
        while (secondsNow() < deadline) {
            const sf::Vector2u size = screen->size(window);
            if (size.x > 0 && screen->grab(window, sf::IntRect(0, 0, static_cast<int>(size.x), static_cast<int>(size.y)), shot) &&
                secondsNow() - shownAt >= 2.0) {
                const sf::IntRect found = findPicture(shot);
                const sf::Vector2i at = onWindow(found, corners[0].centre);
                if (found.width > 0) {
                    seen = shot.getPixel(static_cast<unsigned>(at.x), static_cast<unsigned>(at.y));
                    if (near(seen, corners[0].colour, colourTolerance))
                        return shot;
                }
            }
            sleepSeconds(0.1);
        }
        ADD_FAILURE() << "the title never settled; the top left corner stayed " << describe(seen);
        return shot;
    }

    // Escape, then the program ends with status 0
    void quit()
    {
        EXPECT_TRUE(screen->pressKey("Escape"));
        const ExitStatus status = program->waitForExit(15);
        EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    }

    VirtualDisplay display;
    std::unique_ptr<XScreen> screen;
    TempDir work, soundDir;
    std::unique_ptr<Program> program;
    XWindow window = 0;
    double shownAt = 0;
};

struct ScreenCase {
    const char* name;
    sf::Vector2u screen;
    bool fullscreen;
    sf::Vector2u window;    // its size
    sf::Vector2i position;  // its top left corner on the screen
    sf::IntRect picture;    // where the card shows, in the window
};

void PrintTo(const ScreenCase& c, std::ostream* out) { *out << c.name; }

class OtherScreens : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(OtherScreens, ShowTheWholePictureInProportionCentredWithBlackBars)
{
    const ScreenCase& c = GetParam();
    OnDisplay run(c.screen.x, c.screen.y);
    run.start(c.fullscreen);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(run.screen->size(run.window), c.window);
    // A window is moved to the centre right after it appears
    sf::Vector2i position = run.screen->position(run.window);
    for (int i = 0; i < 100 && position != c.position; ++i) {
        sleepSeconds(0.02);
        position = run.screen->position(run.window);
    }
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(run.screen->style(run.window).overrideRedirect, c.fullscreen);

    expectCard(run.settled(), c.picture);
    run.quit();
    const std::vector<std::string> lines = run.program->ownLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "The requested video mode is not available, switching to a valid mode"), 0)
        << "stderr:\n" << joined(lines);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, OtherScreens,
    ::testing::Values(
        // A laptop: the largest 16:9 window that fits, 1365.33 rounded down,
        // and full screen at the desktop's own mode
        ScreenCase{"Laptop1366x768Windowed", {1366, 768}, false, {1365, 768}, {0, 0}, {0, 0, 1365, 768}},
        ScreenCase{"Laptop1366x768FullScreen", {1366, 768}, true, {1366, 768}, {0, 0}, {0, 0, 1365, 768}},
        // 16:10: the window at its own size, centred; full screen with bars above and below
        ScreenCase{"Wide1920x1200Windowed", {1920, 1200}, false, {1920, 1080}, {0, 60}, {0, 0, 1920, 1080}},
        ScreenCase{"Wide1920x1200FullScreen", {1920, 1200}, true, {1920, 1200}, {0, 0}, {0, 60, 1920, 1080}},
        ScreenCase{"Large2560x1440Windowed", {2560, 1440}, false, {1920, 1080}, {320, 180}, {0, 0, 1920, 1080}},
        ScreenCase{"Large2560x1440FullScreen", {2560, 1440}, true, {2560, 1440}, {0, 0}, {0, 0, 2560, 1440}},
        ScreenCase{"Huge3840x2160Windowed", {3840, 2160}, false, {1920, 1080}, {960, 540}, {0, 0, 1920, 1080}},
        ScreenCase{"Huge3840x2160FullScreen", {3840, 2160}, true, {3840, 2160}, {0, 0}, {0, 0, 3840, 2160}}),
    [](const auto& info) { return std::string(info.param.name); });

// Resized mid-show, after the title's entries have been composed offscreen:
// the picture follows every size, and is exact again at its own
TEST(ResizedWindow, KeepsThePictureWholeAndInProportionAtEverySize)
{
    OnDisplay run(1920, 1080);
    run.start(false);
    if (HasFatalFailure())
        return;
    expectCard(run.settled(), {0, 0, 1920, 1080});

    const struct {
        sf::Vector2u size;
        sf::IntRect picture;
    } sizes[] = {
        {{1000, 1000}, {0, 218, 1000, 563}}, // square: bars above and below
        {{1600, 600}, {266, 0, 1067, 600}},  // wide: bars at the sides
        {{1920, 1080}, {0, 0, 1920, 1080}},  // back to the canvas's own size
    };
    for (const auto& s : sizes) {
        SCOPED_TRACE(text(s.picture));
        ASSERT_TRUE(run.screen->resize(run.window, s.size.x, s.size.y)) << "xdotool could not resize the window";
        for (int i = 0; i < 100 && run.screen->size(run.window) != s.size; ++i)
            sleepSeconds(0.02);
        ASSERT_EQ(run.screen->size(run.window), s.size);
        sleepSeconds(0.5); // a few frames at the new size
        expectCard(run.settled(), s.picture);
    }
    EXPECT_TRUE(run.program->running()) << "the show ended before the last size was seen";
    run.quit();
}

} // namespace
