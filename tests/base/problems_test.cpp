// Problems as records: what the loaders say of each problem besides its line
// (severity, file, key, property, JSON pointer, line and column), and that a
// start's reporter writes each line exactly once, and nothing for a quiet one.

#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "base/problems.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// What a test expects of one record; the message only by its start
struct Expected {
    Finding finding;
    Severity severity;
    bool quiet;
    std::string file, key, property, pointer;
    int line, column;
    std::string messageStart;
};

struct RecordCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files; // path, text
    std::function<void()> load;
    std::vector<Expected> expected;
};

void PrintTo(const RecordCase& c, std::ostream* out) { *out << c.name; }

const char* const goodTextures = R"({"textures": {"red": {"file": "red.png"}}})";

void loadSprites()
{
    TextureManager::load("assets/textures.json");
    SpriteManager::load("assets/sprites.json");
}

const RecordCase recordCases[] = {
    {"SettingsMissing", {}, loadConfig,
     {{Finding::FileUnreadable, Severity::Problem, false, "config.json", "", "", "", 0, 0, "Config.json missing."}}},
    {"SettingsNotJson", {{"config.json", "{\n  \"vsync\": tru}"}}, loadConfig,
     {{Finding::NotJson, Severity::Problem, false, "config.json", "", "", "", 2, 15, "config.json: Error while parsing JSON."}}},
    {"SettingsWrongTypeAndUnknownName", {{"config.json", R"({"vsync": "yes", "fulscreen": true})"}}, loadConfig,
     {{Finding::UnknownMember, Severity::Note, true, "config.json", "", "fulscreen", "", 0, 0, "config.json has a member fulscreen"},
      {Finding::InvalidProperty, Severity::Problem, false, "config.json", "", "vsync", "/vsync", 0, 0,
       "config.json: Invalid vsync property"}}},
    {"CatalogueNotJson", {{"assets/music.json", "{\"music\": {\n\n   \"song\" {}}}"}}, [] { MusicManager::load("assets/music.json"); },
     {{Finding::NotJson, Severity::Problem, false, "assets/music.json", "", "", "", 3, 11, "MusicManager: Error while parsing JSON."},
      // What was parsed before the error is loaded: the entry as far as it came
      {Finding::MissingProperty, Severity::Problem, false, "assets/music.json", "song", "", "/music/song", 0, 0,
       "MusicManager: Missing FILE property for [song]"}}},
    {"CatalogueWithoutItsMember", {{"assets/music.json", R"({"songs": {}})"}}, [] { MusicManager::load("assets/music.json"); },
     {{Finding::MissingMember, Severity::Problem, false, "", "", "music", "", 0, 0, "validateJson: Missing prop: music."},
      {Finding::MissingMember, Severity::Problem, false, "assets/music.json", "", "", "", 0, 0,
       "MusicManager: Missing properties in musicfile."},
      {Finding::UnknownMember, Severity::Note, true, "assets/music.json", "", "songs", "", 0, 0,
       "assets/music.json has a member songs beside music"}}},
    {"EntryPropertyInvalid",
     {{"assets/textures.json", goodTextures}, {"assets/sprites.json", R"({"sprites": {"a/b": {"texture": "red", "rectX": "left"}}})"}},
     loadSprites,
     {{Finding::InvalidProperty, Severity::Problem, false, "assets/sprites.json", "a/b", "rectX", "/sprites/a~1b/rectX", 0, 0,
       "SpriteManager: Invalid rectX property for [a/b]: must be a number, not string."}}},
    {"EntryWithoutItsRequiredProperty", {{"assets/textures.json", R"({"textures": {"t": {"repeated": true}}})"}},
     [] { TextureManager::load("assets/textures.json"); },
     {{Finding::MissingProperty, Severity::Problem, false, "assets/textures.json", "t", "", "/textures/t", 0, 0,
       "TextureManager: Missing FILE property for [t]"}}},
    // A lookup made for an entry is that entry's problem
    {"EntryNamesAMissingTexture",
     {{"assets/textures.json", goodTextures}, {"assets/sprites.json", R"({"sprites": {"ov2": {"texture": "blue"}}})"}},
     loadSprites,
     {{Finding::MissingKey, Severity::Problem, false, "assets/sprites.json", "ov2", "", "/sprites/ov2", 0, 0,
       "TextureManager: Texture with key blue does not exist."}}},
    {"EntryWithAnUnknownProperty",
     {{"assets/textures.json", R"({"textures": {"red": {"file": "red.png", "repeat": true}}})"}},
     [] { TextureManager::load("assets/textures.json"); },
     {{Finding::UnknownProperty, Severity::Note, true, "assets/textures.json", "red", "repeat", "/textures/red/repeat", 0, 0,
       "Texture red has a property repeat that the program does not know"}}},
    {"RectangleOutsideItsTexture",
     {{"assets/textures.json", goodTextures}, {"assets/sprites.json", R"({"sprites": {"s": {"texture": "red", "rectW": 5}}})"}},
     loadSprites,
     {{Finding::RectangleOutside, Severity::Problem, true, "assets/sprites.json", "s", "", "/sprites/s", 0, 0,
       "Sprite s's rectangle (x 0, y 0, 5 by 2) reaches outside its texture red (4 by 2 pixels)"}}},
    // Outside any catalogue, a lookup names the key alone
    {"LookupOutsideAnEntry", {}, [] { SpriteManager::get("title"); },
     {{Finding::MissingKey, Severity::Problem, false, "", "title", "", "", 0, 0,
       "SpriteManager: Sprite with key title does not exist."}}},
};

class Records : public ::testing::TestWithParam<RecordCase> {
protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }
    TempDir dir;
};

TEST_P(Records, SayWhereEachProblemIsAndAStartWritesEachLineOnce)
{
    ASSERT_TRUE(writeImage(dir.path("red.png"), 4, 2, sf::Color::Red));
    for (const auto& [path, text] : GetParam().files)
        dir.write(path, text);
    const ScopedWorkingDir inDir(dir.root());
    std::vector<Problem> records;
    CaptureErrors errors;
    {
        const Problems::Reporting keep([&records](const Problem& record) {
            Problems::write(record);
            records.push_back(record);
        });
        TextureManager::uploads = false;
        GetParam().load();
    }
    const std::vector<Expected>& expected = GetParam().expected;
    ASSERT_EQ(records.size(), expected.size());
    std::vector<std::string> written;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Problem& record = records[i];
        const Expected& want = expected[i];
        SCOPED_TRACE(record.message);
        EXPECT_EQ(record.finding, want.finding);
        EXPECT_EQ(record.severity, want.severity);
        EXPECT_EQ(record.quiet, want.quiet);
        EXPECT_EQ(record.file, want.file);
        EXPECT_EQ(record.key, want.key);
        EXPECT_EQ(record.property, want.property);
        EXPECT_EQ(record.pointer, want.pointer);
        EXPECT_EQ(record.line, want.line);
        EXPECT_EQ(record.column, want.column);
        EXPECT_EQ(record.message.rfind(want.messageStart, 0), 0u);
        if (!record.quiet) {
            written.push_back(record.message);
            if (!record.detail.empty())
                written.push_back(record.detail);
        }
    }
    EXPECT_EQ(errors.lines(), written);
}

INSTANTIATE_TEST_SUITE_P(Loaders, Records, ::testing::ValuesIn(recordCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A reporter given for a while is given back afterwards, nested or not
TEST(Reporting, IsTheCallersWhileItLivesAndTheDefaultAfterwards)
{
    std::vector<std::string> outer, inner;
    CaptureErrors errors;
    {
        const Problems::Reporting first([&outer](const Problem& p) { outer.push_back(p.message); });
        Problem problem;
        problem.message = "one";
        Problems::report(problem);
        {
            const Problems::Reporting second([&inner](const Problem& p) { inner.push_back(p.message); });
            problem.message = "two";
            Problems::report(problem);
        }
        problem.message = "three";
        Problems::report(problem);
    }
    Problem last;
    last.message = "four";
    Problems::report(last);
    EXPECT_EQ(outer, (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(inner, (std::vector<std::string>{"two"}));
    EXPECT_EQ(errors.lines(), (std::vector<std::string>{"four"}));
}

} // namespace
