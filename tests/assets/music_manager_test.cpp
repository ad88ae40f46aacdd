#include "assets/music_manager.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using nlohmann::json;

namespace {

class MusicCatalogue : public ::testing::Test {
protected:
    void SetUp() override { resetProgramState(); }
};

TEST_F(MusicCatalogue, StoresEachEntryWithItsDefaults)
{
    struct Case {
        json entry;
        std::int32_t volume;
        double loopTo;
        std::int32_t loopOffsetMs;
    };
    const Case cases[] = {
        {{{"file", "a.ogg"}}, 100, 0, 0},
        {{{"file", "a.ogg"}, {"loopTo", 2500.9}}, 100, 2500.9, 2500},
        {{{"file", "a.ogg"}, {"volume", 62.8}}, 62, 0, 0},
        {{{"file", "a.ogg"}, {"volume", true}}, 1, 0, 0},
        {{{"file", "a.ogg"}, {"volume", false}}, 0, 0, 0},
        {{{"file", "a.ogg"}, {"volume", 250}, {"loopTo", 7}}, 250, 7, 7},
        {{{"file", "a.ogg"}, {"loopTo", -0.5}}, 100, -0.5, 0},
        {{{"file", "a.ogg"}, {"loopTo", -12.5}}, 100, -12.5, -12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry.dump());
        MusicManager::songs.clear();
        CaptureErrors errors;
        EXPECT_TRUE(MusicManager::loadEntries(json{{"music", {{"song", c.entry}}}}));
        expectLines(errors.lines(), {});
        ASSERT_EQ(MusicManager::songs.count("song"), 1u);
        const MusicManager::Song& song = MusicManager::songs.at("song");
        EXPECT_EQ(song.file, "a.ogg");
        EXPECT_EQ(song.volume, c.volume);
        EXPECT_DOUBLE_EQ(song.loopTo, c.loopTo);
        EXPECT_EQ(song.loopSpan().offset, sf::milliseconds(c.loopOffsetMs));
        EXPECT_EQ(song.loopSpan().length, sf::milliseconds(-1));
    }
}

TEST_F(MusicCatalogue, LoadReplacesARecordAndNeverTouchesAudioFiles)
{
    TempDir dir;
    CaptureErrors errors;
    EXPECT_TRUE(MusicManager::load(dir.write("a.json", R"({"music": {"s": {"file": "missing-1.ogg"}}})")));
    EXPECT_TRUE(MusicManager::load(dir.write("b.json", R"({"music": {"s": {"file": "missing-2.ogg", "volume": 5}}})")));
    expectLines(errors.lines(), {});
    EXPECT_EQ(MusicManager::songs.at("s").file, "missing-2.ogg");
    EXPECT_EQ(MusicManager::songs.at("s").volume, 5);
}

TEST_F(MusicCatalogue, WrongTypesAndRangesSkipTheEntryInOneLine)
{
    struct Case {
        const char* property;
        json value;
    };
    const Case cases[] = {
        {"file", 5},           {"file", nullptr},       {"file", json::object()},
        {"volume", "loud"},    {"volume", nullptr},     {"volume", json::array({1})}, {"volume", json::object()},
        {"volume", -1},        {"volume", -0.5 - 1},    {"volume", 3e9},              {"volume", 9223372036854775807LL},
        {"loopTo", true},      {"loopTo", "100"},       {"loopTo", nullptr},          {"loopTo", json::array()},
        {"loopTo", 3e9},       {"loopTo", -3e9},        {"loopTo", 1e300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.property) + " = " + c.value.dump());
        MusicManager::songs.clear();
        json entry{{"file", "a.ogg"}};
        entry[c.property] = c.value;
        CaptureErrors errors;
        EXPECT_TRUE(MusicManager::loadEntries(json{{"music", {{"bad", entry}, {"good", {{"file", "b.ogg"}}}}}}));
        expectLines(errors.lines(), {std::string("MusicManager: Invalid ") + c.property + " property for [bad]*"});
        EXPECT_EQ(MusicManager::songs.count("bad"), 0u);
        EXPECT_EQ(MusicManager::songs.count("good"), 1u);
    }
}

// Playing needs an audio device; the tests run with OpenAL's null output
class MusicPlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(writeTone(dir.path("long.wav"), 4.f, 440.f));
        ASSERT_TRUE(writeTone(dir.path("short.wav"), 1.f, 660.f));
        dir.write("folder.ogg/x", "");
        CaptureErrors quiet;
        ASSERT_TRUE(MusicManager::loadEntries(json{{"music",
                                                    {{"long", {{"file", dir.path("long.wav")}, {"volume", 40}, {"loopTo", 1500.7}}},
                                                     {"short", {{"file", dir.path("short.wav")}}},
                                                     {"gone", {{"file", dir.path("absent.ogg")}}},
                                                     {"folder", {{"file", dir.path("folder.ogg")}}}}}}));
    }
    TempDir dir;
};

TEST_F(MusicPlayer, PlaySetsVolumeLoopAndLoopPointsThenStarts)
{
    CaptureErrors errors;
    MusicManager::play("long", true);
    expectLines(errors.lines(), {});
    ASSERT_NE(MusicManager::player, nullptr);
    sf::Music& player = *MusicManager::player;
    EXPECT_EQ(player.getStatus(), sf::Music::Playing);
    EXPECT_FLOAT_EQ(player.getVolume(), 40.f);
    EXPECT_TRUE(player.getLoop());
    EXPECT_EQ(player.getLoopPoints().offset, sf::milliseconds(1500));
    EXPECT_EQ(player.getLoopPoints().offset + player.getLoopPoints().length, player.getDuration());

    MusicManager::play("short", false);
    EXPECT_EQ(player.getStatus(), sf::Music::Playing);
    EXPECT_FLOAT_EQ(player.getVolume(), 100.f);
    EXPECT_FALSE(player.getLoop());
    EXPECT_EQ(player.getDuration(), sf::seconds(1));
}

TEST_F(MusicPlayer, UnknownKeyLeavesTheSongPlaying)
{
    MusicManager::play("long", true);
    CaptureErrors errors;
    MusicManager::play("Long", true);
    expectLines(errors.lines(), {"MusicManager: Song with key Long does not exist."});
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Playing);
    EXPECT_EQ(MusicManager::player->getDuration(), sf::seconds(4));
}

TEST_F(MusicPlayer, UnopenableFileSilencesThePlayer)
{
    // A file that is not there gets the audio library's line before ours; a
    // folder is refused before the library is asked
    const struct {
        const char* key;
        bool libraryLine;
    } cases[] = {{"gone", true}, {"folder", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        MusicManager::play("long", true);
        CaptureErrors errors;
        MusicManager::play(c.key, true);
        const std::string file = MusicManager::songs.at(c.key).file;
        std::vector<std::string> expected;
        if (c.libraryLine)
            expected.push_back("Failed to open sound file \"" + file + "\" (couldn't open stream)");
        expected.push_back("MusicManager: Unable to load music file " + file + ".");
        expectLines(errors.lines(), expected);
        EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Stopped);
    }
}

TEST_F(MusicPlayer, PlayingTheSameKeyRestartsFromTheBeginning)
{
    MusicManager::play("long", true);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_GT(MusicManager::player->getPlayingOffset(), sf::milliseconds(300));
    MusicManager::play("long", true);
    EXPECT_LT(MusicManager::player->getPlayingOffset(), sf::milliseconds(300));
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Playing);
}

} // namespace
