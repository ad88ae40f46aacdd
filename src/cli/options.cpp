#include "cli/options.h"

#include "author/check.h"
#include "author/video_file.h"
#include "app/canvas.h"
#include "app/version.h"
#include "base/files.h"
#include "base/problems.h"
#include "scenes/show_file.h"
#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "pictures/limits.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

const char* const programName = "orvalen-intro";

// Seconds shorter than this between two pictures would make a sheet too
// large to open: half a second already gives 281 pictures, 14,000 pixels tall
const double shortestEvery = 0.5;

// A moment or a length of the show, as every option that takes one writes it
std::string checkTime(const std::string& text)
{
    if (!parseTime(text))
        return "must be a number of seconds or minutes:seconds (75.5, 1:15.5), not " + text;
    if (*parseTime(text) < 0)
        return "must not be negative, not " + text;
    return "";
}

std::string checkEvery(const std::string& text)
{
    const std::string why = checkTime(text);
    if (!why.empty())
        return why;
    if (*parseTime(text) < shortestEvery)
        return "must be at least " + CLI::detail::to_string(shortestEvery) + " seconds, not " + text;
    return "";
}

std::string checkPng(const std::string& text)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.size() <= 4 || lower.compare(lower.size() - 4, 4, ".png") != 0)
        return "must be a file name ending in .png, not " + text;
    return "";
}

std::string checkVideo(const std::string& text)
{
    VideoKind kind;
    if (!videoKindOf(text, kind))
        return "must be a file name ending in .mp4 or .webm, not " + text;
    return "";
}

// "1280x720": a 16:9 size no larger than the canvas, even both ways, as the
// video's colour planes are half the size of its picture
bool parseSize(const std::string& text, unsigned int& width, unsigned int& height)
{
    const std::size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 == text.size() || text.size() > 11)
        return false;
    const std::string w = text.substr(0, x), h = text.substr(x + 1);
    if (!std::all_of(w.begin(), w.end(), ::isdigit) || !std::all_of(h.begin(), h.end(), ::isdigit))
        return false;
    width = static_cast<unsigned int>(std::stoul(w));
    height = static_cast<unsigned int>(std::stoul(h));
    return true;
}

const unsigned int smallestVideoHeight = 144;

std::string checkSize(const std::string& text)
{
    unsigned int width = 0, height = 0;
    if (!parseSize(text, width, height))
        return "must be WIDTHxHEIGHT (1280x720), not " + text;
    if (static_cast<unsigned long>(width) * 9 != static_cast<unsigned long>(height) * 16)
        return "must be 16:9 like the canvas, not " + text;
    if (width > Canvas::width || height > Canvas::height)
        return "must be at most the canvas's " + std::to_string(Canvas::width) + "x" + std::to_string(Canvas::height) +
               ", not " + text;
    if (height < smallestVideoHeight || height % 2 != 0)
        return "must be at least 256x144 and even both ways, not " + text;
    return "";
}

std::string exportHelp()
{
    const VideoQuality& q = videoQuality;
    return "Writes the show, with its song, as a video file:\n"
           "FILE.mp4 holds H.264 video (CRF " + std::to_string(q.h264Crf) + ", preset\n" +
           q.h264Preset + ", High profile) with AAC sound at " + std::to_string(q.aacBitRate / 1000) + "\n"
           "kbit/s; FILE.webm VP9 video (CRF " + std::to_string(q.vp9Crf) + ") with Opus\n"
           "sound at " + std::to_string(q.opusBitRate / 1000) + " kbit/s; stereo at " + std::to_string(q.soundRate) +
           " Hz; a key\n"
           "frame every " + std::to_string(q.keyFrameSeconds) + " s. The pictures are those --frame\n"
           "gives, the song loops as it does live. Shows its\n"
           "progress; the file appears only once complete\n"
           "(Ctrl+C leaves none). Needs a display.\n"
           "Example: orvalen-intro --export intro.mp4";
}

// A parse error in one line: the library's text may span several
std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string checkHelp()
{
    return "Loads config.json and the three catalogues of\n"
           "the working folder as a start does, with the\n"
           "same lines in the same order, reads every\n"
           "picture in full and opens every song; then\n"
           "writes each problem and each note in a line of\n"
           "its own, and a summary line. Exit status 0: no\n"
           "problem; 1: at least one. Opens no window and\n"
           "plays nothing: needs no display, no sound card.\n"
           "With no graphics card to ask, it takes " + std::to_string(pictureLimits.assumedMaximumSize) + "\n"
           "pixels a side as the largest picture a card\n"
           "accepts, as today's do, and notes pictures over\n"
           + std::to_string(pictureLimits.checkNotedSize) + ", which smaller cards refuse.\n"
           "Example: orvalen-intro --check";
}

std::string footer()
{
    const ShowRecord& show = Show::current;
    return "The show, " + Show::pacingText(show) + ", each fading in over the ones\n"
           "before it:\n" +
           Show::orderText(show) +
           "The sprite " + ScreenFade::overlayKey + " is the fade overlay over every frame (it clears in\n"
           "the first " + Show::secondsText(show.fadeSeconds) + " seconds), and the song " + printable(show.songKey) +
           " plays, looping, from the start.\n"
           "\n"
           "Every file is read from the intro's folder, FOLDER or the working\n"
           "folder. config.json holds the window settings, assets/textures.json\n"
           "the pictures, assets/sprites.json what is drawn and where,\n"
           "assets/music.json the songs, and assets/show.json, when there is\n"
           "one, the show: its entries with their seconds, its song and fade.\n"
           "\n"
           "Exit status: 0 when done; 1 when --check finds a problem, no display\n"
           "can be opened, a picture or a video cannot be written or an export\n"
           "is stopped; 2 for a command line that is not understood.\n";
}

} // namespace

std::optional<double> parseTime(const std::string& text)
{
    auto number = [](const std::string& part) -> std::optional<double> {
        double value = 0;
        if (part.empty() || !CLI::detail::lexical_cast(part, value) || !std::isfinite(value))
            return std::nullopt;
        return value;
    };
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return number(text);
    // Whole minutes, then seconds under 60 written with two digits before any point
    const std::string minutes = text.substr(0, colon), seconds = text.substr(colon + 1);
    const bool digits = !minutes.empty() && std::all_of(minutes.begin(), minutes.end(), ::isdigit);
    const bool twoDigits = seconds.size() >= 2 && ::isdigit(seconds[0]) && ::isdigit(seconds[1]) &&
                           (seconds.size() == 2 || seconds[2] == '.') &&
                           std::all_of(seconds.begin() + 2, seconds.end(), [](char c) { return c == '.' || ::isdigit(c); });
    const std::optional<double> m = digits ? number(minutes) : std::nullopt;
    const std::optional<double> s = twoDigits ? number(seconds) : std::nullopt;
    if (!m || !s || *s >= 60)
        return std::nullopt;
    return *m * 60 + *s;
}

std::optional<int> checkTimesAgainst(const Options& options, double showLength)
{
    const char* option = options.mode == Mode::Frame ? "--frame" : options.mode == Mode::From ? "--from" : nullptr;
    double moment = options.seconds;
    if (options.mode == Mode::Export) {
        // A video needs a moment of the show to begin with
        if (options.seconds >= showLength && options.seconds > 0)
            option = "--from";
        else if (options.to > showLength)
            option = "--to", moment = options.to;
    } else if (options.seconds <= showLength)
        option = nullptr;
    if (!option)
        return std::nullopt;
    std::cerr << programName << ": " << option << " " << Show::momentText(moment)
              << " is past the show's end at " << Show::momentText(showLength) << " (see " << programName << " --help)"
              << std::endl;
    return 2;
}

std::optional<int> parseOptions(int argc, const char* const* argv, Options& options)
{
    CLI::App app("Orvalen Intro: plays the intro that config.json and assets/ in the\n"
                 "working folder describe. With no option it opens its 1920x1080 window\n"
                 "and plays; each option below is another mode, one at a time.",
                 programName);
    // The show of the folder named, when there is one: the footer is made
    // once every argument has been read
    app.footer([&options]() {
        introFolder = options.folder;
        const Problems::Reporting quiet([](const Problem&) {});
        loadShowFile();
        return footer();
    });
    app.get_formatter()->column_width(27);
    app.set_help_flag("-h,--help", "Prints this help and exits.\nExample: orvalen-intro --help");
    app.set_version_flag("--version", std::string(programName) + " " + ORVALEN_VERSION,
                         "Prints the program's version and exits.\nExample: orvalen-intro --version");

    bool check = false;
    std::string frame, from, to, every = "3.5";
    std::string frameOutput, sheet, video, size = "1920x1080";
    // NOTE: each option's own text replaces the library's list of what it
    // needs and excludes, which would push its help onto the next line
    CLI::Option* checkOption = app.add_flag("--check", check, checkHelp())->option_text(" ");
    CLI::Option* frameOption =
        app.add_option("--frame", frame,
                       "Writes the 1920x1080 picture that the show\n"
                       "presents TIME after its first frame to the PNG\n"
                       "that --output names, without waiting and\n"
                       "without sound. Needs a display, as the show does.\n"
                       "TIME is seconds (75.5) or minutes:seconds (1:15.5).\n"
                       "Example: orvalen-intro --frame 21.5 --output ov2.png")
            ->type_name("TIME")->option_text("TIME")
            ->check(CLI::Validator(checkTime, ""));
    CLI::Option* outputOption =
        app.add_option("--output", frameOutput,
                       "With --frame: the picture to write.\n"
                       "Example: orvalen-intro --frame 90 --output 1m30.png")
            ->type_name("FILE.png")->option_text("FILE.png")
            ->check(CLI::Validator(checkPng, ""));
    CLI::Option* sheetOption =
        app.add_option("--contact-sheet", sheet,
                       "Writes one PNG with a small picture of the show\n"
                       "every --every seconds, in a grid, each labelled\n"
                       "with its time. Needs a display.\n"
                       "Example: orvalen-intro --contact-sheet sheet.png")
            ->type_name("FILE.png")->option_text("FILE.png")
            ->check(CLI::Validator(checkPng, ""));
    CLI::Option* everyOption =
        app.add_option("--every", every,
                       "With --contact-sheet: the time from one small\n"
                       "picture to the next, at least " + CLI::detail::to_string(shortestEvery) + " s (default 3.5).\n"
                       "Example: orvalen-intro --contact-sheet a.png --every 7")
            ->type_name("TIME")->option_text("TIME")
            ->check(CLI::Validator(checkEvery, ""));
    CLI::Option* fromOption =
        app.add_option("--from", from,
                       "Plays the show live from TIME on: the\n"
                       "pictures, the fade and the song (looping as it\n"
                       "would have) are where they would be by then.\n"
                       "With --export: where the video begins.\n"
                       "Example: orvalen-intro --from 1:24")
            ->type_name("TIME")->option_text("TIME")
            ->check(CLI::Validator(checkTime, ""));
    CLI::Option* exportOption =
        app.add_option("--export", video, exportHelp())
            ->type_name("FILE")->option_text("FILE")
            ->check(CLI::Validator(checkVideo, ""));
    CLI::Option* toOption =
        app.add_option("--to", to,
                       "With --export: where the video ends (default:\n"
                       "the show's end); --from sets where it begins.\n"
                       "Example: orvalen-intro --export a.mp4 --from 7 --to 21")
            ->type_name("TIME")->option_text("TIME")
            ->check(CLI::Validator(checkTime, ""));
    CLI::Option* fpsOption =
        app.add_option("--fps", options.fps,
                       "With --export: 30 (the default) or 60 frames a\n"
                       "second.\n"
                       "Example: orvalen-intro --export intro.mp4 --fps 60")
            ->type_name("N")->option_text("30|60")
            ->check(CLI::IsMember({30, 60}));
    CLI::Option* sizeOption =
        app.add_option("--size", size,
                       "With --export: the video's size, the canvas's\n"
                       "1920x1080 (the default) or a smaller 16:9 size.\n"
                       "Example: orvalen-intro --export intro.webm --size 1280x720")
            ->type_name("WxH")->option_text("WxH")
            ->check(CLI::Validator(checkSize, ""));

    CLI::Option* strictOption =
        app.add_flag("--strict", options.strict,
                     "With --check: every note counts as a problem,\n"
                     "so exit status 1 for anything the check finds.\n"
                     "Example: orvalen-intro --check --strict")
            ->option_text(" ");
    std::string format = "text";
    CLI::Option* formatOption =
        app.add_option("--format", format,
                       "With --check: text (the default), lines on\n"
                       "standard error; or json, one JSON document of\n"
                       "the findings on standard output (its schema is\n"
                       "schemas/check-output.schema.json).\n"
                       "Example: orvalen-intro --check --format json")
            ->type_name("FORMAT")->option_text("text|json")
            ->check(CLI::IsMember({"text", "json"}));

    CLI::Option* watchOption =
        app.add_flag("--watch", options.watch,
                     "Plays the show, alone or --from a moment, and\n"
                     "within a second of a change to any of its files\n"
                     "(settings, catalogues, pictures, songs) reads\n"
                     "them anew and goes on from the same moment. A\n"
                     "save that leaves a file broken keeps what plays\n"
                     "until the next save. The last picture stays once\n"
                     "the show is over; Escape or closing quits.\n"
                     "Example: orvalen-intro --watch my-intro")
            ->option_text(" ");
    app.add_option("FOLDER", options.folder,
                   "The intro's folder, the one that holds config.json\n"
                   "and assets/ (default: the working folder). Every\n"
                   "mode takes it; paths in the intro's files are\n"
                   "relative to it, and FILE.png to the working folder.\n"
                   "Example: orvalen-intro --check my-intro")
        ->type_name("FOLDER")->option_text(" ")
        ->check(CLI::ExistingDirectory);

    outputOption->needs(frameOption);
    strictOption->needs(checkOption);
    for (CLI::Option* mode : {checkOption, frameOption, sheetOption, exportOption})
        watchOption->excludes(mode);
    for (CLI::Option* part : {toOption, fpsOption, sizeOption})
        part->needs(exportOption);
    formatOption->needs(checkOption);
    frameOption->needs(outputOption);
    everyOption->needs(sheetOption);
    // One mode at a time
    const std::vector<CLI::Option*> modes = {checkOption, frameOption, sheetOption, exportOption};
    for (CLI::Option* mode : modes)
        for (CLI::Option* other : modes)
            if (mode != other)
                mode->excludes(other);
    // --from is a mode of its own, or where an export begins
    for (CLI::Option* mode : {checkOption, frameOption, sheetOption})
        fromOption->excludes(mode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(error); // --help or --version, on standard output
        std::cerr << programName << ": " << oneLine(error.what()) << " (see " << programName << " --help)"
                  << std::endl;
        return 2;
    }

    if (check) {
        options.mode = Mode::Check;
        options.json = format == "json";
    } else if (*frameOption) {
        options.mode = Mode::Frame;
        options.seconds = *parseTime(frame);
        options.output = frameOutput;
    } else if (*sheetOption) {
        options.mode = Mode::ContactSheet;
        options.every = *parseTime(every);
        options.output = sheet;
    } else if (*exportOption) {
        options.mode = Mode::Export;
        options.output = video;
        options.seconds = *fromOption ? *parseTime(from) : 0;
        parseSize(size, options.width, options.height);
        if (*toOption) {
            options.to = *parseTime(to);
            if (options.to <= options.seconds) {
                std::cerr << programName << ": --to " << to << " must be after --from " << (*fromOption ? from : "0")
                          << " (see " << programName << " --help)" << std::endl;
                return 2;
            }
        }
    } else if (*fromOption) {
        options.mode = Mode::From;
        options.seconds = *parseTime(from);
    }
    return std::nullopt;
}
