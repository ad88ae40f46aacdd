// The command line of the program as built: --help, --version and usage
// errors. Each runs with no display and no audio device, beside a complete
// intro: a run that tried to open its window would end with status 1 and the
// display's line instead.

#include "run_fixture.h"

#include <cstdio>

namespace {

Environment headless()
{
    Environment env = withoutAudioDevice();
    env["DISPLAY"] = std::nullopt;
    return env;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { writeShow(work.root()); }

    // Runs the program with `arguments` and waits for it
    ExitStatus run(const std::vector<std::string>& arguments)
    {
        program = std::make_unique<Program>(work.root(), headless(), arguments);
        EXPECT_TRUE(program->started());
        return program->waitForExit(15);
    }

    TempDir work;
    std::unique_ptr<Program> program;
};

struct UsageError {
    const char* name;
    std::vector<std::string> arguments;
    const char* says; // a part of the one line
};

void PrintTo(const UsageError& usage, std::ostream* out) { *out << usage.name; }

const UsageError usageErrors[] = {
    {"FrameWithoutTime", {"--frame"}, "--frame"},
    {"FrameNotANumber", {"--frame", "abc", "--output", "a.png"}, "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not abc"},
    {"FrameNumberAndText", {"--frame", "12s", "--output", "a.png"}, "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not 12s"},
    {"FrameNotFinite", {"--frame", "inf", "--output", "a.png"}, "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not inf"},
    {"FrameNotANumberAtAll", {"--frame", "nan", "--output", "a.png"}, "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not nan"},
    {"FrameNegative", {"--frame", "-1", "--output", "a.png"}, "must not be negative, not -1"},
    {"FrameWithoutOutput", {"--frame", "5"}, "--frame requires --output"},
    {"OutputWithoutFrame", {"--output", "a.png"}, "--output requires --frame"},
    {"OutputNotPng", {"--frame", "5", "--output", "a.jpg"}, "must be a file name ending in .png, not a.jpg"},
    {"OutputOnlyAnExtension", {"--frame", "5", "--output", ".png"}, "must be a file name ending in .png, not .png"},
    {"FrameTwice", {"--frame", "1", "--frame", "2", "--output", "a.png"}, "--frame"},
    {"SheetWithoutFile", {"--contact-sheet"}, "--contact-sheet"},
    {"SheetNotPng", {"--contact-sheet", "sheet.gif"}, "must be a file name ending in .png, not sheet.gif"},
    {"EveryWithoutSheet", {"--every", "2"}, "--every requires --contact-sheet"},
    {"EveryZero", {"--contact-sheet", "s.png", "--every", "0"}, "must be at least 0.5 seconds, not 0"},
    {"EveryNegative", {"--contact-sheet", "s.png", "--every", "-3"}, "must not be negative, not -3"},
    {"EveryNotANumber", {"--contact-sheet", "s.png", "--every", "often"}, "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not often"},
    {"FromNotANumber", {"--from", "soon"}, "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not soon"},
    {"FromNegative", {"--from", "-0.5"}, "must not be negative, not -0.5"},
    {"FramePastTheEnd", {"--frame", "140.25", "--output", "a.png"}, "--frame 2:20.25 is past the show's end at 2:20"},
    {"FromPastTheEnd", {"--from", "3:00"}, "--from 3:00 is past the show's end at 2:20"},
    {"TimeOfMinutesWithoutSeconds", {"--from", "1:5"}, "must be a number of seconds or minutes:seconds"},
    {"CheckAndFrom", {"--check", "--from", "3"}, "--check excludes --from"},
    {"CheckAndFrame", {"--check", "--frame", "1", "--output", "a.png"}, "excludes"},
    {"FrameAndSheet", {"--frame", "1", "--output", "a.png", "--contact-sheet", "s.png"}, "excludes"},
    {"FromAndSheet", {"--from", "1", "--contact-sheet", "s.png"}, "excludes"},
    {"ExportUnknownExtension", {"--export", "intro.avi"}, "must be a file name ending in .mp4 or .webm, not intro.avi"},
    {"ExportOnlyAnExtension", {"--export", ".mp4"}, "must be a file name ending in .mp4 or .webm, not .mp4"},
    {"ExportSizeNot16By9", {"--export", "a.mp4", "--size", "1280x1024"}, "must be 16:9 like the canvas, not 1280x1024"},
    {"ExportSizeLargerThanTheCanvas", {"--export", "a.mp4", "--size", "2560x1440"},
     "must be at most the canvas's 1920x1080, not 2560x1440"},
    {"ExportSizeOdd", {"--export", "a.mp4", "--size", "16x9"}, "must be at least 256x144 and even both ways, not 16x9"},
    {"ExportSizeNotASize", {"--export", "a.mp4", "--size", "big"}, "must be WIDTHxHEIGHT (1280x720), not big"},
    {"ExportFpsOther", {"--export", "a.mp4", "--fps", "25"}, "--fps"},
    {"ExportToBeforeFrom", {"--export", "a.mp4", "--from", "20", "--to", "0:10"}, "--to 0:10 must be after --from 20"},
    {"ExportToAtFrom", {"--export", "a.mp4", "--from", "5", "--to", "5"}, "--to 5 must be after --from 5"},
    {"ExportToPastTheEnd", {"--export", "a.mp4", "--to", "2:21"}, "--to 2:21 is past the show's end at 2:20"},
    {"ExportFromAtTheEnd", {"--export", "a.mp4", "--from", "140"}, "--from 2:20 is past the show's end at 2:20"},
    {"ToWithoutExport", {"--to", "5"}, "--to requires --export"},
    {"SizeWithoutExport", {"--size", "1280x720"}, "--size requires --export"},
    {"FpsWithoutExport", {"--from", "3", "--fps", "60"}, "--fps requires --export"},
    {"ExportAndFrame", {"--export", "a.mp4", "--frame", "1", "--output", "a.png"}, "excludes"},
    {"ExportAndWatch", {"--export", "a.mp4", "--watch"}, "excludes"},
    {"StrayWord", {"extra"}, "extra"},
    {"UnknownOption", {"--bogus"}, "--bogus"},
    {"UnknownShortOption", {"-x"}, "-x"},
};

class UsageErrors : public CommandLine, public ::testing::WithParamInterface<UsageError> {};

TEST_P(UsageErrors, AreOneLineAndStatusTwoWithNothingStarted)
{
    const ExitStatus status = run(GetParam().arguments);
    EXPECT_TRUE(status.exited && status.code == 2) << describe(status) << "\nstderr:\n" << joined(program->errorLines());
    const std::vector<std::string> lines = program->errorLines();
    ASSERT_EQ(lines.size(), 1u) << joined(lines);
    EXPECT_EQ(lines[0].rfind("orvalen-intro: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(GetParam().says), std::string::npos) << lines[0];
    const std::string hint = "(see orvalen-intro --help)";
    EXPECT_TRUE(lines[0].size() > hint.size() && lines[0].compare(lines[0].size() - hint.size(), hint.size(), hint) == 0)
        << lines[0];
    EXPECT_TRUE(program->outputLines().empty()) << joined(program->outputLines());
}

INSTANTIATE_TEST_SUITE_P(Arguments, UsageErrors, ::testing::ValuesIn(usageErrors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandLine, VersionIsOneLineOnStandardOutput)
{
    const ExitStatus status = run({"--version"});
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_EQ(program->outputLines(), std::vector<std::string>{"orvalen-intro " ORVALEN_EXPECTED_VERSION});
    EXPECT_TRUE(program->errorLines().empty()) << joined(program->errorLines());
}

// Lines of the help from the one that begins with `option` to the next option's
std::vector<std::string> helpOf(const std::vector<std::string>& help, const std::string& option)
{
    std::vector<std::string> block;
    for (const std::string& line : help) {
        const bool optionLine = line.rfind("  -", 0) == 0;
        if (optionLine && !block.empty())
            break;
        if (!block.empty() || (optionLine && (line.rfind("  " + option + " ", 0) == 0 || line.find("," + option + " ") != std::string::npos)))
            block.push_back(line);
    }
    return block;
}

TEST_F(CommandLine, HelpListsEveryOptionWithAnExampleAndTheShowOrder)
{
    const ExitStatus status = run({"--help"});
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_TRUE(program->errorLines().empty()) << joined(program->errorLines());
    const std::vector<std::string> help = program->outputLines();
    std::string text;
    for (const std::string& line : help)
        text += line + "\n";

    const std::pair<const char*, const char*> options[] = {
        {"--help", "--help"},        {"--version", "--version"},
        {"--check", "--check"},      {"--frame TIME", "--frame "},
        {"--output FILE.png", "--output "}, {"--contact-sheet FILE.png", "--contact-sheet "},
        {"--every TIME", "--every "}, {"--from TIME", "--from "},
        {"--strict", "--strict"},    {"--format text|json", "--format json"},
        {"--export FILE", "--export "}, {"--to TIME", "--to "},
        {"--fps 30|60", "--fps 60"}, {"--size WxH", "--size 1280x720"}};
    for (const auto& [option, used] : options) {
        SCOPED_TRACE(option);
        const std::vector<std::string> block = helpOf(help, option);
        ASSERT_FALSE(block.empty()) << "not listed:\n" << text;
        EXPECT_NE(block[0].find(option), std::string::npos) << block[0];
        bool example = false;
        for (const std::string& line : block)
            example = example || (line.find("Example: orvalen-intro ") != std::string::npos &&
                                  line.find(used) != std::string::npos);
        EXPECT_TRUE(example) << "no example that uses it:\n" << joined(block);
    }
    // The show order, each entry with the time it begins
    const std::vector<std::string>& order = showOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
        char time[16];
        std::snprintf(time, sizeof time, "%zu:%02zu ", i * 7 / 60, i * 7 % 60);
        const std::string entry = time + order[i];
        const std::size_t at = text.find(entry);
        const bool whole = at != std::string::npos && (text[at + entry.size()] == ' ' || text[at + entry.size()] == '\n');
        EXPECT_TRUE(whole) << "entry " << i + 1 << " (" << entry << ") missing:\n" << text;
    }
    EXPECT_NE(text.find("2:20 the show ends"), std::string::npos) << text;
    // What the check assumes of the graphics card, since it cannot ask one
    EXPECT_NE(text.find("16384"), std::string::npos) << text;
}

} // namespace
