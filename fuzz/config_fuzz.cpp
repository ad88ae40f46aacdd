// Fuzzes loadConfig: the input becomes config.json in a private working dir.
// Checks: every line the reader writes is one of its own, a parse error is
// reported as two lines and leaves the defaults, a setting changes only for a
// boolean member of an object, and a readable file writes one line per
// wrongly typed setting and nothing else.

#include "fuzz_support.h"

#include "app/config.h"

#include <cstddef>
#include <cstdint>

namespace {

// The value a setting must end with: the member's when it is a boolean,
// else the default
bool expectedSetting(const fuzz::Parsed& parsed, const char* member, bool fallback)
{
    if (parsed.failed || !parsed.document.is_object() || !parsed.document.contains(member))
        return fallback;
    const nlohmann::json& value = parsed.document.at(member);
    return value.is_boolean() ? value.get<bool>() : fallback;
}

// True when the member is present with a value that is not true or false
bool wronglyTyped(const fuzz::Parsed& parsed, const char* member)
{
    return !parsed.failed && parsed.document.is_object() && parsed.document.contains(member) &&
           !parsed.document.at(member).is_boolean();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Config::fullscreen = false;
    Config::vsync = true;
    // The settings file has one name, which loadConfig knows
    const fuzz::LoaderRun run = fuzz::runLoader("config.json", data, size, [](const std::string&) {
        loadConfig();
        return true;
    });
    const std::vector<std::string>& lines = run.lines;
    const fuzz::Parsed parsed = fuzz::parseLikeTheProgram(data, size);

    fuzz::checkLines(lines, {"config.json: "}, "config.json: Error while parsing JSON.", parsed.failed);
    FUZZ_CHECK(Config::fullscreen == expectedSetting(parsed, "fullscreen", false),
               "fullscreen must take a boolean member's value and otherwise keep false", lines);
    FUZZ_CHECK(Config::vsync == expectedSetting(parsed, "vsync", true),
               "vsync must take a boolean member's value and otherwise keep true", lines);

    // One line for each wrongly typed setting, and nothing for a clean file
    const std::size_t wrong = wronglyTyped(parsed, "fullscreen") + wronglyTyped(parsed, "vsync") +
                              wronglyTyped(parsed, "show_fps");
    if (!parsed.failed)
        FUZZ_CHECK(lines.size() == wrong, "a readable file must give one line per wrongly typed setting", lines);
    return 0;
}
