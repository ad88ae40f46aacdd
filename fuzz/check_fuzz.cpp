// Fuzzes the whole check: one input gives the settings, the three catalogues
// and the show file, split at each "\n--\n" in that order (a part that is
// not there is a file that is not there). The check runs on them twice, as
// lines and as JSON, and --strict on every other input. Checks: the JSON is
// valid, has a count of problems and of notes that agrees with its findings,
// and says what the lines say, finding for finding, in the same order; the
// exit status is 1 exactly when there is a problem.
// Pictures are decoded, never uploaded: no display is needed.

#include "fuzz_support.h"

#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "author/check.h"
#include "scenes/show.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const files[] = {"config.json", "assets/textures.json", "assets/sprites.json", "assets/music.json",
                             "assets/show.json"};
const std::string separator = "\n--\n";

std::vector<std::string> split(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (parts.size() + 1 < std::size(files)) {
        const std::size_t at = input.find(separator, from);
        if (at == std::string::npos)
            break;
        parts.push_back(input.substr(from, at - from));
        from = at + separator.size();
    }
    parts.push_back(input.substr(from));
    return parts;
}

// A string that leaves the private dir: an absolute path, or one that climbs
bool leavesTheDir(const nlohmann::json& value)
{
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        return (!text.empty() && text[0] == '/') || text.find("..") != std::string::npos;
    }
    if (value.is_structured())
        for (const auto& item : value)
            if (leavesTheDir(item))
                return true;
    return false;
}

void resetStores()
{
    SpriteManager::reset();
    TextureManager::reset();
    MusicManager::reset();
    Show::reset();
    Config::reset();
}

struct CheckRun {
    int status = 0;
    std::string out; // standard output
    std::vector<std::string> lines; // standard error
};

CheckRun runOnce(const CheckOptions& options)
{
    resetStores();
    CheckRun run;
    std::ostringstream out;
    std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
    {
        fuzz::ErrorCapture capture;
        {
            fuzz::InWorkDir inside;
            run.status = runCheck(options);
        }
        run.lines = capture.lines();
        FUZZ_CHECK(capture.endsWithNewline(), "the last line was not ended", run.lines);
    }
    std::cout.rdbuf(previous);
    run.out = out.str();
    return run;
}

// A text as the JSON output gives it: bytes that are not UTF-8 replaced
std::string asJsonText(const std::string& text)
{
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> parts = split(data, size);
    for (const std::string& part : parts) {
        const fuzz::Parsed parsed =
            fuzz::parseLikeTheProgram(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
        if (leavesTheDir(parsed.document))
            return -1;
    }
    static const bool made = std::filesystem::create_directories(fuzz::workDir() + "/assets");
    (void)made;
    for (std::size_t i = 0; i < std::size(files); ++i) {
        if (i < parts.size())
            fuzz::writeInput(files[i], reinterpret_cast<const std::uint8_t*>(parts[i].data()), parts[i].size());
        else
            std::remove((fuzz::workDir() + "/" + files[i]).c_str());
    }

    CheckOptions options;
    options.strict = size % 2 == 1;
    const CheckRun text = runOnce(options);
    options.json = true;
    const CheckRun json = runOnce(options);
    resetStores();
    std::vector<std::string> lines = text.lines;
    lines.push_back("-- JSON output:");
    lines.push_back(json.out);

    // The lines: the loaders', then one per finding, then the summary
    FUZZ_CHECK(text.out.empty(), "the check as lines must write nothing on standard output", lines);
    FUZZ_CHECK(!text.lines.empty() && startsWith(text.lines.back(), "Check: "), "the lines must end with the summary",
               lines);
    std::vector<std::pair<std::string, std::string>> said; // severity, message
    for (const std::string& line : text.lines) {
        if (startsWith(line, "Check: Problem: "))
            said.emplace_back("problem", line.substr(16));
        else if (startsWith(line, "Check: Note: "))
            said.emplace_back("note", line.substr(13));
    }

    nlohmann::json document;
    try {
        document = nlohmann::json::parse(json.out);
    } catch (const nlohmann::json::exception& error) {
        fuzz::fail(std::string("the JSON output is not valid JSON: ") + error.what(), lines);
    }
    FUZZ_CHECK(document.is_object() && document.size() == 3 && document.contains("findings") &&
                   document.at("findings").is_array() && document.contains("problems") &&
                   document.at("problems").is_number_unsigned() && document.contains("notes") &&
                   document.at("notes").is_number_unsigned(),
               "the JSON output must hold findings, problems and notes", lines);
    const nlohmann::json& findings = document.at("findings");
    FUZZ_CHECK(findings.size() == said.size(), "the JSON must give as many findings as there are lines", lines);
    std::size_t problems = 0, notes = 0;
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const nlohmann::json& finding = findings[i];
        FUZZ_CHECK(finding.is_object() && finding.contains("severity") && finding.contains("message") &&
                       finding.at("message").is_string(),
                   "each finding must have a severity and a message", lines);
        const std::string severity = finding.at("severity").get<std::string>();
        FUZZ_CHECK(severity == said[i].first, "finding " + std::to_string(i + 1) + " differs in severity", lines);
        FUZZ_CHECK(asJsonText(finding.at("message").get<std::string>()) == asJsonText(said[i].second),
                   "finding " + std::to_string(i + 1) + " differs in its message", lines);
        (severity == "problem" ? problems : notes) += 1;
        for (const char* where : {"file", "key", "property", "pointer"})
            FUZZ_CHECK(!finding.contains(where) || finding.at(where).is_string(),
                       std::string("a finding's ") + where + " must be a string", lines);
        FUZZ_CHECK(finding.contains("line") == finding.contains("column"), "a line comes with its column", lines);
    }
    FUZZ_CHECK(document.at("problems") == problems && document.at("notes") == notes,
               "the counts must agree with the findings", lines);
    FUZZ_CHECK(!options.strict || notes == 0, "--strict makes every note a problem", lines);
    const std::string summary = "Check: " + std::to_string(problems) + (problems == 1 ? " problem, " : " problems, ") +
                                std::to_string(notes) + (notes == 1 ? " note." : " notes.");
    FUZZ_CHECK(text.lines.back() == summary, "the summary must count the findings", lines);
    FUZZ_CHECK(text.status == json.status && text.status == (problems > 0 ? 1 : 0),
               "the exit status must be 1 exactly when there is a problem", lines);
    return 0;
}
