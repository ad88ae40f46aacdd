// Fuzzes loadShowFile: the input becomes the show file in a private working
// dir. Checks: every record is about the show file and its line is one line
// of the show's own; a file that is not JSON, no object, or leaves no entry
// that can play gives false and the built-in show; otherwise exactly the
// entries that can play, in their order, with their seconds, the song and
// the fade the file gives (or their defaults), and the show's answers
// (length, order, pacing, seeking) stay sound.

#include "fuzz_support.h"

#include "base/problems.h"
#include "scenes/show.h"
#include "scenes/show_file.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// The seconds a member gives, or `fallback` when it gives none the show takes
float secondsOr(const nlohmann::json& value, bool zero, float fallback)
{
    if (!value.is_number())
        return fallback;
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds) || seconds < 0 || seconds > std::numeric_limits<float>::max())
        return fallback;
    const float taken = static_cast<float>(seconds);
    return taken > 0 || (zero && seconds == 0) || (zero && taken == 0) ? taken : fallback;
}

bool sameShow(const ShowRecord& a, const ShowRecord& b)
{
    if (a.songKey != b.songKey || a.fadeSeconds != b.fadeSeconds || a.entries.size() != b.entries.size())
        return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (a.entries[i].spriteKey != b.entries[i].spriteKey || a.entries[i].seconds != b.entries[i].seconds)
            return false;
    return true;
}

// The show the file must give, from the harness's own parse; false when the built-in one must play
bool expectedShow(const fuzz::Parsed& parsed, ShowRecord& show)
{
    const nlohmann::json& document = parsed.document;
    if (parsed.failed || !document.is_object())
        return false;
    const float perEntry =
        document.contains("secondsPerEntry") ? secondsOr(document.at("secondsPerEntry"), false, 7.f) : 7.f;
    if (document.contains("song") && document.at("song").is_string())
        show.songKey = document.at("song").get<std::string>();
    if (document.contains("fadeFromBlackSeconds"))
        show.fadeSeconds = secondsOr(document.at("fadeFromBlackSeconds"), true, 2.f);
    show.entries.clear();
    if (!document.contains("entries") || !document.at("entries").is_array())
        return false;
    for (const nlohmann::json& entry : document.at("entries")) {
        if (!entry.is_object() || !entry.contains("sprite") || !entry.at("sprite").is_string())
            continue;
        ShowEntry wanted{entry.at("sprite").get<std::string>(), perEntry};
        if (entry.contains("seconds")) {
            wanted.seconds = secondsOr(entry.at("seconds"), false, -1.f);
            if (wanted.seconds <= 0)
                continue;
        }
        show.entries.push_back(wanted);
    }
    return !show.entries.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<Problem> records;
    const fuzz::LoaderRun run = fuzz::runLoader("show.json", data, size, [&records](const std::string& name) {
        const Problems::Reporting keep([&records](const Problem& record) {
            records.push_back(record);
            Problems::write(record);
        });
        return loadShowFile(name);
    });
    const std::vector<std::string>& lines = run.lines;
    const fuzz::Parsed parsed = fuzz::parseLikeTheProgram(data, size);

    for (const Problem& record : records) {
        FUZZ_CHECK(record.file == "show.json", "every record must be about the show file", lines);
        FUZZ_CHECK(record.message.find('\n') == std::string::npos && record.message.find('\r') == std::string::npos,
                   "a record's line must stay one line", lines);
        if (!record.quiet)
            FUZZ_CHECK(record.message.compare(0, 6, "Show: ") == 0, "a show line must begin with \"Show: \"", lines);
    }
    const std::size_t notJson = std::count_if(records.begin(), records.end(),
                                              [](const Problem& r) { return r.finding == Finding::NotJson; });
    FUZZ_CHECK(notJson == (parsed.failed ? 1u : 0u), "the not-JSON line must come once exactly when the parser throws",
               lines);

    ShowRecord expected;
    const bool plays = expectedShow(parsed, expected);
    FUZZ_CHECK(run.result == plays, "the file must give the show exactly when some entry can play", lines);
    if (plays) {
        FUZZ_CHECK(sameShow(Show::current, expected), "the show must be the entries, song and fade the file gives",
                   lines);
    } else {
        FUZZ_CHECK(sameShow(Show::current, ShowRecord()), "without a show that can play, the built-in one plays",
                   lines);
        FUZZ_CHECK(!records.empty(), "a show file that gives nothing must say why", lines);
    }

    // What the rest of the program asks of the show must stay finite
    const ShowRecord& show = Show::current;
    const double length = Show::length(show);
    FUZZ_CHECK(std::isfinite(length) && length > 0, "the show's length must be finite and positive", lines);
    FUZZ_CHECK(Show::entryAt(show, length) == show.entries.size(), "past the end, no entry fades in", lines);
    FUZZ_CHECK(Show::entryAt(show, 0) == 0, "the first entry fades in at the start", lines);
    FUZZ_CHECK(Show::framesToReach(length, 1.f / 60) >= 1, "seeking needs one frame at least", lines);
    FUZZ_CHECK(!Show::orderText(show).empty() && !Show::pacingText(show).empty(), "--help must describe the show",
               lines);
    FUZZ_CHECK(!Show::spriteUses(show).empty(), "every show uses a sprite", lines);
    Show::reset();
    return 0;
}
