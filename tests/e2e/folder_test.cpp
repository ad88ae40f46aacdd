// The intro's folder named on the command line: every mode reads the intro
// from there and writes what the command line names where it runs; and a
// folder that holds nothing of an intro is said so, with exit status 1 and
// no window, instead of 140 seconds of black.

#include "run_fixture.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Folder : public ProgramRun {
protected:
    TempDir intro; // the intro, away from the working folder
};

TEST_F(Folder, EveryModeReadsTheIntroFromTheFolderNamed)
{
    writeShow(intro.path("my intro"));
    const std::string folder = intro.path("my intro");

    start(withoutAudioDevice(), {"--check", folder});
    ExitStatus status = program->waitForExit(60);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    EXPECT_EQ(program->errorLines(), std::vector<std::string>{"Check: 0 problems, 0 notes."});

    // A relative FILE.png lands in the working folder, not the intro's
    start(recording(), {"--frame", "0:10", "--output", "ten.png", folder});
    status = program->waitForExit(60);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    EXPECT_TRUE(fs::exists(work.path("ten.png")));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "ten.png"));

    start(recording(), {folder});
    ASSERT_NE(waitForWindow(), 0u);
    sleepSeconds(1.0);
    status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_TRUE(program->ownLines().empty()) << joined(program->ownLines());
}

// Each mode that shows the intro, on a folder with none of its files
class NoIntro : public ProgramRun, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(NoIntro, SaysWhereItLookedAndStopsWithoutAWindow)
{
    fs::create_directories(work.path("empty"));
    std::vector<std::string> arguments = GetParam();
    arguments.push_back("empty");
    start(recording(), arguments);
    const ExitStatus status = program->waitForExit(60);
    EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
    expectLines(program->ownLines(),
                {"Config.json missing.", "TextureManager: Unable to open file assets/textures.json.",
                 "SpriteManager: Unable to open file assets/sprites.json.",
                 "MusicManager: Unable to open file assets/music.json.",
                 "Intro: No intro in " + fs::canonical(work.path("empty")).string() +
                     ": an intro's folder holds config.json, assets/textures.json, assets/sprites.json and "
                     "assets/music.json."});
    EXPECT_TRUE(screen.windowsNamed(windowTitle).empty());
    EXPECT_FALSE(fs::exists(work.path("a.png")));
}

const std::vector<std::string> modes[] = {
    {}, {"--from", "3"}, {"--frame", "3", "--output", "a.png"}, {"--contact-sheet", "a.png"}};

std::string modeName(const ::testing::TestParamInfo<std::vector<std::string>>& info)
{
    const char* const names[] = {"Show", "From", "Frame", "ContactSheet"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Modes, NoIntro, ::testing::ValuesIn(modes), modeName);

// One of the four files is an intro, however incomplete
TEST_F(Folder, AnyOneOfItsFilesMakesAnIntro)
{
    writeShow(work.root());
    for (const char* file : {"assets/textures.json", "assets/sprites.json", "assets/music.json"})
        fs::remove(work.path(file));
    start(recording());
    ASSERT_NE(waitForWindow(), 0u);
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
}

// --help on a folder gives the show order of the folder's show file
TEST_F(Folder, HelpOnAFolderGivesItsShow)
{
    writeShow(intro.root());
    intro.write("assets/show.json", R"({"entries": [{"sprite": "title", "seconds": 65}, {"sprite": "end"}]})");
    start(recording(), {"--help", intro.root()});
    const ExitStatus status = program->waitForExit(30);
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    std::string help;
    for (const std::string& line : program->outputLines())
        help += line + "\n";
    EXPECT_NE(help.find("  0:00 title  1:05 end\n  1:12 the show ends\n"), std::string::npos) << help;
}

TEST_F(Folder, ThatDoesNotExistIsAUsageError)
{
    start(recording(), {"--check", "nothere"});
    const ExitStatus status = program->waitForExit(30);
    EXPECT_TRUE(status.exited && status.code == 2) << describe(status);
    ASSERT_EQ(program->errorLines().size(), 1u) << joined(program->errorLines());
    EXPECT_NE(program->errorLines()[0].find("nothere"), std::string::npos);
}

} // namespace
