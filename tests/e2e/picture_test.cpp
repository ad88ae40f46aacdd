// What a viewer sees: the fade from black, then each picture in turn over the
// ones before it, until the show ends by itself.

#include "run_fixture.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace {

const sf::Vector2i screenCentre(960, 540);
const int tolerance = 50;       // per channel, for a picture that has (nearly) finished fading in
const int darkLevel = 30;       // no channel above this: near black
const double entrySeconds = 7;  // each entry's time in the show

bool dark(sf::Color c) { return c.r <= darkLevel && c.g <= darkLevel && c.b <= darkLevel; }

struct Sample {
    double seconds;                 // since the window was found
    std::vector<sf::Color> probes;  // one per picture of showPictures()
};

bool allDark(const Sample& sample)
{
    return std::all_of(sample.probes.begin(), sample.probes.end(), dark);
}

// Picture i shows in full at its probe.
// NOTE: while a picture fades in, every probe inside it shows the same blend,
// which may pass near another picture's colour; a picture's own band differs
// from the band around it
bool shows(const Sample& sample, std::size_t i)
{
    return near(sample.probes[i], showPictures()[i].colour, tolerance) &&
           (i == 0 || !near(sample.probes[i - 1], sample.probes[i], 10));
}

// How far picture i has faded in at its probe, from the colour under it (the
// picture before it, or black) towards its own; 0 while it is not drawn there
double opacity(const Sample& sample, std::size_t i)
{
    if (i > 0 && near(sample.probes[i - 1], sample.probes[i], 10))
        return 0;
    const sf::Color under = i > 0 ? showPictures()[i - 1].colour : sf::Color::Black;
    const sf::Color over = showPictures()[i].colour;
    const sf::Color seen = sample.probes[i];
    const double d[3] = {double(over.r) - under.r, double(over.g) - under.g, double(over.b) - under.b};
    const double s[3] = {double(seen.r) - under.r, double(seen.g) - under.g, double(seen.b) - under.b};
    return (d[0] * s[0] + d[1] * s[1] + d[2] * s[2]) / (d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

std::string describe(const Sample& sample)
{
    std::ostringstream text;
    text << "at " << sample.seconds << " s:";
    for (std::size_t i = 0; i < sample.probes.size(); ++i)
        text << " " << showPictures()[i].key << "=" << ::describe(sample.probes[i]);
    return text.str();
}

} // namespace

// ---------------------------------------------------------------------------
// The overlay: here its texture is white, so that it can be told apart from
// the black of an empty screen; the title is pure red, so the green at the
// centre is the overlay's alone: 255 times its level

using ScreenFadeRun = ProgramRun;

TEST_F(ScreenFadeRun, CoversTheFirstFramesThenClearsInAboutTwoSeconds)
{
    ShowOptions show;
    show.overlay = sf::Color::White;
    writeShow(work.root(), show);
    start(recording());
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);

    struct Level {
        double seconds;
        int green;
    };
    std::vector<Level> levels;
    const double begin = secondsNow();
    sf::Image pixel;
    while (secondsNow() - begin < 7 && screen.grab(window, sf::IntRect(screenCentre.x, screenCentre.y, 1, 1), pixel)) {
        levels.push_back({secondsNow() - begin, pixel.getPixel(0, 0).g});
        sleepSeconds(0.005);
    }
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);

    auto full = [](const Level& l) { return l.green >= 245; };
    auto clear = [](const Level& l) { return l.green <= 8; };
    const auto firstFull = std::find_if(levels.begin(), levels.end(), full);
    ASSERT_TRUE(firstFull != levels.end()) << "the overlay never covered the screen";
    const auto lastFull = std::find_if(levels.rbegin(), levels.rend(), full).base() - 1;
    const auto cleared = std::find_if(lastFull, levels.end(), clear);
    ASSERT_TRUE(cleared != levels.end()) << "the overlay never cleared; green ended at " << levels.back().green;

    // The level falls by 0.5 a second: from 3/4 to 1/4 in one second
    const auto threeQuarters = std::find_if(lastFull, cleared, [](const Level& l) { return l.green <= 191; });
    const auto oneQuarter = std::find_if(lastFull, cleared, [](const Level& l) { return l.green <= 64; });
    ASSERT_TRUE(threeQuarters != cleared && oneQuarter != cleared) << "no gradual fade was seen";
    EXPECT_NEAR(oneQuarter->seconds - threeQuarters->seconds, 1.0, 0.3);
    EXPECT_LE(cleared->seconds - lastFull->seconds, 3.0) << "the fade took too long to end";
    // Once full, the overlay only ever thins out, and stays clear after the fade
    const auto back = std::adjacent_find(firstFull, levels.end(),
                                         [](const Level& a, const Level& b) { return b.green > a.green + 4; });
    EXPECT_TRUE(back == levels.end()) << "the overlay came back at " << (back + 1)->seconds << " s: green "
                                      << back->green << " then " << (back + 1)->green;
    EXPECT_GE(levels.back().seconds - cleared->seconds, 1.0) << "watched too briefly after the fade";
}

// ---------------------------------------------------------------------------
// The whole show. Each picture's probe point is covered by it and by every
// picture before it, and by none after it: it goes from black to the title's
// red, then to the picture's own colour when it fades in, and keeps that
// colour to the end. Run on the real clock (slow) and on a clock ten times
// as fast.

class WholeShow : public ProgramRun, public ::testing::WithParamInterface<int> {};

TEST_P(WholeShow, ShowsEachPictureInTurnOverTheOnesBeforeAndEndsByItself)
{
    const int rate = GetParam();
    writeShow(work.root());
    Environment env = recording();
    if (rate != 1) {
        ASSERT_TRUE(std::filesystem::exists(ORVALEN_FAKETIME_LIBRARY))
            << "libfaketime is needed to speed up the clock: apt-get install libfaketime";
        env = withClockRate(env, rate);
    }
    start(env);
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    const double begin = secondsNow();

    const std::vector<ShowPicture>& pictures = showPictures();
    const double entry = entrySeconds / rate;  // one entry in wall seconds
    const double showLength = static_cast<double>(showOrder().size()) * entry;

    // One row of pixels through every probe, as often as the display allows
    std::vector<Sample> samples;
    sf::Image row;
    const int rowWidth = pictures.back().probe.x + 1;
    while (program->running() && secondsNow() - begin < 1.5 * showLength + 20) {
        if (screen.grab(window, sf::IntRect(0, screenCentre.y, rowWidth, 1), row)) {
            Sample sample{secondsNow() - begin, {}};
            for (const ShowPicture& picture : pictures)
                sample.probes.push_back(row.getPixel(static_cast<unsigned>(picture.probe.x), 0));
            samples.push_back(sample);
        }
        sleepSeconds(rate == 1 ? 0.05 : 0.01);
    }
    const double endedAt = secondsNow() - begin;
    const ExitStatus status = program->waitForExit(5);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(program->ownLines(), {});

    // The very last frame has no pictures, only the cleared screen
    while (!samples.empty() && allDark(samples.back()))
        samples.pop_back();
    ASSERT_FALSE(samples.empty()) << "nothing but black was seen";

    if (rate == 1) {
        ASSERT_LT(samples.front().seconds, 1.0) << "first look came late";
        EXPECT_TRUE(allDark(samples.front())) << "not near black at the start: " << describe(samples.front());
    }

    // When each picture was half faded in: its entry's start plus 3.5 s
    std::vector<double> halfway(pictures.size(), -1);
    std::ostringstream timeline;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto half = std::find_if(samples.begin(), samples.end(), [&](const Sample& s) { return opacity(s, i) >= 0.5; });
        if (half != samples.end())
            halfway[i] = half->seconds;
        timeline << pictures[i].key << " " << halfway[i] << " s, ";
    }
    timeline << "last picture " << samples.back().seconds << " s, exit " << endedAt << " s";
    std::cout << "Half faded in, counted from the window's appearance: " << timeline.str() << std::endl;

    std::vector<double> paces; // wall seconds per entry between two pictures
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const ShowPicture& picture = pictures[i];
        if (halfway[i] < 0) {
            ADD_FAILURE() << picture.key << " never came; last look " << describe(samples.back());
            continue;
        }
        const double due = (picture.firstEntry * entrySeconds + entrySeconds / 2) / rate;
        EXPECT_GE(halfway[i], due - 0.5) << picture.key << " came early; " << timeline.str();
        if (i > 0 && halfway[i - 1] >= 0) {
            EXPECT_GE(halfway[i], halfway[i - 1]) << picture.key << " came before the picture ahead of it; "
                                                  << timeline.str();
            paces.push_back((halfway[i] - halfway[i - 1]) / (picture.firstEntry - pictures[i - 1].firstEntry));
        }
        // It reaches its own colour, and nothing later covers it
        const auto full = std::find_if(samples.begin(), samples.end(), [&](const Sample& s) { return shows(s, i); });
        if (full == samples.end()) {
            ADD_FAILURE() << picture.key << " never showed in full; last look " << describe(samples.back());
            continue;
        }
        const auto lost = std::find_if_not(full, samples.end(), [&](const Sample& s) { return shows(s, i); });
        EXPECT_TRUE(lost == samples.end()) << picture.key << " was covered or faded after showing: " << describe(*lost);
    }

    // NOTE: each entry ends on the first frame at or past its 7 s and the
    // rest of that frame is dropped, so a slow frame makes an entry longer;
    // the median keeps a few stalls of a busy machine from deciding
    ASSERT_FALSE(paces.empty());
    std::sort(paces.begin(), paces.end());
    const double pace = paces[paces.size() / 2];
    EXPECT_GE(pace, entry - 0.2 / rate) << timeline.str();
    EXPECT_LE(pace, entry + 0.3) << timeline.str();

    // The end card's first entry is half over at its halfway mark; four more
    // entries of it follow, then one frame, then the program quits
    EXPECT_GE(endedAt, showLength - 1) << "ended early; " << timeline.str();
    const double endHalfway = halfway.back();
    if (endHalfway >= 0) {
        const double rest = 4.5 * entry;
        EXPECT_GE(endedAt - endHalfway, rest - 0.5) << "ended early; " << timeline.str();
        EXPECT_LE(endedAt - endHalfway, rest + 4 * 0.3 + 2) << "ended late; " << timeline.str();
    }
}

INSTANTIATE_TEST_SUITE_P(Accelerated, WholeShow, ::testing::Values(10),
                         [](const auto&) { return std::string("TenfoldClock"); });
INSTANTIATE_TEST_SUITE_P(Slow, WholeShow, ::testing::Values(1), [](const auto&) { return std::string("RealTime"); });
