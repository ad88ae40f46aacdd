#include "cli/options.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Accepted {
    const char* name;
    std::vector<const char*> arguments; // after the program's name
    Options expected;
};

Options options(Mode mode, double seconds = 0, std::string output = "", double every = 3.5)
{
    Options result;
    result.mode = mode;
    result.seconds = seconds;
    result.output = std::move(output);
    result.every = every;
    return result;
}

Options exportOf(std::string output, double from = 0, double to = -1, int fps = 30, unsigned width = 1920,
                 unsigned height = 1080)
{
    Options result = options(Mode::Export, from, std::move(output));
    result.to = to;
    result.fps = fps;
    result.width = width;
    result.height = height;
    return result;
}

// What each accepted command line asks for; usage errors are run against
// the program as built (tests/e2e/command_line_test.cpp)
TEST(Options, EachAcceptedCommandLineGivesItsModeAndValues)
{
    const Accepted cases[] = {
        {"no argument plays the show", {}, options(Mode::Show)},
        {"check", {"--check"}, options(Mode::Check)},
        {"frame", {"--frame", "21.5", "--output", "ov2.png"}, options(Mode::Frame, 21.5, "ov2.png")},
        {"frame at the start, output first", {"--output", "first.png", "--frame", "0"}, options(Mode::Frame, 0, "first.png")},
        {"frame with equals signs", {"--frame=90", "--output=shots/1m30.PNG"}, options(Mode::Frame, 90, "shots/1m30.PNG")},
        {"frame in exponent form", {"--frame", "1.4e2", "--output", "end.png"}, options(Mode::Frame, 140, "end.png")},
        {"contact sheet every 3.5 s", {"--contact-sheet", "sheet.png"}, options(Mode::ContactSheet, 0, "sheet.png")},
        {"contact sheet every 7 s", {"--contact-sheet", "sheet.png", "--every", "7"}, options(Mode::ContactSheet, 0, "sheet.png", 7)},
        {"contact sheet at the shortest step", {"--every", "0.5", "--contact-sheet", "s.png"}, options(Mode::ContactSheet, 0, "s.png", 0.5)},
        {"from", {"--from", "84"}, options(Mode::From, 84)},
        {"from a fraction", {"--from", "0.25"}, options(Mode::From, 0.25)},
        {"from in minutes and seconds", {"--from", "1:24"}, options(Mode::From, 84)},
        {"frame in minutes and seconds", {"--frame", "2:05.5", "--output", "a.png"}, options(Mode::Frame, 125.5, "a.png")},
        {"contact sheet every minute", {"--contact-sheet", "s.png", "--every", "1:00"}, options(Mode::ContactSheet, 0, "s.png", 60)},
        {"export of the whole show", {"--export", "intro.mp4"}, exportOf("intro.mp4")},
        {"export of a span at 720p60, the extension in capitals",
         {"--export", "out/A.WEBM", "--size", "1280x720", "--fps", "60", "--from", "0:14", "--to", "35.5"},
         exportOf("out/A.WEBM", 14, 35.5, 60, 1280, 720)},
        {"export from a moment to the end at the smallest size", {"--from", "7", "--export", "a.mp4", "--size", "256x144"},
         exportOf("a.mp4", 7, -1, 30, 256, 144)},
    };
    for (const Accepted& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<const char*> argv = {"orvalen-intro"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        Options parsed;
        CaptureErrors errors;
        const std::optional<int> status = parseOptions(static_cast<int>(argv.size()), argv.data(), parsed);
        EXPECT_FALSE(status.has_value()) << "stopped with " << *status << ": " << errors.text();
        expectLines(errors.lines(), {});
        EXPECT_EQ(parsed.mode, c.expected.mode);
        EXPECT_DOUBLE_EQ(parsed.seconds, c.expected.seconds);
        EXPECT_EQ(parsed.output, c.expected.output);
        EXPECT_DOUBLE_EQ(parsed.every, c.expected.every);
        EXPECT_DOUBLE_EQ(parsed.to, c.expected.to);
        EXPECT_EQ(parsed.fps, c.expected.fps);
        EXPECT_EQ(parsed.width, c.expected.width);
        EXPECT_EQ(parsed.height, c.expected.height);
    }
}

// Every way a time may be written, and a table of what is not a time
TEST(Options, TimesAreSecondsOrMinutesAndSeconds)
{
    const std::pair<const char*, double> times[] = {
        {"75", 75},     {"75.5", 75.5}, {"0", 0},         {"1.4e2", 140},      {"1:15", 75},
        {"1:15.5", 75.5}, {"0:00", 0},  {"12:00.25", 720.25}, {"00:59.999", 59.999}, {"-3", -3},
    };
    for (const auto& [text, seconds] : times) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(parseTime(text).has_value());
        EXPECT_DOUBLE_EQ(*parseTime(text), seconds);
    }
    for (const char* text : {"", "abc", "12s", "inf", "nan", "1:60", "1:5", "1:", ":15", "-1:15", "1:15:00", "1:1a",
                             "1::15", "1:15.5.5", "1.5:15", "1:+5", "1:-5"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseTime(text).has_value());
    }
}

} // namespace
