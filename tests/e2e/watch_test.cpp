// --watch as an author meets it: the show plays, and a picture replaced or a
// catalogue edited shows within a second or two, from the same moment, in
// the same window; a broken save keeps what was playing until it is mended.

#include "run_fixture.h"

#include <SFML/Graphics/Image.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool near(sf::Color a, sf::Color b)
{
    return std::abs(a.r - b.r) <= 10 && std::abs(a.g - b.g) <= 10 && std::abs(a.b - b.b) <= 10;
}

std::string describe(sf::Color c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

// Writes the file as editors save: a new file beside it, renamed over it
void saveByRename(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".swp";
    std::ofstream(temporary, std::ios::binary) << text;
    fs::rename(temporary, path);
}

class Watch : public ProgramRun {
protected:
    // The title alone on screen for as long as the test takes
    void SetUp() override
    {
        writeShow(work.root());
        work.write("assets/show.json",
                   R"({"entries": [{"sprite": "title", "seconds": 1}, {"sprite": "title", "seconds": 600}],
                       "fadeFromBlackSeconds": 0})");
    }

    json sprites() const
    {
        json document;
        std::ifstream(work.path("assets/sprites.json")) >> document;
        return document;
    }

    // Waits for the title's probe to show `colour`, the program still running
    void expectTitle(XWindow window, sf::Color colour, const char* after)
    {
        sf::Color seen;
        const sf::Vector2i probe = showPictures()[0].probe;
        EXPECT_TRUE(waitForPixel(window, probe, [&](sf::Color c) { return near(c, colour); }, 8, seen))
            << after << ": the title shows " << describe(seen) << ", wanted " << describe(colour) << "\nstderr:\n"
            << joined(program->errorLines());
        EXPECT_TRUE(program->running()) << after;
    }
};

TEST_F(Watch, ShowsEachSaveFromTheSameMomentAndKeepsTheLastGoodOne)
{
    start(recording(), {"--watch", "--from", "2"});
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    expectTitle(window, sf::Color::Red, "at the start");

    // A picture replaced, saved by rename
    sf::Image green;
    green.create(4, 4, sf::Color(0, 200, 0));
    ASSERT_TRUE(green.saveToFile(work.path("assets/img/swap.png")));
    fs::rename(work.path("assets/img/swap.png"), work.path("assets/img/red.png"));
    expectTitle(window, sf::Color(0, 200, 0), "a picture replaced");

    // A catalogue edited in place
    json edited = sprites();
    edited["sprites"]["title"]["texture"] = "blue";
    std::ofstream(work.path("assets/sprites.json")) << edited.dump(2);
    expectTitle(window, sf::Color::Blue, "a catalogue edited");

    // A broken save: the lines say so, and the show goes on as it was
    saveByRename(work.path("assets/sprites.json"), "{\"sprites\": {\"title\": ");
    ASSERT_TRUE(program->waitForOwnLines(program->ownLines().size() + 1, 10)) << joined(program->ownLines());
    sleepSeconds(1.0);
    expectTitle(window, sf::Color::Blue, "a broken save");
    bool said = false;
    for (const std::string& line : program->ownLines())
        said = said || line == "SpriteManager: Error while parsing JSON.";
    EXPECT_TRUE(said) << joined(program->ownLines());

    // Mended: the save after it shows
    edited["sprites"]["title"]["texture"] = "green";
    saveByRename(work.path("assets/sprites.json"), edited.dump(2));
    expectTitle(window, sf::Color(0, 255, 0), "mended");

    EXPECT_EQ(screen.waitForNewWindow(windowTitle, windowsBefore, 1), window) << "the same window throughout";
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
}

} // namespace
