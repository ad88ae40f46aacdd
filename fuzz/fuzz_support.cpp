#include "fuzz_support.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <SFML/System/Err.hpp>
#include <SFML/Window/Context.hpp>

#include <sanitizer/lsan_interface.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>

namespace fs = std::filesystem;

namespace fuzz {

const std::vector<Fixture> fixtures = {
    {"a.png", 4, 4},
    {"b.png", 3, 5}, // odd sizes, so centring rounds down
    {"c.bmp", 2, 1},
    {"text.png"},    // text, not an image
    {"empty.png"},   // zero bytes
    {"folder.png"},  // a directory
};

namespace {

std::string privateDir;

void removePrivateDir()
{
    std::error_code error;
    fs::remove_all(privateDir, error);
}

void makeFixtures()
{
    for (const Fixture& fixture : fixtures) {
        const std::string path = privateDir + "/" + fixture.name;
        bool made = true;
        if (fixture.width > 0) {
            sf::Image image;
            image.create(fixture.width, fixture.height, sf::Color(200, 100, 50));
            made = image.saveToFile(path);
        } else if (std::string(fixture.name) == "folder.png") {
            made = fs::create_directory(path);
        } else {
            std::ofstream file(path, std::ios::binary);
            if (std::string(fixture.name) == "text.png")
                file << "not an image\n";
            made = static_cast<bool>(file);
        }
        if (!made) {
            std::fprintf(stderr, "fuzz: cannot make the fixture %s\n", path.c_str());
            std::abort();
        }
    }
}

} // namespace

const std::string& workDir()
{
    if (privateDir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvalen-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("fuzz: cannot make a private working dir");
            std::abort();
        }
        privateDir = pattern;
        std::atexit(removePrivateDir);
        // SFML writes its own failures (an unreadable image) to sf::err(); the
        // program's lines are what is checked here, and thousands of SFML lines
        // a second would only slow the fuzzer down
        sf::err().rdbuf(nullptr);
        makeFixtures();
    }
    return privateDir;
}

InWorkDir::InWorkDir()
{
    // Opened once: libFuzzer never changes the working dir itself
    static const int outside = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    previous = outside;
    if (previous < 0 || chdir(workDir().c_str()) != 0) {
        std::perror("fuzz: cannot enter the private working dir");
        std::abort();
    }
}

InWorkDir::~InWorkDir()
{
    if (fchdir(previous) != 0) {
        std::perror("fuzz: cannot leave the private working dir");
        std::abort();
    }
}

ErrorCapture::ErrorCapture() : previous(std::cerr.rdbuf(captured.rdbuf())) {}

ErrorCapture::~ErrorCapture() { std::cerr.rdbuf(previous); }

std::vector<std::string> ErrorCapture::lines() const
{
    std::vector<std::string> result;
    std::istringstream in(captured.str());
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

bool ErrorCapture::endsWithNewline() const
{
    const std::string text = captured.str();
    return text.empty() || text.back() == '\n';
}

void writeInput(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = workDir() + "/" + name;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0 || write(file, data, size) != static_cast<ssize_t>(size) || close(file) != 0) {
        std::perror("fuzz: cannot write the input file");
        std::abort();
    }
}

void keepOneGlContext()
{
    // NOTE: the OpenGL driver keeps allocations of its own to the end of the
    // process; made here, with the leak checker off, they are not reported
    __lsan::ScopedDisabler driverAllocations;
    static sf::Context context;
    sf::Texture warmUp;
    if (!warmUp.loadFromFile(workDir() + "/a.png"))
        fail("cannot load the fixture a.png", {});
}

LoaderRun runLoader(const std::string& name, const std::uint8_t* data, std::size_t size,
                    const std::function<bool(const std::string&)>& load)
{
    writeInput(name, data, size);
    LoaderRun run;
    ErrorCapture capture;
    {
        InWorkDir inside;
        run.result = load(name);
    }
    run.lines = capture.lines();
    FUZZ_CHECK(capture.endsWithNewline(), "the last line was not ended", run.lines);
    return run;
}

Parsed parseLikeTheProgram(const std::uint8_t* data, std::size_t size)
{
    // The same parse as the stream reader (>>): the first value only, built
    // in place. NOTE: with exceptions off the builder stops where the throwing
    // one would have thrown and keeps what it built, and no throw is paid for
    // (each costs as much as the rest of a small run).
    Parsed parsed;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    nlohmann::detail::json_sax_dom_parser<nlohmann::json> builder(parsed.document, false);
    parsed.failed = !nlohmann::json::sax_parse(in, &builder, nlohmann::json::input_format_t::json, false);
    return parsed;
}

void fail(const std::string& why, const std::vector<std::string>& lines)
{
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %s\nLines the program wrote (%zu):\n", why.c_str(), lines.size());
    for (const std::string& line : lines)
        std::fprintf(stderr, "  |%s|\n", line.c_str());
    std::fflush(stderr);
    std::abort();
}

void checkLines(const std::vector<std::string>& lines, const std::vector<std::string>& prefixes,
                const std::string& parseErrorLine, bool parseFailed)
{
    // The library's text reads "[json.exception.parse_error.101] parse error at ..."
    const std::string libraryText = "[json.exception.";
    const std::size_t parseErrors = countLines(lines, parseErrorLine);
    FUZZ_CHECK(parseErrors == (parseFailed ? 1u : 0u),
               "the parse-error line must come once exactly when the parser throws", lines);
    if (parseFailed) {
        FUZZ_CHECK(lines.size() >= 2 && lines[0] == parseErrorLine,
                   "a parse error must be reported first, followed by the library's text", lines);
        FUZZ_CHECK(lines[1].compare(0, libraryText.size(), libraryText) == 0,
                   "the line after the parse-error line must be the library's text", lines);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (parseFailed && i == 1)
            continue;
        bool known = false;
        for (const std::string& prefix : prefixes)
            known = known || lines[i].compare(0, prefix.size(), prefix) == 0;
        FUZZ_CHECK(known, "line " + std::to_string(i + 1) + " does not begin with a known prefix", lines);
    }
}

std::vector<std::pair<std::string, const nlohmann::json*>> catalogueEntries(const Parsed& parsed,
                                                                            const Catalogue& catalogue)
{
    std::vector<std::pair<std::string, const nlohmann::json*>> entries;
    const nlohmann::json& document = parsed.document;
    if (!document.is_object() || !document.contains(catalogue.topKey))
        return entries;
    for (const auto& item : document.at(catalogue.topKey).items())
        entries.emplace_back(item.key(), &item.value());
    return entries;
}

void checkCatalogueLoad(const std::vector<std::string>& lines, const Parsed& parsed, const Catalogue& catalogue,
                        const std::vector<std::pair<std::string, const nlohmann::json*>>& entries, bool loadResult,
                        std::size_t storedCount)
{
    const bool hasTop = parsed.document.is_object() && parsed.document.contains(catalogue.topKey);
    FUZZ_CHECK(loadResult == hasTop, "load must return true exactly when the top-level member is present", lines);
    const std::string validateLine = "validateJson: Missing prop: " + catalogue.topKey + ".";
    if (!hasTop) {
        const std::size_t first = parsed.failed ? 2 : 0;
        FUZZ_CHECK(lines.size() == first + 2, "a missing top-level member must give exactly two lines", lines);
        FUZZ_CHECK(lines[first] == validateLine, "validateJson must name the missing top-level member", lines);
        FUZZ_CHECK(lines[first + 1].compare(0, catalogue.manager.size() + 2, catalogue.manager + ": ") == 0,
                   "the manager must follow validateJson's line with its own", lines);
        FUZZ_CHECK(storedCount == 0, "nothing may be stored without the top-level member", lines);
        return;
    }
    FUZZ_CHECK(countPrefixed(lines, "validateJson: ") == 0, "validateJson complained about a present member", lines);
    std::size_t lacking = 0;
    for (const auto& [key, entry] : entries)
        lacking += !entry->is_object() || !entry->contains(catalogue.requiredProperty) ? 1 : 0;
    const std::string missingLine =
        catalogue.manager + ": Missing " + catalogue.requiredLabel + " property for [";
    FUZZ_CHECK(countPrefixed(lines, missingLine) == lacking,
               "each entry that is no object or lacks " + catalogue.requiredProperty + " must give one line", lines);
}

std::size_t countLines(const std::vector<std::string>& lines, const std::string& line)
{
    std::size_t count = 0;
    for (const std::string& each : lines)
        count += each == line ? 1 : 0;
    return count;
}

std::size_t countPrefixed(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::size_t count = 0;
    for (const std::string& each : lines)
        count += each.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return count;
}

bool fitsInt32(const nlohmann::json& value)
{
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    if (value.is_boolean())
        return true;
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>() <= static_cast<std::uint64_t>(high);
    if (value.is_number_integer())
        return value.get<std::int64_t>() >= low && value.get<std::int64_t>() <= high;
    if (value.is_number_float()) {
        const double whole = std::trunc(value.get<double>());
        return whole >= low && whole <= high;
    }
    return false;
}

std::int32_t asInt32(const nlohmann::json& value)
{
    if (value.is_boolean())
        return value.get<bool>() ? 1 : 0;
    if (value.is_number_float())
        return static_cast<std::int32_t>(std::trunc(value.get<double>()));
    return static_cast<std::int32_t>(value.get<std::int64_t>());
}

} // namespace fuzz
