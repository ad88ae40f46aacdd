#pragma once
// What the fuzz targets share: a private working dir with a few fixture
// files, the capture of the program's error stream, a parse made the way the
// program makes it, and the checks on the lines the program wrote.
//
// NOTE: a failed check prints why, with the lines the program wrote, and
// aborts, so libFuzzer saves the input as a crash.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fuzz {

// A fixture file in the private working dir
struct Fixture {
    const char* name;    // path relative to the private working dir
    unsigned width = 0;  // pixels, 0 for a file that is not an image
    unsigned height = 0; // pixels
};

// Images that load, then files that are no image (text, empty, a directory)
extern const std::vector<Fixture> fixtures;

// Makes, once, a private working dir under $TMPDIR holding the fixtures;
// removed at exit. Returns its absolute path.
const std::string& workDir();

// Makes the private dir the working dir while it lives. Only for the length
// of one run: libFuzzer keeps relative paths (inputs, artifacts) of its own.
class InWorkDir {
public:
    InWorkDir();
    ~InWorkDir();

private:
    int previous; // descriptor of the working dir to go back to
};

// Makes one OpenGL context current for the rest of the run, so textures need
// no context of their own, and loads a fixture texture once. The driver's
// allocations, made here with the leak checker off, are not reported.
void keepOneGlContext();

// Captures everything written to std::cerr while it lives
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    std::vector<std::string> lines() const; // Every line so far, without its line end
    bool endsWithNewline() const;           // False when the last line was left open

private:
    std::ostringstream captured;
    std::streambuf* previous;
};

// Writes the input to a file of the private working dir
void writeInput(const std::string& name, const std::uint8_t* data, std::size_t size);

// What one run of a loader gave: its result and the lines it wrote
struct LoaderRun {
    bool result = false;
    std::vector<std::string> lines;
};

// Writes the input as `name`, runs `load(name)` in the private working dir
// with the error stream captured, and checks that the last line was ended
LoaderRun runLoader(const std::string& name, const std::uint8_t* data, std::size_t size,
                    const std::function<bool(const std::string&)>& load);

// The document as the program's loader sees it: one JSON value read with the
// stream reader; on a parse error, what the parser had built until then
struct Parsed {
    nlohmann::json document;
    bool failed = false; // the parser threw
};
Parsed parseLikeTheProgram(const std::uint8_t* data, std::size_t size);

// Stops the run: prints why and the captured lines to the real stderr, then aborts
[[noreturn]] void fail(const std::string& why, const std::vector<std::string>& lines);

// Every line must begin with one of the prefixes, except the JSON library's
// own text on the line right after a parse-error line. The parse-error line
// (parseErrorLine) must come first, once, exactly when the parser threw.
void checkLines(const std::vector<std::string>& lines, const std::vector<std::string>& prefixes,
                const std::string& parseErrorLine, bool parseFailed);

// One catalogue as its file and its lines show it
struct Catalogue {
    std::string manager;          // "TextureManager"
    std::string topKey;           // "textures"
    std::string requiredProperty; // "file"
    std::string requiredLabel;    // "FILE", as in the missing-property line
};

// The entries the entry pass must visit, in the order it visits them; empty
// when the document lacks the top-level member
std::vector<std::pair<std::string, const nlohmann::json*>> catalogueEntries(const Parsed& parsed,
                                                                            const Catalogue& catalogue);

// Checks what every catalogue load shares: load's result, the two lines for
// a missing top-level member (and nothing stored), and one missing-property
// line for each entry that is no object or lacks the required property
void checkCatalogueLoad(const std::vector<std::string>& lines, const Parsed& parsed, const Catalogue& catalogue,
                        const std::vector<std::pair<std::string, const nlohmann::json*>>& entries, bool loadResult,
                        std::size_t storedCount);

// Number of lines equal to `line`
std::size_t countLines(const std::vector<std::string>& lines, const std::string& line);
// Number of lines beginning with `prefix`
std::size_t countPrefixed(const std::vector<std::string>& lines, const std::string& prefix);

// How the catalogues read a number, for predicting what gets stored
bool fitsInt32(const nlohmann::json& value); // A number whose truncated value fits, or a boolean
std::int32_t asInt32(const nlohmann::json& value); // Only after fitsInt32: truncated, booleans as 1 and 0

} // namespace fuzz

#define FUZZ_CHECK(condition, why, lines) \
    do { \
        if (!(condition)) \
            ::fuzz::fail(why, lines); \
    } while (0)
