// Pictures of the show without watching it (--frame, --contact-sheet), and
// the show from a moment on (--from): each against what the fade and the
// slide timing give at that moment, frame by frame at 1/60 s.

#include "run_fixture.h"

#include <SFML/Graphics/Image.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The show's state after a number of frames of 1/60 s, worked out from its
// timing: the overlay starts at level 1 on the first frame and clears at 0.5
// a second; each entry gains dt/7 of opacity a frame for 7 s, then the next
// one; one frame after the last entry ends, nothing but the cleared screen
struct Moment {
    float level = 0;                   // the overlay's darkness
    std::vector<float> alphas;         // each entry's opacity
    bool sceneDrawn = false;           // the last frame still drew the entries
};

Moment momentAfter(long long frames)
{
    const float dt = 1.f / 60.f;
    Moment m;
    m.alphas.assign(showOrder().size(), 0.f);
    bool fading = false, setUp = false, active = true, quit = false, running = true;
    std::size_t current = 0;
    float elapsed = 0;
    for (long long f = 0; f < frames && running; ++f) {
        if (fading) {
            m.level -= dt * 0.5f;
            if (m.level <= 0) {
                m.level = 0;
                fading = false;
            }
        }
        m.sceneDrawn = !quit;
        if (quit) {
            running = false;
            continue;
        }
        if (!setUp) {
            setUp = true;
            m.level = 1;
            fading = true;
        }
        if (active) {
            elapsed += dt;
            m.alphas[current] = std::min(1.f, m.alphas[current] + dt / 7.f);
            if (elapsed >= 7.f) {
                elapsed = 0;
                if (++current >= m.alphas.size()) {
                    active = false;
                    quit = true;
                }
            }
        }
    }
    return m;
}

long long framesAt(double seconds) { return std::max(1LL, std::llround(seconds * 60)); }

// The colour at picture i's probe: every entry whose picture covers it, in
// order, then the overlay (black in the fixture)
sf::Color colourAt(const Moment& m, std::size_t probe)
{
    double c[3] = {0, 0, 0};
    if (m.sceneDrawn) {
        for (std::size_t e = 0; e < showOrder().size(); ++e) {
            const auto& pictures = showPictures();
            const auto picture = std::find_if(pictures.begin(), pictures.end(),
                                              [&](const ShowPicture& p) { return p.key == showOrder()[e]; });
            if (static_cast<std::size_t>(picture - pictures.begin()) > probe)
                continue;
            const double a = static_cast<int>(m.alphas[e] * 255.f) / 255.0;
            const double src[3] = {double(picture->colour.r), double(picture->colour.g), double(picture->colour.b)};
            for (int k = 0; k < 3; ++k)
                c[k] = src[k] * a + c[k] * (1 - a);
        }
    }
    const double l = static_cast<int>(m.level * 255.f) / 255.0;
    for (double& channel : c)
        channel *= 1 - l;
    return sf::Color(static_cast<sf::Uint8>(std::lround(c[0])), static_cast<sf::Uint8>(std::lround(c[1])),
                     static_cast<sf::Uint8>(std::lround(c[2])));
}

const int tolerance = 4; // per channel: the renderer's rounding of each blend

using Preview = ProgramRun;

// ---------------------------------------------------------------------------
// One picture of a moment

TEST_F(Preview, FrameIsWhatTheShowPresentsAtThatMoment)
{
    writeShow(work.root());
    // From the black first frame, through the fade, a fading entry over a
    // finished one, late in the show, to its very end
    for (double seconds : {0.0, 1.0, 3.3, 10.5, 17.5, 52.0, 101.2, 139.0, 140.0}) {
        SCOPED_TRACE("--frame " + std::to_string(seconds));
        const std::string output = work.path("frame.png");
        fs::remove(output);
        start(recording(), {"--frame", std::to_string(seconds), "--output", output});
        const ExitStatus status = program->waitForExit(60);
        ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
        expectLines(program->ownLines(), {});
        EXPECT_TRUE(screen.windowsNamed(windowTitle).empty()) << "a picture needs no window";

        sf::Image picture;
        ASSERT_TRUE(picture.loadFromFile(output));
        ASSERT_EQ(picture.getSize(), sf::Vector2u(1920, 1080));
        const Moment moment = momentAfter(framesAt(seconds));
        for (std::size_t i = 0; i < showPictures().size(); ++i) {
            const sf::Vector2i probe = showPictures()[i].probe;
            const sf::Color seen = picture.getPixel(static_cast<unsigned>(probe.x), static_cast<unsigned>(probe.y));
            EXPECT_TRUE(near(seen, colourAt(moment, i), tolerance))
                << showPictures()[i].key << ": " << describe(seen) << ", wanted " << describe(colourAt(moment, i));
            EXPECT_EQ(seen.a, 255) << "what a viewer sees is opaque";
        }
    }
}

// A frame decodes only the pictures it shows: a picture damaged in its pixels
// says so only in a frame that shows it, and the sheet, which shows them all
TEST_F(Preview, OnlyAFrameThatShowsADamagedPictureSaysSo)
{
    writeShow(work.root());
    const auto damaged = std::find_if(showPictures().begin(), showPictures().end(),
                                      [](const ShowPicture& p) { return p.key == "ov5"; });
    ASSERT_NE(damaged, showPictures().end());
    const fs::path file = fs::path(work.root()) / "assets/img" / (damaged->texture + ".png");
    {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes.substr(0, 40);
    }
    const std::string line = "TextureManager: Unable to load file assets/img/" + damaged->texture + ".png.";
    // ov5 fades in from 0:42
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> lines;
    } runs[] = {
        {{"--frame", "10", "--output", work.path("early.png")}, {}},
        {{"--frame", "41.9", "--output", work.path("before.png")}, {}},
        {{"--frame", "45", "--output", work.path("during.png")}, {line}},
        {{"--frame", "120", "--output", work.path("after.png")}, {line}},
        {{"--contact-sheet", work.path("sheet.png"), "--every", "30"}, {line}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.arguments.front() + " " + run.arguments[1]);
        start(recording(), run.arguments);
        const ExitStatus status = program->waitForExit(60);
        EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
        expectLines(program->ownLines(), run.lines);
    }
    sf::Image early;
    ASSERT_TRUE(early.loadFromFile(work.path("early.png")));
    const sf::Vector2i probe = showPictures().front().probe;
    EXPECT_TRUE(near(early.getPixel(static_cast<unsigned>(probe.x), static_cast<unsigned>(probe.y)),
                     showPictures().front().colour, tolerance));
}

// ---------------------------------------------------------------------------
// A sheet of small pictures

TEST_F(Preview, ContactSheetHasAPictureOfEachMomentInAGridWithItsTime)
{
    writeShow(work.root());
    const std::string output = work.path("sheet.png");
    start(recording(), {"--contact-sheet", output, "--every", "20"});
    const ExitStatus status = program->waitForExit(120);
    ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    expectLines(program->ownLines(), {});

    // 0, 20, ... 140 s: eight pictures of 384 by 216, five to a row, with
    // 12 pixels between them and a strip of 22 under each for its time
    sf::Image sheet;
    ASSERT_TRUE(sheet.loadFromFile(output));
    const unsigned thumbW = 384, thumbH = 216, gap = 12, label = 22, columns = 5;
    const unsigned pictures = 8, rows = 2;
    ASSERT_EQ(sheet.getSize(), sf::Vector2u(columns * (thumbW + gap) + gap, rows * (thumbH + label + gap) + gap));
    const sf::Color background = sheet.getPixel(0, 0);
    std::vector<unsigned> labelWidths;
    for (unsigned i = 0; i < columns * rows; ++i) {
        SCOPED_TRACE("cell " + std::to_string(i));
        const unsigned x = gap + (i % columns) * (thumbW + gap);
        const unsigned y = gap + (i / columns) * (thumbH + label + gap);
        const sf::Color centre = sheet.getPixel(x + thumbW / 2, y + thumbH / 2);
        // The label: how wide the text written in its strip is
        unsigned first = thumbW, last = 0;
        for (unsigned ly = y + thumbH; ly < y + thumbH + label; ++ly)
            for (unsigned lx = x; lx < x + thumbW; ++lx)
                if (sheet.getPixel(lx, ly) != background) {
                    first = std::min(first, lx - x);
                    last = std::max(last, lx - x);
                }
        if (i >= pictures) {
            EXPECT_EQ(centre, background) << "an empty cell after the last picture";
            EXPECT_EQ(first, thumbW) << "an empty cell has no label";
            continue;
        }
        // The centre lies in every picture of the fixture: the last probe's colour
        const sf::Color wanted = colourAt(momentAfter(framesAt(20.0 * i)), showPictures().size() - 1);
        EXPECT_TRUE(near(centre, wanted, tolerance)) << describe(centre) << ", wanted " << describe(wanted);
        ASSERT_LT(first, last) << "no time under the picture";
        labelWidths.push_back(last - first + 1);
        // The gaps around it are the sheet's own
        EXPECT_EQ(sheet.getPixel(x - 1, y + thumbH / 2), background);
        EXPECT_EQ(sheet.getPixel(x + thumbW, y + thumbH / 2), background);
    }
    // Each label is the moment as m:ss and the key of the entry fading in,
    // none once the show is over, two dots a font dot and six font dots a
    // character
    ASSERT_EQ(labelWidths.size(), pictures);
    for (std::size_t i = 0; i < pictures; ++i) {
        const std::size_t entry = 20 * i / 7;
        char time[16];
        std::snprintf(time, sizeof time, "%zu:%02zu", 20 * i / 60, 20 * i % 60);
        const std::string label = std::string(time) + (entry < showOrder().size() ? "  " + showOrder()[entry] : "");
        const int wanted = static_cast<int>(label.size()) * 12 - 2;
        EXPECT_NEAR(static_cast<int>(labelWidths[i]), wanted, 10) << "\"" << label << "\"";
    }
}

// ---------------------------------------------------------------------------
// The live show from a moment on

// The song (3 s of 440 Hz, then 3 s of 660 Hz, looping from 3 s) picks up
// where it would have been: in its first pass, or after looping
struct FromCase {
    const char* name;
    double from;
    struct Stretch {
        double from, to, frequency; // seconds after the sound began
    };
    std::vector<Stretch> heard;
};

void PrintTo(const FromCase& c, std::ostream* out) { *out << c.name; }

class ShowFrom : public ProgramRun, public ::testing::WithParamInterface<FromCase> {};

TEST_P(ShowFrom, SongPicksUpWhereItWouldHaveBeen)
{
    const FromCase& c = GetParam();
    writeShow(work.root());
    start(recording(), {"--from", std::to_string(c.from)});
    ASSERT_NE(waitForWindow(), 0u);
    Recording sound;
    std::size_t onset = 0;
    ASSERT_TRUE(waitForSound(c.heard.back().to + 0.5, sound, onset, 30)) << "recorded " << sound.seconds() << " s";
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(program->ownLines(), {});
    for (const auto& s : c.heard)
        EXPECT_NEAR(toneFrequency(sound, 0, onset, s.from, s.to), s.frequency, s.frequency * 0.04)
            << s.from << " to " << s.to << " s after the sound began";
}

INSTANTIATE_TEST_SUITE_P(
    Song, ShowFrom,
    ::testing::Values(
        // 1.5 s into the first part: its last 1.5 s, then the second part
        FromCase{"InTheFirstPass", 1.5, {{0.2, 1.3, 440}, {1.7, 4.3, 660}}},
        // 7.5 s: the song ended at 6 s and went on from 3 s, so 4.5 s in: the
        // second part (a plain 7.5 mod 6 would give the first)
        FromCase{"AfterLooping", 7.5, {{0.2, 3.0, 660}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The picture, the fade and the end all come as they would have
TEST_F(Preview, ShowFromAMomentHasItsPictureAndEndsWhenTheShowWould)
{
    writeShow(work.root());
    start(recording(), {"--from", "135"});
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    // At 135 s the end card has been up for half a minute; the title never
    // shows again, and no fade from black comes
    const std::size_t last = showPictures().size() - 1;
    sf::Color seen;
    EXPECT_TRUE(waitForPixel(window, showPictures()[last].probe,
                             [&](sf::Color c) { return near(c, showPictures()[last].colour, 10); }, 3, seen))
        << "the end card did not show at once; its probe was " << describe(seen);
    // The last entry ends at 140 s: 5 s of the show are left
    const ExitStatus status = program->waitForExit(30);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_GE(status.seconds, 4.5) << describe(status);
    EXPECT_LE(status.seconds, 9.0) << describe(status);
    expectLines(program->ownLines(), {});
}

TEST_F(Preview, ShowFromWithinTheFadeGoesOnClearingIt)
{
    ShowOptions show;
    show.overlay = sf::Color::White; // the fade's level is then the green at the centre
    writeShow(work.root(), show);
    start(recording(), {"--from", "1"});
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    // One second in, the overlay is half clear; it clears in the next second
    sf::Color seen;
    ASSERT_TRUE(waitForPixel(window, {960, 540}, [](sf::Color c) { return c.g > 0; }, 5, seen));
    EXPECT_LE(seen.g, 140) << "the fade started again from black";
    const double begin = secondsNow();
    EXPECT_TRUE(waitForPixel(window, {960, 540}, [](sf::Color c) { return c.g <= 8; }, 5, seen))
        << "the overlay did not clear; green stayed " << int(seen.g);
    EXPECT_LE(secondsNow() - begin, 2.0);
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
}

} // namespace

namespace {

// Pictures are drawn as the show draws them, so they need a display too
TEST(PreviewWithoutDisplay, SaysSoInOneLineAndEndsWithStatusOne)
{
    TempDir work, soundDir;
    writeShow(work.root());
    Environment env = recordSoundTo(soundDir.root(), soundDir.path("sound.wav"));
    env["DISPLAY"] = std::nullopt;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--frame", "3", "--output", work.path("f.png")},
          std::vector<std::string>{"--contact-sheet", work.path("s.png")}, std::vector<std::string>{"--from", "30"}}) {
        SCOPED_TRACE(arguments.front());
        Program program(work.root(), env, arguments);
        const ExitStatus status = program.waitForExit(15);
        EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
        expectLines(program.ownLines(), {"Window: Unable to open the display (DISPLAY is not set); the intro needs a graphical desktop."});
        EXPECT_FALSE(fs::exists(work.path("f.png")) || fs::exists(work.path("s.png")));
    }
}

} // namespace
