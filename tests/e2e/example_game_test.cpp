// The example game as built: the intro plays in the game's own window,
// letterboxed when the window is not 16:9; a skip by Escape or by the game's
// own call ends it, and the game's menu follows in the same window.

#include "run_fixture.h"

#include "app/canvas.h"

namespace {

const char* const gameTitle = "Example game";
const sf::Color menuColour(30, 80, 160);

struct ExampleCase {
    const char* name;
    sf::Vector2u size;           // the game's window
    bool escape;                 // skipped with the Escape key; else by the game's skip() call
};

void PrintTo(const ExampleCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExampleGame : public ::testing::TestWithParam<ExampleCase> {
protected:
    TempDir work;
    XScreen screen;
};

// A point of the canvas as it shows in a window of this size
sf::Vector2i onScreen(sf::Vector2i canvasPoint, sf::Vector2u window)
{
    const sf::IntRect area = Canvas::fit(window);
    return {area.left + canvasPoint.x * area.width / static_cast<int>(Canvas::width),
            area.top + canvasPoint.y * area.height / static_cast<int>(Canvas::height)};
}

TEST_P(ExampleGame, PlaysTheIntroInItsWindowThenItsMenuAfterASkip)
{
    const ExampleCase& c = GetParam();
    ASSERT_TRUE(screen.ok()) << "no X display: run the tests under xvfb-run";
    writeShow(work.path("intro"));
    const std::vector<XWindow> before = screen.windowsNamed(gameTitle);
    std::vector<std::string> arguments = {"--size", std::to_string(c.size.x) + "x" + std::to_string(c.size.y)};
    if (!c.escape)
        arguments.insert(arguments.end(), {"--skip-after", "4"});
    Program game(ORVALEN_EXAMPLE_GAME_PATH, work.root(), {{"ALSOFT_DRIVERS", "null"}}, arguments);
    ASSERT_TRUE(game.started());
    const XWindow window = screen.waitForNewWindow(gameTitle, before, 20);
    ASSERT_NE(window, 0u) << "no game window; its stderr:\n" << joined(game.errorLines());
    ASSERT_EQ(screen.size(window), c.size);

    // The title comes up where the canvas shows; the bars, if any, stay black
    const ShowPicture& title = showPictures().front();
    const sf::Vector2i titleAt = onScreen(title.probe, c.size);
    sf::Image pixel;
    bool titleUp = false;
    for (double deadline = secondsNow() + 15; !titleUp && secondsNow() < deadline; sleepSeconds(0.05)) {
        ASSERT_TRUE(screen.grab(window, sf::IntRect(titleAt.x, titleAt.y, 1, 1), pixel));
        const sf::Color seen = pixel.getPixel(0, 0);
        // Fading in: the title's own colour, not yet at full strength
        titleUp = seen.r + seen.g + seen.b > 60;
    }
    ASSERT_TRUE(titleUp) << "the title never showed at " << titleAt.x << ", " << titleAt.y;
    const sf::IntRect canvasArea = Canvas::fit(c.size);
    if (canvasArea.top > 0) {
        ASSERT_TRUE(screen.grab(window, sf::IntRect(c.size.x / 2, canvasArea.top / 2, 1, 1), pixel));
        EXPECT_TRUE(near(pixel.getPixel(0, 0), sf::Color::Black, 2)) << "the bar is " << describe(pixel.getPixel(0, 0));
    }
    EXPECT_TRUE(game.outputLines().empty()) << "the menu came before the skip";

    if (c.escape)
        ASSERT_TRUE(pressKey("Escape"));
    bool menu = false;
    for (double deadline = secondsNow() + 15; !menu && secondsNow() < deadline; sleepSeconds(0.05))
        menu = !game.outputLines().empty();
    ASSERT_TRUE(menu) << "no menu after the skip; stderr:\n" << joined(game.errorLines());

    // The menu in the very same window, which never closed
    sf::Color seen;
    bool menuShown = false;
    for (double deadline = secondsNow() + 10; !menuShown && secondsNow() < deadline; sleepSeconds(0.05)) {
        ASSERT_TRUE(screen.grab(window, sf::IntRect(c.size.x / 2, 5, 1, 1), pixel)) << "the window went";
        seen = pixel.getPixel(0, 0);
        menuShown = near(seen, menuColour, 2);
    }
    EXPECT_TRUE(menuShown) << "the window shows " << describe(seen) << ", not the menu";
    EXPECT_EQ(screen.windowsNamed(gameTitle).size(), before.size() + 1) << "a window closed or another opened";

    ASSERT_TRUE(screen.requestClose(window));
    const ExitStatus status = game.waitForExit(15);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(game.ownLines(), {});
}

INSTANTIATE_TEST_SUITE_P(Skips, ExampleGame,
    ::testing::Values(ExampleCase{"EscapeIn16by9", {1280, 720}, true},
                      ExampleCase{"TheGamesOwnCallInASquareWindow", {800, 800}, false},
                      ExampleCase{"EscapeInATallWindow", {600, 900}, true}),
    [](const ::testing::TestParamInfo<ExampleCase>& info) { return std::string(info.param.name); });

} // namespace
