// Starting the program, what it reports while starting, and quitting it.

#include "run_fixture.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const sf::Vector2i screenCentre(960, 540);

// The title fades in from the first frame on, so its red showing at the
// centre means that the frame loop runs
bool showIsPlaying(sf::Color colour) { return colour.r >= 3; }

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// Large pages: the program starts itself again, once, asking glibc for 2 MB
// pages for its large blocks where the kernel gives them on request, unless
// the user's own tunables say otherwise

struct TunablesCase {
    const char* name;
    std::optional<std::string> given; // GLIBC_TUNABLES as the program is started with it
    bool largePages;                  // its pictures and the renderer's buffers lie in 2 MB pages
};

void PrintTo(const TunablesCase& tunables, std::ostream* out) { *out << tunables.name; }

class LargePages : public ProgramRun, public ::testing::WithParamInterface<TunablesCase> {
protected:
    // Anonymous memory of the process in 2 MB pages, in KB; -1 when unknown
    long largePageKilobytes(pid_t pid)
    {
        std::ifstream file("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        while (std::getline(file, line))
            if (line.rfind("AnonHugePages:", 0) == 0)
                return std::stol(line.substr(14));
        return -1;
    }
};

TEST_P(LargePages, AreAskedForUnlessTheUserSaysOtherwise)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator takes the place of glibc's, whose tunable this is";
#endif
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(setting, modes);
    if (modes.find("[madvise]") == std::string::npos)
        GTEST_SKIP() << "the kernel here gives large pages " << (modes.empty() ? "not at all" : modes)
                     << ", not on request: the program has nothing to ask for";
    const TunablesCase& run = GetParam();
    writeShow(work.root());
    Environment env = recording();
    env["GLIBC_TUNABLES"] = run.given;
    start(env);
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    // The title is up and the show draws: its textures and buffers are made
    sf::Color seen;
    ASSERT_TRUE(waitForPixel(window, screenCentre, showIsPlaying, 10, seen));
    const long kilobytes = largePageKilobytes(program->processId());
    ASSERT_GE(kilobytes, 0) << "no AnonHugePages line for the program";
    if (run.largePages)
        EXPECT_GE(kilobytes, 8 * 1024) << "not even one picture's worth of memory in large pages";
    else
        EXPECT_EQ(kilobytes, 0);
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_EQ(program->ownLines(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Startup, LargePages,
    ::testing::Values(TunablesCase{"NoneGiven", std::nullopt, true},
                      TunablesCase{"OthersGiven", std::string("glibc.malloc.tcache_count=0"), true},
                      TunablesCase{"UserSaysNo", std::string("glibc.malloc.hugetlb=0"), false}),
    [](const ::testing::TestParamInfo<TunablesCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Start-up and quit

enum class QuitBy { Escape, CloseRequest };

struct StartCase {
    const char* name;
    QuitBy quit;
    bool fullscreen; // config.json asks for full screen; else there is no config.json
};

void PrintTo(const StartCase& start, std::ostream* out) { *out << start.name; }

class StartAndQuit : public ProgramRun, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartAndQuit, OpensItsWindowPlaysAndEndsWithStatusZero)
{
    const StartCase& run = GetParam();
    ShowOptions show;
    show.withConfig = false;
    writeShow(work.root(), show);
    if (run.fullscreen)
        work.write("config.json", R"({"fullscreen": true})");
    start(recording());
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);

    EXPECT_EQ(screen.name(window), windowTitle);
    EXPECT_EQ(screen.netName(window), windowTitle);
    const sf::Vector2u size = screen.size(window);
    EXPECT_EQ(size.x, 1920u);
    EXPECT_EQ(size.y, 1080u);
    const WindowStyle style = screen.style(window);
    if (run.fullscreen) {
        EXPECT_TRUE(style.overrideRedirect) << "a full-screen window places itself over everything";
    } else {
        // A title bar, resize and close: the media library's default style
        EXPECT_FALSE(style.overrideRedirect);
        // Centred on the screen, not pushed down off it; the window is
        // moved there right after it appears
        const sf::Vector2u screenSize = screen.screenSize();
        const sf::Vector2i centred((static_cast<int>(screenSize.x) - 1920) / 2, (static_cast<int>(screenSize.y) - 1080) / 2);
        sf::Vector2i position = screen.position(window);
        for (int i = 0; i < 100 && position != centred; ++i) {
            sleepSeconds(0.02);
            position = screen.position(window);
        }
        EXPECT_EQ(position, centred);
        ASSERT_TRUE(style.hasMotifHints);
        EXPECT_EQ(style.functions & 0x22, 0x22u) << "resize and close, functions " << style.functions;
        EXPECT_EQ(style.decorations & 0x0c, 0x0cu) << "title bar and resize handles, decorations " << style.decorations;
    }

    sf::Color seen;
    ASSERT_TRUE(waitForPixel(window, screenCentre, showIsPlaying, 20, seen))
        << "the title never began to show; the centre stayed " << describe(seen);

    const double quitAt = program->secondsSinceStart();
    ExitStatus status;
    if (run.quit == QuitBy::Escape) {
        status = quitWithEscape();
    } else {
        ASSERT_TRUE(screen.requestClose(window));
        status = program->waitForExit(15);
    }
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_LT(status.seconds - quitAt, 5.0) << "slow to quit: " << describe(status);
    // Nothing but a missing settings file is worth a line, before or after the quit
    expectLines(program->ownLines(),
                run.fullscreen ? std::vector<std::string>{} : std::vector<std::string>{"Config.json missing."});
}

INSTANTIATE_TEST_SUITE_P(Quit, StartAndQuit,
                         ::testing::Values(StartCase{"Escape", QuitBy::Escape, false},
                                           StartCase{"CloseRequest", QuitBy::CloseRequest, false},
                                           StartCase{"EscapeInFullScreen", QuitBy::Escape, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Escape already down when the frame loop starts: the first frame still runs
// in full, so the show's set-up reports the missing song, then the program ends
using EscapeHeld = ProgramRun;

TEST_F(EscapeHeld, FromTheStartStillRunsTheFirstFrame)
{
    writeShow(work.root());
    fs::remove(fs::path(work.root()) / "assets/music.json");
    ExitStatus status;
    {
        HeldKey escape("Escape");
        ASSERT_TRUE(escape.ok()) << "xdotool could not press Escape";
        start(recording());
        status = program->waitForExit(20);
    }
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(program->ownLines(),
                {"MusicManager: Unable to open file assets/music.json.", "MusicManager: Song with key song does not exist."});
}

// ---------------------------------------------------------------------------
// Catalogue problems: each is reported at start-up in the program's words and
// order, and the program goes on

struct CatalogueProblem {
    const char* name;
    std::function<void(const std::string& folder)> spoil; // breaks one thing in a complete show
    std::function<std::vector<std::string>()> expected;   // every line of the run; '*' ends a prefix
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void PrintTo(const CatalogueProblem& problem, std::ostream* out) { *out << problem.name; }

const CatalogueProblem catalogueProblems[] = {
    {"TexturesMissing",
     [](const std::string& folder) { fs::remove(fs::path(folder) / "assets/textures.json"); },
     [] {
         std::vector<std::string> lines = {"TextureManager: Unable to open file assets/textures.json."};
         // Each sprite, in key order, asks for its texture in vain
         for (const auto& [sprite, texture] : spriteTextures())
             lines.push_back("TextureManager: Texture with key " + texture + " does not exist.");
         lines.push_back("SpriteManager: Sprite with key black does not exist.");
         return lines + missingSlideLines({});
     }},
    {"AllCataloguesMissing",
     [](const std::string& folder) {
         for (const char* file : {"textures.json", "sprites.json", "music.json"})
             fs::remove(fs::path(folder) / "assets" / file);
     },
     [] {
         // Loading order, then the overlay, then the show's set-up: the song first, then the slides
         return std::vector<std::string>{"TextureManager: Unable to open file assets/textures.json.",
                                         "SpriteManager: Unable to open file assets/sprites.json.",
                                         "MusicManager: Unable to open file assets/music.json.",
                                         "SpriteManager: Sprite with key black does not exist.",
                                         "MusicManager: Song with key song does not exist."} +
                missingSlideLines({});
     }},
    {"ImageMissing",
     [](const std::string& folder) {
         const std::string path = (fs::path(folder) / "assets/textures.json").string();
         nlohmann::json textures;
         std::ifstream(path) >> textures;
         textures["textures"]["blue"]["file"] = "assets/img/nothere.png";
         writeText(path, textures.dump());
     },
     [] {
         // The first line is the media library's own; "blue" is ov2's texture
         return std::vector<std::string>{"Failed to load image \"assets/img/nothere.png\"*",
                                         "TextureManager: Unable to load file assets/img/nothere.png.",
                                         "TextureManager: Texture with key blue does not exist.",
                                         "SpriteManager: Sprite with key ov2 does not exist."};
     }},
    {"SpritesCutShort",
     [](const std::string& folder) {
         // Two complete entries, then the file ends where "ov1" gets its value
         writeText(fs::path(folder) / "assets/sprites.json",
                   R"({"sprites": {"title": {"texture": "red", "rectW": 1920, "rectH": 1080},)"
                   R"( "black": {"texture": "shade", "rectW": 1920, "rectH": 1080}, "ov1": )");
     },
     [] {
         return std::vector<std::string>{"SpriteManager: Error while parsing JSON.",
                                         "[json.exception.parse_error.101] parse error at line 1, column *",
                                         "SpriteManager: Missing TEXTURE property for [ov1]"} +
                missingSlideLines({"black", "title"});
     }},
    {"SpritesWithoutTopMember",
     [](const std::string& folder) {
         writeText(fs::path(folder) / "assets/sprites.json", R"({"sprite": {"black": {"texture": "shade"}}})");
     },
     [] {
         return std::vector<std::string>{"validateJson: Missing prop: sprites.",
                                         "SpriteManager: Missing properties in spritesfile.",
                                         "SpriteManager: Sprite with key black does not exist."} +
                missingSlideLines({});
     }},
    {"MusicMissing",
     [](const std::string& folder) { fs::remove(fs::path(folder) / "assets/music.json"); },
     [] {
         return std::vector<std::string>{"MusicManager: Unable to open file assets/music.json.",
                                         "MusicManager: Song with key song does not exist."};
     }},
    {"SongFileMissing",
     [](const std::string& folder) {
         writeText(fs::path(folder) / "assets/music.json",
                   R"({"music": {"song": {"file": "assets/nothere.wav", "loopTo": 3000}}})");
     },
     [] {
         // The first line is the audio library's own
         return std::vector<std::string>{"Failed to open sound file \"assets/nothere.wav\"*",
                                         "MusicManager: Unable to load music file assets/nothere.wav."};
     }},
    // Hostile files: refused in one line each, and the show goes on
    {"SongFileIsAFolder",
     [](const std::string& folder) {
         writeText(fs::path(folder) / "assets/music.json", R"({"music": {"song": {"file": "assets"}}})");
     },
     [] { return std::vector<std::string>{"MusicManager: Unable to load music file assets."}; }},
    {"VolumeNestedDeep",
     [](const std::string& folder) {
         const std::string deep = std::string(100000, '[') + std::string(100000, ']');
         writeText(fs::path(folder) / "assets/music.json",
                   R"({"music": {"song": {"file": "assets/song.wav", "volume": )" + deep + "}}}");
     },
     [] {
         return std::vector<std::string>{"MusicManager: Invalid volume property for [song]*",
                                         "MusicManager: Song with key song does not exist."};
     }},
    {"LoopPointOverflows",
     [](const std::string& folder) {
         writeText(fs::path(folder) / "assets/music.json",
                   R"({"music": {"song": {"file": "assets/song.wav", "loopTo": 1e309}}})");
     },
     [] {
         return std::vector<std::string>{"MusicManager: Error while parsing JSON.",
                                         "[json.exception.out_of_range.406]*",
                                         "MusicManager: Invalid loopTo property for [song]*",
                                         "MusicManager: Song with key song does not exist."};
     }},
    {"ImageClaimsFiftyThousandPixelsSquare",
     [](const std::string& folder) {
         const std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xc3\x50\0\0\xc3\x50\x08\x06\0\0\0\0\0\0\0", 33);
         writeText(fs::path(folder) / "assets/huge.png", header + std::string(4096, '\x11'));
         const std::string path = (fs::path(folder) / "assets/textures.json").string();
         nlohmann::json textures;
         std::ifstream(path) >> textures;
         textures["textures"]["blue"]["file"] = "assets/huge.png";
         writeText(path, textures.dump());
     },
     [] {
         return std::vector<std::string>{"TextureManager: Unable to load file assets/huge.png.",
                                         "TextureManager: Texture with key blue does not exist.",
                                         "SpriteManager: Sprite with key ov2 does not exist."};
     }},
    // A FIFO's open blocks until someone writes to it: each is refused unread
    {"PictureSettingsAndSongAreFifos",
     [](const std::string& folder) {
         const fs::path root(folder);
         for (const char* file : {"config.json", "assets/fifo.png", "assets/fifo.wav"}) {
             fs::remove(root / file);
             ASSERT_EQ(mkfifo((root / file).c_str(), 0600), 0) << file;
         }
         const std::string path = (root / "assets/textures.json").string();
         nlohmann::json textures;
         std::ifstream(path) >> textures;
         textures["textures"]["blue"]["file"] = "assets/fifo.png";
         writeText(path, textures.dump());
         writeText(root / "assets/music.json", R"({"music": {"song": {"file": "assets/fifo.wav"}}})");
     },
     [] {
         return std::vector<std::string>{"Config.json missing.",
                                         "TextureManager: Unable to load file assets/fifo.png.",
                                         "TextureManager: Texture with key blue does not exist.",
                                         "MusicManager: Unable to load music file assets/fifo.wav.",
                                         "SpriteManager: Sprite with key ov2 does not exist."};
     }},
};

class CatalogueProblems : public ProgramRun, public ::testing::WithParamInterface<CatalogueProblem> {};

TEST_P(CatalogueProblems, AreReportedInOrderAndTheShowGoesOn)
{
    writeShow(work.root());
    GetParam().spoil(work.root());
    const std::vector<std::string> expected = GetParam().expected();

    start(recording());
    ASSERT_NE(waitForWindow(), 0u);
    // The last lines come from the show's set-up on the first frame
    EXPECT_TRUE(program->waitForOwnLines(expected.size(), 20)) << "lines so far:\n" << joined(program->ownLines());
    sleepSeconds(1.0);
    EXPECT_TRUE(program->running()) << "the program stopped after its reports";

    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    expectLines(program->ownLines(), expected);
}

INSTANTIATE_TEST_SUITE_P(Catalogues, CatalogueProblems, ::testing::ValuesIn(catalogueProblems),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// No display: one line and status 1, without a crash

struct NoDisplay {
    const char* name;
    std::optional<std::string> display; // DISPLAY for the run; none: unset
};

void PrintTo(const NoDisplay& setting, std::ostream* out) { *out << setting.name; }

class WithoutDisplay : public ::testing::TestWithParam<NoDisplay> {};

TEST_P(WithoutDisplay, SaysSoInOneLineAndEndsWithStatusOne)
{
    TempDir work, soundDir;
    writeShow(work.root());
    Environment env = recordSoundTo(soundDir.root(), soundDir.path("sound.wav"));
    env["DISPLAY"] = GetParam().display;
    Program program(work.root(), env);
    ASSERT_TRUE(program.started());

    const ExitStatus status = program.waitForExit(15);
    EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
    EXPECT_LT(status.seconds, 5.0) << describe(status);
    const std::vector<std::string> lines = program.ownLines();
    ASSERT_EQ(lines.size(), 1u) << "stderr:\n" << joined(program.errorLines());
    EXPECT_NE(lowered(lines[0]).find("display"), std::string::npos) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Display, WithoutDisplay,
                         ::testing::Values(NoDisplay{"Unset", std::nullopt}, NoDisplay{"Unreachable", ":99999"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// No audio device: one line, and the show runs silent

using WithoutAudio = ProgramRun;

TEST_F(WithoutAudio, SaysSoOnceAndTheShowRunsSilent)
{
    writeShow(work.root());
    start(withoutAudioDevice());
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);

    // Well into the title's fade-in: the frame loop goes on without sound
    sf::Color seen;
    EXPECT_TRUE(waitForPixel(window, screenCentre, [](sf::Color c) { return c.r >= 100; }, 20, seen))
        << "the title never showed; the centre stayed " << describe(seen);
    while (program->running() && program->secondsSinceStart() < 5)
        sleepSeconds(0.1);
    EXPECT_TRUE(program->running()) << "the program ended without being asked to";

    // A line per frame, or one from the audio thread, would be hundreds by now
    const std::vector<std::string> lines = program->errorLines();
    EXPECT_LT(lines.size(), 100u);
    const std::vector<std::string> own = program->ownLines();
    ASSERT_EQ(own.size(), 1u) << "stderr:\n" << joined(lines);
    EXPECT_EQ(own[0].rfind("MusicManager: ", 0), 0u) << own[0];
    EXPECT_NE(lowered(own[0]).find("audio device"), std::string::npos) << own[0];

    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
    EXPECT_EQ(program->ownLines(), own) << "lines after the quit";
}
