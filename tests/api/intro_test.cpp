// The library as a game uses it: load, play into the game's own target, skip,
// finish, replay, drop, and every misuse answered by one clear error.

#include <orvalen/intro.h>

#include "app/platform.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <SFML/Graphics/RectangleShape.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/RenderWindow.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

const sf::Color titleColour(200, 40, 30);

// A small intro: the title over the whole canvas for two seconds, after a
// fade from black of half a second, over a short song
void writeIntro(const TempDir& dir, const std::string& extraTexture = "")
{
    ASSERT_TRUE(writeImage(dir.path("assets/title.png"), 192, 108, titleColour));
    ASSERT_TRUE(writeImage(dir.path("assets/black.png"), 4, 4, sf::Color::Black));
    ASSERT_TRUE(writeTone(dir.path("assets/song.wav"), 1.f, 440.f));
    dir.write("assets/textures.json", R"({"textures": {"title": {"file": "assets/title.png"},
        "black": {"file": "assets/black.png", "repeated": true})" + extraTexture + "}}");
    dir.write("assets/sprites.json", R"({"sprites": {"black": {"texture": "black", "rectW": 1920, "rectH": 1080},
        "title": {"texture": "title", "fit": "contain"}}})");
    dir.write("assets/music.json", R"({"music": {"song": {"file": "assets/song.wav", "volume": 50}}})");
    dir.write("assets/show.json", R"({"entries": [{"sprite": "title", "seconds": 2}], "song": "song",
        "fadeFromBlackSeconds": 0.5})");
}

std::string describe(sf::Color c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

// Equal colours within a step or two of rounding, whatever their alpha
bool near(sf::Color a, sf::Color b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// The process's threads, as the system counts them
std::size_t threadCount()
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

long residentKilobytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Updates in steps of `dt` until the intro finishes; the number of updates, or -1 after `most`
int updatesUntilFinished(orvalen::Intro& intro, float dt, int most = 1000)
{
    for (int update = 1; update <= most; ++update) {
        intro.update(dt);
        if (intro.finished())
            return update;
    }
    return -1;
}

sf::Event keyPressed(sf::Keyboard::Key code)
{
    sf::Event event;
    event.type = sf::Event::KeyPressed;
    event.key = {code, false, false, false, false};
    return event;
}

sf::Event gamepadButton(unsigned int button)
{
    sf::Event event;
    event.type = sf::Event::JoystickButtonPressed;
    // No pad is connected under the test's display: an XInput-style pad's numbers
    event.joystickButton = {0, button};
    return event;
}

class IntroLibrary : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override
    {
        resetProgramState();
        writeIntro(dir);
    }
    void TearDown() override { resetProgramState(); }
};

TEST_F(IntroLibrary, PlaysItsShowToTheEndAndFinishesOneFrameAfterIt)
{
    orvalen::Intro intro(dir.root());
    EXPECT_FALSE(intro.playing());
    EXPECT_FALSE(intro.finished());
    intro.play();
    EXPECT_TRUE(intro.playing());
    // Two seconds in steps of a quarter: the eighth update ends the entry,
    // the ninth is the frame after it
    EXPECT_EQ(updatesUntilFinished(intro, 0.25f), 9);
    EXPECT_FALSE(intro.playing());
    ASSERT_TRUE(MusicManager::player);
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Stopped) << "the song outlived the show";

    // Again from the start, with the song
    intro.play();
    EXPECT_TRUE(intro.playing());
    intro.update(0.25f);
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Playing);
    EXPECT_EQ(updatesUntilFinished(intro, 0.25f), 8);
}

struct SkipCase {
    const char* name;
    sf::Event event;
    std::function<void(orvalen::SkipInputs&)> set; // the game's choice of inputs
    bool skips;
};

TEST_F(IntroLibrary, SkipsOnTheInputsTheGameLeavesOnWithinOneFrame)
{
    sf::Event click;
    click.type = sf::Event::MouseButtonPressed;
    click.mouseButton = {sf::Mouse::Left, 10, 10};
    sf::Event escapeReleased = keyPressed(sf::Keyboard::Escape);
    escapeReleased.type = sf::Event::KeyReleased;
    const auto asIs = [](orvalen::SkipInputs&) {};
    const SkipCase cases[] = {
        {"Escape", keyPressed(sf::Keyboard::Escape), asIs, true},
        {"Escape, turned off", keyPressed(sf::Keyboard::Escape), [](auto& s) { s.escape = false; }, false},
        {"Escape let go", escapeReleased, asIs, false},
        {"another key", keyPressed(sf::Keyboard::Space), asIs, false},
        {"another key, any key on", keyPressed(sf::Keyboard::Space), [](auto& s) { s.anyKey = true; }, true},
        {"a click", click, asIs, false},
        {"a click, clicks on", click, [](auto& s) { s.mouseClick = true; }, true},
        {"gamepad Start", gamepadButton(7), asIs, true},
        {"gamepad B", gamepadButton(1), asIs, true},
        {"gamepad A", gamepadButton(0), asIs, false},
        {"gamepad Start, pads off", gamepadButton(7), [](auto& s) { s.gamepad = false; }, false},
    };
    for (const SkipCase& c : cases) {
        SCOPED_TRACE(c.name);
        orvalen::Intro intro(dir.root());
        orvalen::SkipInputs inputs = intro.skipInputs();
        c.set(inputs);
        intro.setSkipInputs(inputs);
        intro.play();
        intro.update(0.1f);
        intro.handleEvent(c.event);
        // The frame in hand is still updated, then it is over
        EXPECT_FALSE(intro.finished());
        intro.update(0.016f);
        EXPECT_EQ(intro.finished(), c.skips);
    }
}

TEST_F(IntroLibrary, SkipFromTheGameEndsItAfterTheFrameInHand)
{
    orvalen::Intro intro(dir.root());
    intro.play();
    intro.update(0.1f);
    intro.skip();
    EXPECT_FALSE(intro.finished());
    intro.update(0.016f);
    EXPECT_TRUE(intro.finished());
    // A skip before play, or after the end, is nothing
    intro.skip();
    EXPECT_TRUE(intro.finished());
}

TEST_F(IntroLibrary, HandsItsProblemsToTheGameInsteadOfTheErrorStream)
{
    writeIntro(dir, R"(, "ov1": {"file": "assets/missing.png"})");
    std::vector<orvalen::Problem> given;
    {
        CaptureErrors errors;
        orvalen::Intro intro(dir.root(), [&given](const orvalen::Problem& problem) { given.push_back(problem); });
        intro.play();
        intro.update(0.1f);
        for (const std::string& line : errors.lines())
            EXPECT_EQ(line.find("ov1"), std::string::npos) << "written, not handed over: " << line;
    }
    ASSERT_EQ(given.size(), 1u);
    EXPECT_EQ(given[0].severity, orvalen::Problem::Severity::Problem);
    EXPECT_EQ(given[0].file, "assets/textures.json");
    EXPECT_EQ(given[0].key, "ov1");
    EXPECT_NE(given[0].message.find("assets/missing.png"), std::string::npos) << given[0].message;

    // Without a handler, the program's own line on standard error
    CaptureErrors errors;
    orvalen::Intro intro(dir.root());
    EXPECT_NE(errors.text().find("assets/missing.png"), std::string::npos) << errors.text();
}

TEST_F(IntroLibrary, DrawsLetterboxedIntoAnyTargetAndKeepsTheTargetsView)
{
    sf::RenderTexture square, canvas;
    ASSERT_TRUE(square.create(800, 800));
    ASSERT_TRUE(canvas.create(1920, 1080));
    const sf::View gamesView(sf::FloatRect(-50.f, -50.f, 100.f, 100.f));
    square.setView(gamesView);

    // The same frame, most of the way into the title's entry, in a square
    // target and at the canvas's own size
    orvalen::Intro intro(dir.root());
    intro.play();
    for (int update = 0; update < 7; ++update)
        intro.update(0.25f);
    intro.draw(square);
    intro.draw(canvas);
    square.display();
    canvas.display();
    EXPECT_EQ(square.getView().getCenter(), gamesView.getCenter());
    EXPECT_EQ(square.getView().getSize(), gamesView.getSize());

    const sf::Image full = canvas.getTexture().copyToImage();
    const sf::Color title = full.getPixel(960, 540);
    EXPECT_GT(title.r, 100) << "the title is not up: " << describe(title);
    // 800 wide at 16:9 is 450 high: black bars of 175 above and below
    const sf::Image boxed = square.getTexture().copyToImage();
    const std::pair<sf::Vector2u, sf::Color> probes[] = {
        {{400, 400}, title}, {{5, 180}, title}, {{795, 620}, title},
        {{400, 170}, sf::Color::Black}, {{400, 630}, sf::Color::Black}, {{0, 0}, sf::Color::Black},
    };
    for (const auto& [at, colour] : probes) {
        const sf::Color seen = boxed.getPixel(at.x, at.y);
        EXPECT_TRUE(near(seen, colour, 2))
            << "at (" << at.x << ", " << at.y << "): " << describe(seen) << ", not " << describe(colour);
    }
}

TEST_F(IntroLibrary, PlaysInAGamesWindowWhereASyntheticGamepadStartSkipsItAndTheWindowGoesOn)
{
    sf::RenderWindow window(sf::VideoMode(640, 480), "Example game");
    window.setFramerateLimit(60);
    {
        orvalen::Intro intro(dir.root());
        intro.play();
        int frame = 0, skippedAt = -1;
        while (!intro.finished() && frame < 600) {
            for (sf::Event event; window.pollEvent(event);)
                intro.handleEvent(event);
            if (++frame == 10) {
                intro.handleEvent(gamepadButton(7));
                skippedAt = frame;
            }
            intro.update(1.f / 60.f);
            intro.draw(window);
            window.display();
        }
        EXPECT_EQ(frame, skippedAt) << "the skip did not end the intro with the frame it came in";
    }
    // The menu, in the same window and context, after the intro is dropped
    ASSERT_TRUE(window.isOpen());
    window.clear(sf::Color(30, 80, 160));
    sf::Texture shown;
    ASSERT_TRUE(shown.create(640, 480));
    shown.update(window);
    EXPECT_EQ(shown.copyToImage().getPixel(320, 240), sf::Color(30, 80, 160));
}

// Twenty rounds in the test command; scripts/library-rounds runs a hundred
// under the sanitizers (ORVALEN_LIBRARY_ROUNDS)
TEST_F(IntroLibrary, PlayedAndDroppedManyTimesLeavesNothingBehind)
{
    const char* asked = std::getenv("ORVALEN_LIBRARY_ROUNDS");
    const int rounds = asked ? std::atoi(asked) : 20;
    // As the program does, and as the header advises a game that wants
    // freed pictures handed back to the system rather than kept for reuse
    Platform::returnLargeBlocksWhenFreed();
    // The game's window, where it draws its own picture between intros
    sf::RenderWindow game(sf::VideoMode(320, 180), "Example game");
    sf::Texture shown;
    ASSERT_TRUE(shown.create(320, 180));
    game.clear();
    game.display();
    const std::size_t threadsBefore = threadCount();
    long afterFirst = 0;
    for (int round = 1; round <= rounds; ++round) {
        SCOPED_TRACE(round);
        orvalen::Intro intro(dir.root());
        intro.play();
        intro.update(0.25f);
        // The song streams on a thread of its own while it plays
        EXPECT_GT(threadCount(), threadsBefore);
        ASSERT_NE(updatesUntilFinished(intro, 0.25f), -1);
        intro.draw(game);
        intro.drop();
        EXPECT_TRUE(intro.dropped());
        EXPECT_TRUE(TextureManager::textureStore.empty());
        EXPECT_TRUE(SpriteManager::spriteStore.empty());
        EXPECT_FALSE(MusicManager::player) << "the song's player and its device outlived the drop";

        // The game's own drawing goes on in its context
        game.setView(game.getDefaultView());
        game.clear(sf::Color::Black);
        sf::RectangleShape square(sf::Vector2f(100.f, 100.f));
        square.setFillColor(sf::Color::Green);
        game.draw(square);
        shown.update(game);
        game.display();
        ASSERT_EQ(shown.copyToImage().getPixel(50, 50), sf::Color::Green);
        if (round == 1)
            afterFirst = residentKilobytes();
        EXPECT_EQ(threadCount(), threadsBefore) << "a thread of the intro outlived the drop";
    }
    // NOTE: AddressSanitizer holds freed blocks back in quarantine, so there
    // its leak check stands in for resident memory
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(residentKilobytes() - afterFirst, 4 * 1024) << "resident memory grew with the rounds";
#else
    (void)afterFirst;
#endif
}

struct MisuseCase {
    const char* name;
    std::function<void(orvalen::Intro&)> call;
};

TEST_F(IntroLibrary, EachMisuseIsOneClearError)
{
    // Two at once
    {
        orvalen::Intro first(dir.root());
        try {
            orvalen::Intro second(dir.root());
            ADD_FAILURE() << "a second intro was loaded beside the first";
        } catch (const orvalen::Error& error) {
            EXPECT_NE(std::string(error.what()).find("loaded already"), std::string::npos) << error.what();
        }
        // The first is unharmed
        first.play();
        EXPECT_EQ(updatesUntilFinished(first, 0.25f), 9);
        first.play();
        EXPECT_THROW(first.play(), orvalen::Error) << "a second play while it plays";
    }

    // A folder that is not there, and one that holds nothing of an intro
    TempDir empty;
    const std::pair<std::string, std::string> folders[] = {
        {dir.path("no-such-folder"), "no intro folder"},
        {empty.root(), "nothing of an intro"},
    };
    for (const auto& [folder, words] : folders) {
        CaptureErrors errors;
        try {
            orvalen::Intro intro(folder);
            ADD_FAILURE() << "loaded from " << folder;
        } catch (const orvalen::Error& error) {
            EXPECT_NE(std::string(error.what()).find(words), std::string::npos) << error.what();
        }
    }
    // Nothing of the failed loads is left: a good one loads and plays
    orvalen::Intro good(dir.root());
    good.play();
    EXPECT_EQ(updatesUntilFinished(good, 0.25f), 9);
    good.drop();

    // Every call after a drop, or on an intro moved from
    sf::RenderTexture target;
    ASSERT_TRUE(target.create(16, 9));
    const MisuseCase calls[] = {
        {"play", [](orvalen::Intro& i) { i.play(); }},
        {"handleEvent", [](orvalen::Intro& i) { i.handleEvent(keyPressed(sf::Keyboard::Escape)); }},
        {"update", [](orvalen::Intro& i) { i.update(0.1f); }},
        {"draw", [&target](orvalen::Intro& i) { i.draw(target); }},
        {"skip", [](orvalen::Intro& i) { i.skip(); }},
        {"playing", [](orvalen::Intro& i) { (void)i.playing(); }},
        {"finished", [](orvalen::Intro& i) { (void)i.finished(); }},
        {"setSkipInputs", [](orvalen::Intro& i) { i.setSkipInputs({}); }},
    };
    orvalen::Intro movedTo(dir.root());
    {
        orvalen::Intro movedFrom = std::move(movedTo);
        EXPECT_TRUE(movedTo.dropped());
        EXPECT_FALSE(movedFrom.dropped());
    }
    for (const MisuseCase& c : calls) {
        SCOPED_TRACE(c.name);
        try {
            c.call(good);
            ADD_FAILURE() << "no error after drop";
        } catch (const orvalen::Error& error) {
            EXPECT_NE(std::string(error.what()).find(std::string(c.name) + ": the intro was dropped"), std::string::npos)
                << error.what();
        }
        EXPECT_THROW(c.call(movedTo), orvalen::Error);
    }
    // Dropping twice is no misuse
    good.drop();
}

} // namespace
