#pragma once
// The command line. With no argument the program plays the intro; each mode
// option picks another way to run, and every option is declared once, with
// its help text and its check, so --help lists exactly what is accepted.

#include <optional>
#include <string>

enum class Mode { Show, Check, Frame, ContactSheet, From, Export };

// What the command line asks for
struct Options {
    Mode mode = Mode::Show; // what to run
    double seconds = 0;     // --frame, --from: a moment of the show, in seconds from its first frame
    double to = -1;         // --export --to: where the video ends; negative for the show's end
    std::string output;     // --frame's --output, --contact-sheet's file: the PNG to write; --export's video file
    int fps = 30;           // --export: frames a second, 30 or 60
    unsigned int width = 1920;  // --export --size: the video's pictures
    unsigned int height = 1080;
    double every = 3.5;     // --contact-sheet: seconds from one small picture to the next
    bool strict = false;    // --check --strict: every note is a problem
    bool json = false;      // --check --format json: the findings as JSON on standard output
    std::string folder;     // the intro's folder; empty for the working folder
    bool watch = false;     // the show reads its files anew whenever they change
};

// A moment or a length of the show as the command line writes it: seconds
// ("75", "75.5") or minutes and seconds ("1:15", "1:15.5"); nothing for
// anything else. May be negative: the options refuse that themselves.
std::optional<double> parseTime(const std::string& text);

// The usage error for a moment past the show's end, `showLength` seconds
// from its first frame: 2 after one line naming that length; nothing when
// every moment asked for is within the show
std::optional<int> checkTimesAgainst(const Options& options, double showLength);

// Reads the arguments into `options`. Returns the exit status when the
// program stops here: 0 after --help or --version (written on standard
// output), 2 after a usage error (one line on standard error); nothing when
// `options` says what to run.
std::optional<int> parseOptions(int argc, const char* const* argv, Options& options);
