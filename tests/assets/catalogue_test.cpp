// The load procedure all three catalogues share, and validateJson
#include "assets/catalogue.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using nlohmann::json;

namespace {

std::vector<std::string> storedSongs()
{
    std::vector<std::string> keys;
    for (const auto& [key, song] : MusicManager::songs)
        keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

struct ProcedureCase {
    const char* name;
    const char* text; // the catalogue file's text
    bool result;
    std::vector<std::string> lines;
    std::vector<std::string> stored;
};

// Rows read by name in the test list
void PrintTo(const ProcedureCase& c, std::ostream* out) { *out << c.name; }

const ProcedureCase procedureCases[] = {
    {"empty_file", "", false,
     {"MusicManager: Error while parsing JSON.", "[json.exception.parse_error.101]*", "validateJson: Missing prop: music.",
      "MusicManager: Missing properties in musicfile."},
     {}},
    {"array_document", R"([{"music": {}}])", false,
     {"validateJson: Missing prop: music.", "MusicManager: Missing properties in musicfile."}, {}},
    {"scalar_document", "42", false,
     {"validateJson: Missing prop: music.", "MusicManager: Missing properties in musicfile."}, {}},
    {"top_level_null", R"({"music": null})", true, {}, {}},
    {"top_level_empty", R"({"music": {}, "other": 1})", true, {}, {}},
    {"stray_text_after_document", "{\"music\": {\"a\": {\"file\": \"a.ogg\"}}}\n}}} not json", true, {}, {"a"}},
    {"syntax_error_keeps_complete_entries",
     R"({"music": {"b": {"file": "b.ogg"}, "a": {"file": "a.ogg"}, "c": {"fil)", true,
     {"MusicManager: Error while parsing JSON.", "[json.exception.parse_error*", "MusicManager: Missing FILE property for [c]"},
     {"a", "b"}},
    {"entries_in_key_order", R"({"music": {"b": "not an object", "a": {"volume": 5}, "c": {"file": "c.ogg"}}})", true,
     {"MusicManager: Missing FILE property for [a]", "MusicManager: Missing FILE property for [b]"}, {"c"}},
    {"repeated_key_keeps_last", R"({"music": {"a": {"file": "first"}, "a": {"file": "last"}}})", true, {}, {"a"}},
    {"array_entries_keyed_by_position", R"({"music": [{"file": "x.ogg"}, 3, {"file": "y.ogg"}]})", true,
     {"MusicManager: Missing FILE property for [1]"}, {"0", "2"}},
    {"scalar_entries_has_empty_key", R"({"music": "song.ogg"})", true, {"MusicManager: Missing FILE property for []"}, {}},
    {"empty_key_is_valid", R"({"music": {"": {"file": "x.ogg"}}})", true, {}, {""}},
    {"key_with_line_break_stays_one_line", "{\"music\": {\"a\\nb\": {}}}", true,
     {"MusicManager: Missing FILE property for [a\\nb]"}, {}},
};

class CatalogueProcedure : public ::testing::TestWithParam<ProcedureCase> {
protected:
    void SetUp() override { resetProgramState(); }
};

TEST_P(CatalogueProcedure, ReportsAndStoresAsExpected)
{
    const ProcedureCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("music.json", c.text);
    CaptureErrors errors;
    EXPECT_EQ(MusicManager::load(path), c.result);
    expectLines(errors.lines(), c.lines);
    EXPECT_EQ(storedSongs(), c.stored);
}

// The pass over a document given up frees each entry as it goes; it sees
// the same entries, in the same order, with the same lines, as the pass that
// keeps the document
TEST_P(CatalogueProcedure, PassOverAGivenUpDocumentMatchesThePassThatKeepsIt)
{
    const ProcedureCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("music.json", c.text);
    const CatalogueFormat format{"MusicManager", "music", "file", "FILE", "music"};
    auto run = [&](bool givenUp) {
        std::vector<std::string> handled;
        CaptureErrors errors;
        const bool result = loadCatalogueFile(path, format, [&](json&& document) {
            const EntryHandler handle = [&](const std::string& key, const json& entry) {
                handled.push_back(key + " = " + entry.dump());
            };
            return givenUp ? passCatalogueEntries(std::move(document), format, handle)
                           : passCatalogueEntries(static_cast<const json&>(document), format, handle);
        });
        return std::make_tuple(result, errors.lines(), handled);
    };
    const auto kept = run(false);
    EXPECT_EQ(run(true), kept);
    EXPECT_EQ(std::get<0>(kept), c.result);
    EXPECT_EQ(std::get<2>(kept).size(), c.stored.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, CatalogueProcedure, ::testing::ValuesIn(procedureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogueProcedureFile, UnreadableFileGivesOneLineAndFalse)
{
    resetProgramState();
    TempDir dir;
    dir.write("folder.json/x", "");
    for (const std::string& path : {dir.path("absent.json"), dir.path("folder.json")}) {
        CaptureErrors errors;
        EXPECT_FALSE(MusicManager::load(path));
        expectLines(errors.lines(), {"MusicManager: Unable to open file " + path + "."});
    }
    EXPECT_TRUE(MusicManager::songs.empty());
}

TEST(CatalogueProcedureFile, LoadingAgainNeverRemovesEntries)
{
    resetProgramState();
    TempDir dir;
    CaptureErrors errors;
    EXPECT_TRUE(MusicManager::load(dir.write("one.json", R"({"music": {"a": {"file": "a.ogg"}}})")));
    EXPECT_FALSE(MusicManager::load(dir.write("two.json", R"({"other": {}})")));
    EXPECT_EQ(storedSongs(), std::vector<std::string>{"a"});
}

// Each catalogue words the shared lines with its own names
struct WordingCase {
    const char* name;
    bool (*loadEntries)(const json&);
    const char* topKey;
    std::vector<std::string> missingTopLines;
    std::string missingPropertyLine;
};

TEST(CatalogueWording, EachCatalogueNamesItself)
{
    const WordingCase cases[] = {
        {"textures", TextureManager::loadEntries, "textures",
         {"validateJson: Missing prop: textures.", "TextureManager: Missing properties in texturesfile."},
         "TextureManager: Missing FILE property for [k]"},
        {"sprites", SpriteManager::loadEntries, "sprites",
         {"validateJson: Missing prop: sprites.", "SpriteManager: Missing properties in spritesfile."},
         "SpriteManager: Missing TEXTURE property for [k]"},
        {"music", MusicManager::loadEntries, "music",
         {"validateJson: Missing prop: music.", "MusicManager: Missing properties in musicfile."},
         "MusicManager: Missing FILE property for [k]"},
    };
    for (const WordingCase& c : cases) {
        SCOPED_TRACE(c.name);
        resetProgramState();
        {
            CaptureErrors errors;
            EXPECT_FALSE(c.loadEntries(json::object()));
            expectLines(errors.lines(), c.missingTopLines);
        }
        {
            CaptureErrors errors;
            // "file" and "texture" are each other's wrong property
            EXPECT_TRUE(c.loadEntries(json{{c.topKey, {{"k", {{"name", "x"}}}}}}));
            expectLines(errors.lines(), {c.missingPropertyLine});
        }
    }
}

TEST(CatalogueWording, UnreadableFileLinesNameTheManager)
{
    resetProgramState();
    CaptureErrors errors;
    EXPECT_FALSE(TextureManager::load("no/such/textures.json"));
    EXPECT_FALSE(SpriteManager::load("no/such/sprites.json"));
    EXPECT_FALSE(MusicManager::load("no/such/music.json"));
    expectLines(errors.lines(), {"TextureManager: Unable to open file no/such/textures.json.",
                                 "SpriteManager: Unable to open file no/such/sprites.json.",
                                 "MusicManager: Unable to open file no/such/music.json."});
}

TEST(ValidateJson, ChecksNamesInOrderAndReportsOnlyTheFirstMissing)
{
    struct Case {
        json document;
        std::vector<std::string> names;
        bool result;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {json::object(), {}, true, {}},
        {nullptr, {}, true, {}},
        {json{{"a", nullptr}}, {"a"}, true, {}},
        {json{{"a", 1}, {"c", 2}}, {"a", "b", "c", "d"}, false, {"validateJson: Missing prop: b."}},
        {json::array({"a"}), {"a"}, false, {"validateJson: Missing prop: a."}},
        {json("a"), {"a", "b"}, false, {"validateJson: Missing prop: a."}},
        {json{{"A", 1}}, {"a"}, false, {"validateJson: Missing prop: a."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document.dump());
        CaptureErrors errors;
        EXPECT_EQ(validateJson(c.document, c.names), c.result);
        expectLines(errors.lines(), c.lines);
    }
}

TEST(TypedReads, RangeAndTypeTable)
{
    struct Case {
        const char* text;
        bool intOk;
        std::int32_t intValue;
        bool floatOk;
        float floatValue;
        bool msOk;
    };
    const Case cases[] = {
        {"10.7", true, 10, true, 10.7f, true},
        {"-3.7", true, -3, true, -3.7f, true},
        {"true", true, 1, true, 1.f, false},
        {"false", true, 0, true, 0.f, false},
        {"2147483647", true, 2147483647, true, 2147483647.f, true},
        {"2147483647.9", true, 2147483647, true, 2147483648.f, true},
        {"2147483648", false, 0, true, 2147483648.f, false},
        {"-2147483648.5", true, -2147483647 - 1, true, -2147483648.f, true},
        {"-2147483649", false, 0, true, -2147483649.f, false},
        {"9223372036854775808", false, 0, true, 9223372036854775808.f, false},
        {"1e39", false, 0, false, 0.f, false},
        {"1e-50", true, 0, true, 0.f, true},
        {"\"5\"", false, 0, false, 0.f, false},
        {"null", false, 0, false, 0.f, false},
        {"[1]", false, 0, false, 0.f, false},
        {"{}", false, 0, false, 0.f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const json value = json::parse(c.text);
        std::string why;
        std::int32_t i = 0;
        float f = 0;
        double ms = 0;
        EXPECT_EQ(readInt32(value, i, why), c.intOk);
        if (c.intOk) EXPECT_EQ(i, c.intValue);
        EXPECT_EQ(readFloat(value, f, why), c.floatOk);
        if (c.floatOk) EXPECT_FLOAT_EQ(f, c.floatValue);
        EXPECT_EQ(readMilliseconds(value, ms, why), c.msOk);
    }
}

} // namespace
