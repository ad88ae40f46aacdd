// An author's show: assets/show.json lists the entries with their seconds,
// the song and the fade from black. Three short entries end when they
// should, and --frame shows the right entry at the right opacity; a broken
// show file plays the built-in show after one line.

#include "run_fixture.h"

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace {

const char* const threeEntries =
    R"({"entries": [{"sprite": "title"}, {"sprite": "ov1", "seconds": 2}, {"sprite": "ov2", "seconds": 0.5}],
        "secondsPerEntry": 1, "song": "song", "fadeFromBlackSeconds": 0})";

const ShowPicture& picture(const std::string& key)
{
    for (const ShowPicture& p : showPictures())
        if (p.key == key)
            return p;
    throw std::runtime_error("no picture " + key);
}

sf::Color blend(sf::Color over, sf::Color under, double alpha)
{
    auto mix = [alpha](int a, int b) { return static_cast<sf::Uint8>(std::lround(alpha * a + (1 - alpha) * b)); };
    return sf::Color(mix(over.r, under.r), mix(over.g, under.g), mix(over.b, under.b));
}

// The opacity of each entry `seconds` into a show of entries of these
// lengths, frame by frame at 1/60 s as --frame runs it: an entry gains
// dt / its seconds a frame, and ends on the first frame that reaches its
// seconds, the time past it dropped
std::vector<double> opacities(const std::vector<float>& lengths, double seconds)
{
    const float dt = 1.f / 60.f;
    std::vector<float> alpha(lengths.size(), 0.f);
    std::size_t current = 0;
    float elapsed = 0.f;
    const long frames = std::max(1L, std::lround(seconds / dt));
    for (long frame = 0; frame < frames && current < lengths.size(); ++frame) {
        elapsed += dt;
        alpha[current] = std::min(1.f, alpha[current] + dt / lengths[current]);
        if (elapsed >= lengths[current]) {
            elapsed = 0.f;
            ++current;
        }
    }
    std::vector<double> drawn;
    for (float a : alpha)
        drawn.push_back(static_cast<int>(a * 255.f) / 255.0);
    return drawn;
}

// What a probe shows: each entry up to `last` laid over the ones before
sf::Color layered(const std::vector<std::string>& keys, const std::vector<double>& alpha, std::size_t last)
{
    sf::Color colour(0, 0, 0);
    for (std::size_t i = 0; i <= last; ++i)
        colour = blend(picture(keys[i]).colour, colour, alpha[i]);
    return colour;
}

bool near(sf::Color a, sf::Color b)
{
    return std::abs(a.r - b.r) <= 6 && std::abs(a.g - b.g) <= 6 && std::abs(a.b - b.b) <= 6;
}

std::string describe(sf::Color c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

using ShowFile = ProgramRun;

TEST_F(ShowFile, FrameShowsEachEntryAtItsOpacity)
{
    writeShow(work.root());
    work.write("assets/show.json", threeEntries);
    const std::vector<std::string> keys = {"title", "ov1", "ov2"};
    const std::vector<float> lengths = {1.f, 2.f, 0.5f};
    struct Moment {
        double seconds;
        std::size_t entry; // whose probe is read
    };
    // The title half in, over black, with no fade from black; ov1 a quarter
    // in over the whole title; ov2 near its end; the show's very end
    const Moment moments[] = {{0.5, 0}, {1.5, 1}, {3.4, 2}, {3.5, 2}};
    for (const Moment& moment : moments) {
        SCOPED_TRACE("--frame " + std::to_string(moment.seconds));
        const std::string output = work.path("frame.png");
        start(recording(), {"--frame", std::to_string(moment.seconds), "--output", output});
        const ExitStatus status = program->waitForExit(60);
        ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
        sf::Image frame;
        ASSERT_TRUE(frame.loadFromFile(output));
        const sf::Vector2i probe = picture(keys[moment.entry]).probe;
        const sf::Color seen = frame.getPixel(static_cast<unsigned>(probe.x), static_cast<unsigned>(probe.y));
        const sf::Color wanted = layered(keys, opacities(lengths, moment.seconds), moment.entry);
        EXPECT_TRUE(near(seen, wanted)) << describe(seen) << ", wanted " << describe(wanted);
    }
    // Past the show's 3.5 seconds is no moment of it
    start(recording(), {"--frame", "3.6", "--output", work.path("late.png")});
    const ExitStatus late = program->waitForExit(30);
    EXPECT_TRUE(late.exited && late.code == 2) << describe(late);
}

TEST_F(ShowFile, TheShowEndsWhenItsEntriesHaveHadTheirTime)
{
    writeShow(work.root());
    work.write("assets/show.json", threeEntries);
    start(recording());
    ASSERT_NE(waitForWindow(), 0u);
    const ExitStatus status = program->waitForExit(30);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    // 3.5 seconds of show, and the start before it
    EXPECT_GE(status.seconds, 3.4);
    EXPECT_LT(status.seconds, 15.0);
    EXPECT_TRUE(program->ownLines().empty()) << joined(program->ownLines());
}

// With a show file the pictures are decoded in their turn: one damaged in its
// pixels says its one line then, and the show goes on without it; the
// check still finds it before anything plays
TEST_F(ShowFile, APictureDamagedInItsPixelsSaysSoInItsTurnAndTheCheckUpFront)
{
    writeShow(work.root());
    work.write("assets/show.json", threeEntries);
    const std::string file = "assets/img/" + picture("ov2").texture + ".png";
    {
        std::ifstream in(work.path(file), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::ofstream(work.path(file), std::ios::binary | std::ios::trunc) << bytes.substr(0, 40);
    }
    const std::string line = "TextureManager: Unable to load file " + file + ".";
    start(recording());
    ASSERT_NE(waitForWindow(), 0u);
    const ExitStatus status = program->waitForExit(30);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    // Its sprite was made from the picture's header: no line of a missing key
    expectLines(program->ownLines(), {line});

    start(recording(), {"--check"});
    const ExitStatus check = program->waitForExit(30);
    EXPECT_TRUE(check.exited && check.code == 1) << describe(check);
    const std::vector<std::string> lines = program->ownLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), line);
}

TEST_F(ShowFile, ThatIsBrokenPlaysTheBuiltInShowAfterOneLine)
{
    writeShow(work.root());
    work.write("assets/show.json", R"({"entries": [{"sprite": "title"},]})");
    start(recording(), {"--frame", "22", "--output", work.path("f.png")});
    const ExitStatus status = program->waitForExit(60);
    ASSERT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(program->ownLines(), {"Show: assets/show.json is not valid JSON (line 1, column 34); the built-in show plays."});
    sf::Image frame;
    ASSERT_TRUE(frame.loadFromFile(work.path("f.png")));
    // At 22 seconds the built-in show has ov1 whole over the title
    const sf::Vector2i probe = picture("ov1").probe;
    EXPECT_TRUE(near(frame.getPixel(static_cast<unsigned>(probe.x), static_cast<unsigned>(probe.y)), picture("ov1").colour));
}

} // namespace
