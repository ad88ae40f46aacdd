// Files that are not regular files, where the settings, a catalogue, a
// picture or a song should be: a FIFO (whose open blocks until someone
// writes), endless devices and a socket. Each is refused unread with the line
// an unreadable file gets; a link to a regular file still works.
#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

enum class Kind { Fifo, Zero, Random, Socket, LinkToRegular };

struct SpecialFile {
    const char* name;
    Kind kind;
};

const SpecialFile kinds[] = {
    {"Fifo", Kind::Fifo},     {"DevZero", Kind::Zero},          {"DevUrandom", Kind::Random},
    {"Socket", Kind::Socket}, {"LinkToRegular", Kind::LinkToRegular},
};

// Where the special file stands in for a regular one
enum class Role { Settings, Catalogue, Picture, Song };

struct Case {
    SpecialFile file;
    Role role;
};

std::string roleName(Role role)
{
    switch (role) {
    case Role::Settings: return "Settings";
    case Role::Catalogue: return "Catalogue";
    case Role::Picture: return "Picture";
    case Role::Song: return "Song";
    }
    return "";
}

void PrintTo(const Case& c, std::ostream* out) { *out << roleName(c.role) << c.file.name; }

// Ends the whole test run if a load blocks: a hung test would otherwise only
// end at ctest's timeout, saying nothing
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : thread([this, seconds] {
              std::unique_lock<std::mutex> guard(lock);
              if (!changed.wait_for(guard, std::chrono::seconds(seconds), [this] { return done; })) {
                  // Not through std::cerr: the test captures it
                  std::fprintf(stderr, "special files: a load blocked for %d s\n", seconds);
                  std::_Exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            done = true;
        }
        changed.notify_all();
        thread.join();
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    std::thread thread;
};

class SpecialFiles : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override
    {
        if (listener >= 0)
            close(listener);
    }

    // Makes `name` in the working folder into the kind of file asked for; a
    // link points at a regular file that `writeRegular` writes
    void make(const std::string& name, Kind kind, const std::function<void(const std::string&)>& writeRegular)
    {
        const std::string path = dir.path(name);
        if (fs::path(name).has_parent_path())
            fs::create_directories(fs::path(path).parent_path());
        switch (kind) {
        case Kind::Fifo:
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            break;
        case Kind::Zero:
            fs::create_symlink("/dev/zero", path);
            break;
        case Kind::Random:
            fs::create_symlink("/dev/urandom", path);
            break;
        case Kind::Socket: {
            listener = socket(AF_UNIX, SOCK_STREAM, 0);
            ASSERT_GE(listener, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            // Relative to the working folder: the full path may be too long for a socket's name
            ASSERT_LT(name.size(), sizeof address.sun_path);
            name.copy(address.sun_path, name.size());
            ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(listen(listener, 1), 0);
            break;
        }
        case Kind::LinkToRegular: {
            // The same extension, so the file is read as the same format
            const std::string target = "real-" + fs::path(name).filename().string();
            writeRegular((fs::path(path).parent_path() / target).string());
            fs::create_symlink(target, path);
            break;
        }
        }
    }

    TempDir dir;
    int listener = -1;
};

TEST_P(SpecialFiles, AreRefusedUnreadWithTheUsualLineWhileALinkToAFileWorks)
{
    const Case& c = GetParam();
    const bool works = c.file.kind == Kind::LinkToRegular;
    ScopedWorkingDir here(dir.root());
    Watchdog watchdog(20);
    CaptureErrors errors;
    switch (c.role) {
    case Role::Settings:
        make("config.json", c.file.kind, [](const std::string& path) {
            std::ofstream(path) << R"({"fullscreen": true})";
        });
        loadConfig();
        EXPECT_EQ(Config::fullscreen, works);
        expectLines(errors.lines(), works ? std::vector<std::string>{} : std::vector<std::string>{"Config.json missing."});
        break;
    case Role::Catalogue:
        make("assets/textures.json", c.file.kind, [](const std::string& path) {
            std::ofstream(path) << R"({"textures": {}})";
        });
        EXPECT_EQ(TextureManager::load("assets/textures.json"), works);
        expectLines(errors.lines(), works ? std::vector<std::string>{}
                                          : std::vector<std::string>{"TextureManager: Unable to open file assets/textures.json."});
        break;
    case Role::Picture: {
        make("picture.png", c.file.kind, [](const std::string& path) { writeImage(path, 4, 2, sf::Color::Red); });
        // Decoded ahead on the workers too: two pictures after it
        ASSERT_TRUE(writeImage(dir.path("after1.png"), 2, 2, sf::Color::Blue));
        ASSERT_TRUE(writeImage(dir.path("after2.png"), 2, 2, sf::Color::Green));
        TextureManager::loadEntries(json{{"textures",
                                          {{"a", {{"file", "picture.png"}}},
                                           {"b", {{"file", "after1.png"}}},
                                           {"c", {{"file", "after2.png"}}}}}});
        EXPECT_EQ(TextureManager::has("a"), works);
        EXPECT_TRUE(TextureManager::has("b") && TextureManager::has("c")) << "the pictures after it must still load";
        if (works)
            EXPECT_EQ(TextureManager::get("a")->getSize(), sf::Vector2u(4, 2));
        expectLines(errors.lines(), works ? std::vector<std::string>{}
                                          : std::vector<std::string>{"TextureManager: Unable to load file picture.png."});
        break;
    }
    case Role::Song:
        make("song.wav", c.file.kind, [](const std::string& path) { writeTone(path, 1.f, 440.f); });
        MusicManager::loadEntries(json{{"music", {{"song", {{"file", "song.wav"}}}}}});
        MusicManager::play("song", true);
        ASSERT_NE(MusicManager::player, nullptr) << "no audio device: the tests run with OpenAL's null output";
        EXPECT_EQ(MusicManager::player->getStatus(), works ? sf::SoundSource::Playing : sf::SoundSource::Stopped);
        expectLines(errors.lines(), works ? std::vector<std::string>{}
                                          : std::vector<std::string>{"MusicManager: Unable to load music file song.wav."});
        break;
    }
}

std::vector<Case> allCases()
{
    std::vector<Case> cases;
    for (Role role : {Role::Settings, Role::Catalogue, Role::Picture, Role::Song})
        for (const SpecialFile& file : kinds)
            cases.push_back({file, role});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialFiles, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return roleName(info.param.role) + info.param.file.name; });

} // namespace
