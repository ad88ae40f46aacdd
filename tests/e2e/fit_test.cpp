// Pictures that fit the canvas: "fit": "contain" scales a sprite uniformly to
// the largest size that fits 1920 by 1080, centred; "cover" fills the canvas,
// centred, the overflow cut. Seen in the picture --frame writes of the title,
// whose picture is replaced by one of a chosen shape: its top half one
// colour, its bottom half another, so the scaled picture's edges and middle
// can be found on the canvas.

#include "run_fixture.h"

#include <SFML/Graphics/Image.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const sf::Color top(230, 60, 20);
const sf::Color bottom(20, 90, 230);

struct FitCase {
    const char* name;
    unsigned width, height; // of the picture
    const char* fit;
    sf::IntRect onCanvas;   // where the whole picture lands, clipped to the canvas
    int scale;              // rounded up: smoothing blends the halves over as many rows
};

void PrintTo(const FitCase& c, std::ostream* out) { *out << c.name; }

const FitCase fitCases[] = {
    // 300 by 600 takes 1.8 to fit the height; 6.4 to fill the width
    {"PortraitContained", 300, 600, "contain", {690, 0, 540, 1080}, 2},
    {"PortraitCovering", 300, 600, "cover", {0, 0, 1920, 1080}, 7},
    // 1000 by 200 takes 1.92 to fit the width
    {"PanoramaContained", 1000, 200, "contain", {0, 348, 1920, 384}, 2},
    {"PanoramaCovering", 1000, 200, "cover", {0, 0, 1920, 1080}, 6},
    // 40 by 40 grows 27 times to fit the height
    {"SmallContained", 40, 40, "contain", {420, 0, 1080, 1080}, 27},
    {"SmallCovering", 40, 40, "cover", {0, 0, 1920, 1080}, 48},
};

bool near(sf::Color a, sf::Color b)
{
    auto close = [](int x, int y) { return std::abs(x - y) <= 6; };
    return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b);
}

std::string describe(sf::Color c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

class Fit : public ProgramRun, public ::testing::WithParamInterface<FitCase> {};

TEST_P(Fit, ScalesThePictureUniformlyAndCentresIt)
{
    const FitCase& c = GetParam();
    writeShow(work.root());
    sf::Image picture;
    picture.create(c.width, c.height, top);
    for (unsigned y = c.height / 2; y < c.height; ++y)
        for (unsigned x = 0; x < c.width; ++x)
            picture.setPixel(x, y, bottom);
    ASSERT_TRUE(picture.saveToFile(work.path("assets/fitted.png")));
    const fs::path textures = work.path("assets/textures.json"), sprites = work.path("assets/sprites.json");
    json document;
    std::ifstream(textures) >> document;
    document["textures"]["fitted"] = {{"file", "assets/fitted.png"}};
    std::ofstream(textures) << document.dump();
    std::ifstream(sprites) >> document;
    document["sprites"]["title"] = {{"texture", "fitted"}, {"fit", c.fit}};
    std::ofstream(sprites) << document.dump();

    // The title alone, fully faded in and the overlay long cleared
    const std::string output = work.path("frame.png");
    start(recording(), {"--frame", "10", "--output", output});
    const ExitStatus status = program->waitForExit(60);
    ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    sf::Image frame;
    ASSERT_TRUE(frame.loadFromFile(output));

    const sf::IntRect& r = c.onCanvas;
    const int middle = 540; // the picture's middle row lands on the canvas's
    auto at = [&frame](int x, int y) { return frame.getPixel(static_cast<unsigned>(x), static_cast<unsigned>(y)); };
    auto expectAt = [&](int x, int y, sf::Color wanted) {
        EXPECT_TRUE(near(at(x, y), wanted)) << "at (" << x << ", " << y << "): " << describe(at(x, y)) << ", wanted "
                                            << describe(wanted);
    };
    // Just inside each corner, and across the middle
    expectAt(r.left + 3, r.top + 3, top);
    expectAt(r.left + r.width - 4, r.top + 3, top);
    expectAt(r.left + 3, r.top + r.height - 4, bottom);
    expectAt(r.left + r.width - 4, r.top + r.height - 4, bottom);
    expectAt(960, middle - c.scale - 2, top);
    expectAt(960, middle + c.scale + 2, bottom);
    // Smooth: the halves meet in a blend, with no hard step
    const sf::Color meeting = at(960, middle);
    EXPECT_FALSE(near(meeting, top) || near(meeting, bottom)) << describe(meeting);
    // Just outside each edge that lies inside the canvas: left clear
    if (r.left > 0) {
        expectAt(r.left - 3, middle, sf::Color::Black);
        expectAt(r.left + r.width + 2, middle, sf::Color::Black);
    }
    if (r.top > 0) {
        expectAt(960, r.top - 3, sf::Color::Black);
        expectAt(960, r.top + r.height + 2, sf::Color::Black);
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, Fit, ::testing::ValuesIn(fitCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
