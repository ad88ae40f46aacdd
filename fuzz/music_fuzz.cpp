// Fuzzes MusicManager::load. Loading touches no audio file and no device, so
// this target needs no display. Checks: the catalogue's lines, that exactly
// the well-typed entries are stored, each with its file, a volume of 0 or
// more and its loop point, and that every stored song's loop span converts
// without overflow.

#include "fuzz_support.h"

#include "assets/music_manager.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

const fuzz::Catalogue catalogue{"MusicManager", "music", "file", "FILE"};

// A loop point the song takes: a number (not a boolean) whose whole
// milliseconds fit the player's signed 32-bit count
bool takesLoopTo(const nlohmann::json& value)
{
    return value.is_number() && fuzz::fitsInt32(value);
}

// False when some present property has a type or value the song cannot take.
// NOTE: a negative volume is refused, since the player would ignore it.
bool wellTyped(const nlohmann::json& entry, MusicManager::Song& out)
{
    if (!entry.at("file").is_string())
        return false;
    if (entry.contains("volume")) {
        if (!fuzz::fitsInt32(entry.at("volume")) || fuzz::asInt32(entry.at("volume")) < 0)
            return false;
        out.volume = fuzz::asInt32(entry.at("volume"));
    }
    if (entry.contains("loopTo")) {
        if (!takesLoopTo(entry.at("loopTo")))
            return false;
        out.loopTo = entry.at("loopTo").get<double>();
    }
    out.file = entry.at("file").get<std::string>();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MusicManager::songs.clear();
    const fuzz::LoaderRun run = fuzz::runLoader("music.json", data, size, MusicManager::load);
    const bool loaded = run.result;
    const std::vector<std::string>& lines = run.lines;
    const fuzz::Parsed parsed = fuzz::parseLikeTheProgram(data, size);
    const auto entries = fuzz::catalogueEntries(parsed, catalogue);
    const auto& store = MusicManager::songs;

    fuzz::checkLines(lines, {"MusicManager: ", "validateJson: "}, "MusicManager: Error while parsing JSON.",
                     parsed.failed);
    fuzz::checkCatalogueLoad(lines, parsed, catalogue, entries, loaded, store.size());
    FUZZ_CHECK(MusicManager::player == nullptr, "loading the catalogue made a player", lines);

    std::size_t expectedCount = 0;
    for (const auto& [key, entry] : entries) {
        auto stored = store.find(key);
        MusicManager::Song want;
        if (!entry->is_object() || !entry->contains("file") || !wellTyped(*entry, want)) {
            FUZZ_CHECK(stored == store.end(), "[" + key + "] was stored without a well-typed entry", lines);
            continue;
        }
        ++expectedCount;
        FUZZ_CHECK(stored != store.end(), "[" + key + "] is well typed but was not stored", lines);
        const MusicManager::Song& song = stored->second;
        FUZZ_CHECK(song.file == want.file, "[" + key + "] has the wrong file", lines);
        FUZZ_CHECK(song.volume == want.volume && song.volume >= 0, "[" + key + "] has the wrong volume", lines);
        FUZZ_CHECK(song.loopTo == want.loopTo, "[" + key + "] has the wrong loop point", lines);
        // The conversion the player gets: undefined if loopTo were out of range
        const sf::Music::Span<sf::Time> span = song.loopSpan();
        FUZZ_CHECK(span.offset == sf::milliseconds(static_cast<std::int32_t>(std::trunc(want.loopTo))) &&
                       span.length == sf::milliseconds(-1),
                   "[" + key + "] gives the wrong loop span", lines);
    }
    FUZZ_CHECK(store.size() == expectedCount, "the store holds keys that no entry gave", lines);
    if (!parsed.failed && loaded && expectedCount == entries.size())
        FUZZ_CHECK(lines.empty(), "a clean catalogue whose entries all loaded must write nothing", lines);
    return 0;
}
