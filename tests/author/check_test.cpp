// Paths in an intro's files that work on the author's machine and break on
// another: how each is told apart, and what the check says of it.

#include "author/check.h"
#include "base/files.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <tuple>

using nlohmann::json;

namespace {

struct PathCase {
    const char* name;
    const char* path;
    PathTrouble trouble;
    const char* fixed; // the path as it should be written, where the fix is one
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.name; }

// On disk: assets/img/title.png, assets/Photos/Sea.JPG and assets/song.ogg
const PathCase pathCases[] = {
    {"Travels", "assets/img/title.png", PathTrouble::None, ""},
    {"TravelsFromDot", "./assets//img/title.png", PathTrouble::None, ""},
    {"MissingIsForItsLoader", "assets/img/gone.png", PathTrouble::None, ""},
    {"ClimbsAndComesBack", "assets/img/../img/title.png", PathTrouble::None, ""},
    {"AbsoluteHere", "/home/me/intro/assets/img/title.png", PathTrouble::Absolute, ""},
    {"AbsoluteOnWindows", "C:\\Users\\me\\title.png", PathTrouble::Absolute, ""},
    {"DriveOnly", "c:title.png", PathTrouble::Absolute, ""},
    {"WindowsShare", "\\\\server\\intro\\title.png", PathTrouble::Absolute, ""},
    {"LeavesTheFolder", "../photos/title.png", PathTrouble::LeavesFolder, ""},
    {"LeavesByBackslash", "assets\\..\\..\\title.png", PathTrouble::LeavesFolder, ""},
    {"LeavesLater", "assets/../../intro/assets/img/title.png", PathTrouble::LeavesFolder, ""},
    {"Backslash", "assets\\img\\title.png", PathTrouble::Backslash, "assets/img/title.png"},
    {"CaseOfTheName", "assets/img/Title.PNG", PathTrouble::LetterCase, "assets/img/title.png"},
    {"CaseOfAFolder", "Assets/IMG/title.png", PathTrouble::LetterCase, "assets/img/title.png"},
    {"CaseOfAMixedName", "./assets/photos/sea.jpg", PathTrouble::LetterCase, "./assets/Photos/Sea.JPG"},
    {"CaseOfAMissingFile", "assets/IMG/gone.png", PathTrouble::None, ""},
};

class PathTravels : public ::testing::TestWithParam<PathCase> {
protected:
    TempDir intro;
};

TEST_P(PathTravels, IsToldApartWithItsFix)
{
    intro.write("assets/img/title.png", "");
    intro.write("assets/Photos/Sea.JPG", "");
    intro.write("assets/song.ogg", "");
    const PathCase& c = GetParam();
    for (const std::string& folder : {std::string(), intro.root()}) {
        // From the intro's folder as the working folder, and named from elsewhere
        const ScopedWorkingDir inside(folder.empty() ? intro.root() : "/");
        introFolder = folder;
        const PathTravel travel = howPathTravels(c.path);
        EXPECT_EQ(static_cast<int>(travel.trouble), static_cast<int>(c.trouble)) << "intro folder \"" << folder << "\"";
        EXPECT_EQ(travel.fixed, c.fixed) << "intro folder \"" << folder << "\"";
    }
    introFolder.clear();
}

INSTANTIATE_TEST_SUITE_P(Paths, PathTravels, ::testing::ValuesIn(pathCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder's names are read once while it stays unchanged; a rename in it,
// even right after a look, is seen by the next one
TEST(PathTravelsOverTime, FollowAFolderThatChanges)
{
    TempDir intro;
    intro.write("assets/img/title.png", "");
    const std::filesystem::path img = intro.path("assets/img");
    const auto hourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(img, hourAgo);
    introFolder = intro.root();
    for (int look = 0; look < 2; ++look) {
        const PathTravel travel = howPathTravels("assets/img/Title.png");
        EXPECT_EQ(travel.trouble, PathTrouble::LetterCase) << "look " << look;
        EXPECT_EQ(travel.fixed, "assets/img/title.png") << "look " << look;
    }
    std::filesystem::rename(img / "title.png", img / "Title.png");
    EXPECT_EQ(howPathTravels("assets/img/Title.png").trouble, PathTrouble::None);
    EXPECT_EQ(howPathTravels("assets/img/title.png").fixed, "assets/img/Title.png");
    // Changed long ago by its clock, and changed again since the last look
    std::filesystem::rename(img / "Title.png", img / "TITLE.png");
    std::filesystem::last_write_time(img, hourAgo + std::chrono::minutes(1));
    EXPECT_EQ(howPathTravels("assets/img/title.png").fixed, "assets/img/TITLE.png");
    introFolder.clear();
}

// One note per path that breaks elsewhere, naming the file, the key, the
// property and the fix, whether the entry loads here or not; --strict makes
// each a problem
class CheckOfPaths : public ::testing::Test {
protected:
    TempDir intro;

    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(writeImage(intro.path("assets/img/title.png"), 4, 4, sf::Color::Red));
        ASSERT_TRUE(writeTone(intro.path("assets/song.wav"), 0.5f, 440));
        intro.write("config.json", "{}");
        intro.write("assets/textures.json",
                    json({{"textures",
                           {{"title", {{"file", "assets/img/title.png"}}},
                            {"absolute", {{"file", intro.path("assets/img/title.png")}}},
                            {"climbs", {{"file", "../" + intro.root().substr(intro.root().rfind('/') + 1) +
                                                     "/assets/img/title.png"}}},
                            {"windows", {{"file", "assets\\img\\title.png"}}},
                            {"upper", {{"file", "assets/img/Title.PNG"}}}}}})
                        .dump());
        intro.write("assets/sprites.json",
                    json({{"sprites", {{"title", {{"texture", "title"}}}, {"black", {{"texture", "title"}}}}}}).dump());
        intro.write("assets/music.json", json({{"music", {{"song", {{"file", "Assets/song.wav"}}}}}}).dump());
        intro.write("assets/show.json", R"({"entries": [{"sprite": "title"}]})");
    }
    void TearDown() override { resetProgramState(); }

    json runAsJson(bool strict)
    {
        resetProgramState();
        const ScopedWorkingDir inside(intro.root());
        std::ostringstream out;
        std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
        {
            CaptureErrors quiet;
            status = runCheck({strict, true});
        }
        std::cout.rdbuf(previous);
        return json::parse(out.str());
    }
    int status = -1;
};

TEST_F(CheckOfPaths, NotesEachPathThatBreaksElsewhereWithItsFix)
{
    const json document = runAsJson(false);
    std::map<std::string, json> notes; // key -> finding
    for (const json& finding : document.at("findings"))
        if (finding.value("property", "") == "file" && finding.at("severity") == "note")
            notes[finding.at("key")] = finding;
    const std::string intoFolder = "put the file in the intro's folder and give its path from there.";
    const struct {
        const char* key;
        const char* file;
        std::string says; // the end of the message: the trouble and the fix
    } expected[] = {
        {"absolute", "assets/textures.json", "by an absolute path, which other machines lack: " + intoFolder},
        {"climbs", "assets/textures.json", ", outside the intro's folder, so it does not travel with the intro: " + intoFolder},
        {"song", "assets/music.json",
         ", but the file on disk is assets/song.wav: the letter case matters on Linux, so the file is not found there: "
         "write assets/song.wav."},
        {"upper", "assets/textures.json",
         ", but the file on disk is assets/img/title.png: the letter case matters on Linux, so the file is not found "
         "there: write assets/img/title.png."},
        {"windows", "assets/textures.json", " with a backslash, a folder separator on Windows only: write assets/img/title.png."},
    };
    ASSERT_EQ(notes.size(), std::size(expected)) << document.dump(2);
    for (const auto& want : expected) {
        ASSERT_EQ(notes.count(want.key), 1u) << want.key << "\n" << document.dump(2);
        const json& note = notes.at(want.key);
        EXPECT_EQ(note.at("file"), want.file);
        const std::string message = note.at("message");
        const std::string what = std::string(want.file) == "assets/music.json" ? "Song " : "Texture ";
        EXPECT_EQ(message.rfind(what + want.key + " in " + want.file + " names its file ", 0), 0u) << message;
        EXPECT_TRUE(message.size() >= want.says.size() &&
                    message.compare(message.size() - want.says.size(), want.says.size(), want.says) == 0)
            << message;
        EXPECT_EQ(note.at("pointer"), std::string(want.file == std::string("assets/music.json") ? "/music/" : "/textures/") +
                                          want.key + "/file");
    }

    const json strict = runAsJson(true);
    EXPECT_EQ(strict.at("notes"), 0);
    std::size_t pathProblems = 0;
    for (const json& finding : strict.at("findings"))
        pathProblems += finding.value("property", "") == "file" && finding.at("severity") == "problem" &&
                        notes.count(finding.value("key", "")) && finding.at("message") == notes.at(finding.at("key")).at("message");
    EXPECT_EQ(pathProblems, std::size(expected));
    EXPECT_EQ(status, 1);
}

// Keys are the author's bytes: one with a line break or another control byte
// must still give one line per finding, and the same message in the JSON
TEST(CheckOfNames, EachFindingIsOneLineWhateverTheKeys)
{
    resetProgramState();
    TempDir intro;
    ASSERT_TRUE(writeImage(intro.path("assets/title.png"), 4, 4, sf::Color::Red));
    ASSERT_TRUE(writeTone(intro.path("assets/song.wav"), 0.5f, 440));
    intro.write("config.json", "{}");
    intro.write("assets/textures.json",
                json({{"textures", {{"title", {{"file", "assets/title.png"}}}, {"un\x01used", {{"file", "assets/title.png"}}}}}})
                    .dump());
    intro.write("assets/sprites.json",
                json({{"sprites", {{"title", {{"texture", "title"}}}, {"black", {{"texture", "title"}}},
                                   {"not\tshown", {{"texture", "title"}}}}}})
                    .dump());
    intro.write("assets/music.json", json({{"music", {{"ot\nher", {{"file", "assets/song.wav"}}}}}}).dump());
    intro.write("assets/show.json", json({{"song", "so\rng"}, {"entries", {{{"sprite", "ti\ntle"}}}}}).dump());

    const ScopedWorkingDir inside(intro.root());
    const auto run = [](bool asJson) {
        resetProgramState();
        std::ostringstream out;
        std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
        CaptureErrors errors;
        const int status = runCheck({false, asJson});
        std::cout.rdbuf(previous);
        return std::make_tuple(status, errors.text(), out.str());
    };
    const auto [textStatus, text, nothing] = run(false);
    const auto [jsonStatus, ignored, output] = run(true);
    resetProgramState();
    EXPECT_EQ(textStatus, 1);
    EXPECT_EQ(jsonStatus, 1);

    std::vector<std::string> said; // the findings' messages, as the text gives them
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        for (unsigned char c : line)
            EXPECT_GE(c, 0x20) << "a control byte in the line: " << line;
        for (const std::string prefix : {"Check: Problem: ", "Check: Note: "})
            if (line.rfind(prefix, 0) == 0)
                said.push_back(line.substr(prefix.size()));
    }
    const json document = json::parse(output);
    std::vector<std::string> given;
    for (const json& finding : document.at("findings"))
        given.push_back(finding.at("message"));
    EXPECT_EQ(said, given) << text;

    // Each key is named, escaped as the loader's own lines name it
    for (const char* named : {"sprite ti\\ntle", "song so\\rng", "Song ot\\nher", "Sprite not\\tshown", "Texture un\\x01used"}) {
        const bool found = std::any_of(given.begin(), given.end(),
                                       [&](const std::string& message) { return message.find(named) != std::string::npos; });
        EXPECT_TRUE(found) << named << "\n" << document.dump(2);
    }
}

} // namespace
