#include "cli/options.h"

#include "author/check.h"
#include "app/version.h"
#include "pictures/limits.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iostream>

namespace {

const char* const programName = "orvalen-intro";

// Seconds shorter than this between two pictures would make a sheet too
// large to open: half a second already gives 281 pictures, 14,000 pixels tall
const double shortestEvery = 0.5;

// A moment of the show: a finite number of seconds, 0 or more
std::string checkSeconds(const std::string& text)
{
    double value = 0;
    if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value))
        return "must be a number of seconds, not " + text;
    if (value < 0)
        return "must not be negative, not " + text;
    return "";
}

std::string checkEvery(const std::string& text)
{
    const std::string why = checkSeconds(text);
    if (!why.empty())
        return why;
    double value = 0;
    CLI::detail::lexical_cast(text, value);
    if (value < shortestEvery)
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
    return "The show, one sprite key every 7 seconds, each fading in over the ones\n"
           "before it:\n" +
           showOrderText() +
           "The sprite black is the fade overlay over every frame (it clears in\n"
           "the first 2 seconds), and the song song plays, looping, from the start.\n"
           "\n"
           "Every file is read from the working folder: run the program from your\n"
           "intro's folder. config.json holds the window settings,\n"
           "assets/textures.json the pictures, assets/sprites.json what is drawn\n"
           "and where, assets/music.json the songs.\n"
           "\n"
           "Exit status: 0 when done; 1 when --check finds a problem, no display\n"
           "can be opened or a picture cannot be written; 2 for a command line\n"
           "that is not understood.\n";
}

} // namespace

std::optional<int> parseOptions(int argc, const char* const* argv, Options& options)
{
    CLI::App app("Orvalen Intro: plays the intro that config.json and assets/ in the\n"
                 "working folder describe. With no option it opens its 1920x1080 window\n"
                 "and plays; each option below is another mode, one at a time.",
                 programName);
    app.footer(footer());
    app.get_formatter()->column_width(27);
    app.set_help_flag("-h,--help", "Prints this help and exits.\nExample: orvalen-intro --help");
    app.set_version_flag("--version", std::string(programName) + " " + ORVALEN_VERSION,
                         "Prints the program's version and exits.\nExample: orvalen-intro --version");

    bool check = false;
    double frame = 0, from = 0;
    std::string frameOutput, sheet;
    // NOTE: each option's own text replaces the library's list of what it
    // needs and excludes, which would push its help onto the next line
    CLI::Option* checkOption = app.add_flag("--check", check, checkHelp())->option_text(" ");
    CLI::Option* frameOption =
        app.add_option("--frame", frame,
                       "Writes the 1920x1080 picture that the show\n"
                       "presents SECONDS after its first frame to the\n"
                       "PNG that --output names, without waiting and\n"
                       "without sound. Needs a display, as the show does.\n"
                       "Example: orvalen-intro --frame 21.5 --output ov2.png")
            ->type_name("SECONDS")->option_text("SECONDS")
            ->check(CLI::Validator(checkSeconds, ""));
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
        app.add_option("--every", options.every,
                       "With --contact-sheet: seconds from one small\n"
                       "picture to the next, at least " + CLI::detail::to_string(shortestEvery) + " (default 3.5).\n"
                       "Example: orvalen-intro --contact-sheet a.png --every 7")
            ->type_name("SECONDS")->option_text("SECONDS")
            ->check(CLI::Validator(checkEvery, ""));
    CLI::Option* fromOption =
        app.add_option("--from", from,
                       "Plays the show live from SECONDS on: the\n"
                       "pictures, the fade and the song (looping as it\n"
                       "would have) are where they would be by then.\n"
                       "Example: orvalen-intro --from 84")
            ->type_name("SECONDS")->option_text("SECONDS")
            ->check(CLI::Validator(checkSeconds, ""));

    outputOption->needs(frameOption);
    frameOption->needs(outputOption);
    everyOption->needs(sheetOption);
    // One mode at a time
    const std::vector<CLI::Option*> modes = {checkOption, frameOption, sheetOption, fromOption};
    for (CLI::Option* mode : modes)
        for (CLI::Option* other : modes)
            if (mode != other)
                mode->excludes(other);

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
    } else if (*frameOption) {
        options.mode = Mode::Frame;
        options.seconds = frame;
        options.output = frameOutput;
    } else if (*sheetOption) {
        options.mode = Mode::ContactSheet;
        options.output = sheet;
    } else if (*fromOption) {
        options.mode = Mode::From;
        options.seconds = from;
    }
    return std::nullopt;
}
