// Whatever the files hold, the readers never crash, never hang, never store
// half an entry, and say what is wrong in lines of their own
#include "app/config.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Window/Context.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

using nlohmann::json;

namespace {

const char* const ownPrefixes[] = {"TextureManager: ", "SpriteManager: ", "MusicManager: ", "validateJson: ",
                                   "config.json: ", "Config.json missing."};

// The media library's own line when a file it was given fails to load
const char* const libraryPrefixes[] = {"Failed to load image \"", "Failed to open sound file \""};

// Every line is the program's own, the media library's about a file it could
// not load, or the parser's message right after the line that announces it
void expectOwnLines(const std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bool own = false;
        for (const char* prefix : ownPrefixes)
            own = own || lines[i].rfind(prefix, 0) == 0;
        for (const char* prefix : libraryPrefixes)
            own = own || lines[i].rfind(prefix, 0) == 0;
        const bool parserMessage = i > 0 && lines[i - 1].find("Error while parsing JSON.") != std::string::npos &&
                                   lines[i].rfind("[json.exception.", 0) == 0;
        EXPECT_TRUE(own || parserMessage) << "line " << i << ": " << lines[i].substr(0, 200);
    }
}

// Every stored entry is complete: sprites on stored textures, songs playable
void expectCompleteEntries()
{
    for (const auto& [key, sprite] : SpriteManager::spriteStore) {
        bool known = false;
        for (const auto& [textureKey, texture] : TextureManager::textureStore)
            known = known || sprite->getTexture() == texture.get();
        EXPECT_TRUE(known) << "sprite " << key << " without a stored texture";
    }
    for (const auto& [key, song] : MusicManager::songs)
        EXPECT_GE(song.volume, 0) << "song " << key;
}

class HostileInputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(writeImage(image, 16, 8, sf::Color::Green));
    }

    // Loads the text as each of the three catalogues, in start-up order
    std::vector<std::string> loadAll(const std::string& textures, const std::string& sprites, const std::string& music)
    {
        CaptureErrors errors;
        TextureManager::load(dir.write("textures.json", textures));
        SpriteManager::load(dir.write("sprites.json", sprites));
        MusicManager::load(dir.write("music.json", music));
        expectOwnLines(errors.lines());
        expectCompleteEntries();
        return errors.lines();
    }
    std::vector<std::string> loadEach(const std::string& text) { return loadAll(text, text, text); }

    // An active GL context spares each texture load a context of its own
    sf::Context context;
    TempDir dir;
    const std::string image = dir.path("green.png");
};

TEST_F(HostileInputs, TruncatedAtEveryByte)
{
    const std::string textures = R"({"textures": {"a": {"file": ")" + image + R"(", "repeated": true}, "b": {"file": ")" +
                                 image + R"("}}})";
    const std::string sprites =
        R"({"sprites": {"s": {"texture": "a", "originX": 1.5, "rectX": 2, "rectW": 3, "autocenter": false, "autocenter_place": true}, "t": {"texture": "b"}}})";
    const std::string music = R"({"music": {"song": {"file": "x.ogg", "volume": 50, "loopTo": 1200.5}}})";
    for (std::size_t cut = 0; cut <= sprites.size(); ++cut) {
        SCOPED_TRACE(cut);
        resetProgramState();
        loadAll(textures.substr(0, std::min(cut, textures.size())), sprites.substr(0, cut),
                music.substr(0, std::min(cut, music.size())));
        // A stored sprite is one the whole text describes, or one whose
        // properties were all complete when the text ended
        if (SpriteManager::has("s")) {
            const sf::Sprite& s = *SpriteManager::spriteStore.at("s");
            EXPECT_EQ(s.getTexture(), TextureManager::textureStore.at("a").get());
        }
        if (MusicManager::songs.count("song"))
            EXPECT_EQ(MusicManager::songs.at("song").file, "x.ogg");
    }
}

TEST_F(HostileInputs, DeepNestingDoesNotOverflowTheStack)
{
    const std::size_t depth = 100000;
    const std::string deepArray = std::string(depth, '[') + std::string(depth, ']');
    std::string deepObject;
    for (std::size_t i = 0; i < depth; ++i)
        deepObject += "{\"a\":";
    deepObject += "1" + std::string(depth, '}');
    for (const std::string& inside : {deepArray, deepObject}) {
        resetProgramState();
        const auto lines = loadAll("{\"textures\": " + inside + "}", "{\"sprites\": {\"k\": " + inside + "}}",
                                   "{\"music\": {\"k\": {\"file\": \"f\", \"volume\": " + inside + "}}}");
        EXPECT_TRUE(TextureManager::textureStore.empty());
        EXPECT_TRUE(SpriteManager::spriteStore.empty());
        EXPECT_TRUE(MusicManager::songs.empty());
        EXPECT_FALSE(lines.empty());
        // Unclosed, too
        loadEach("{\"textures\": " + inside.substr(0, depth));
    }
}

TEST_F(HostileInputs, OddBytesAndHugeValues)
{
    const std::string hugeKey(5 * 1024 * 1024, 'k');
    struct Case {
        const char* name;
        std::string text;
        std::size_t stored; // music entries stored
    };
    const Case cases[] = {
        {"five megabyte key", R"({"music": {")" + hugeKey + R"(": {"file": "a.ogg"}}})", 1},
        {"nul byte in the text", std::string("{\"music\": {\"a\": {\"file\": \"a\0b\"}}}", 32), 0},
        {"escaped nul in a path", R"({"music": {"a": {"file": "a\u0000b.ogg"}}})", 1},
        {"invalid utf-8", "{\"music\": {\"\xff\xfe\": {\"file\": \"a.ogg\"}}}", 0},
        {"byte-order mark", "\xEF\xBB\xBF{\"music\": {\"a\": {\"file\": \"a.ogg\"}}}", 1},
        {"number too large for a double", R"({"music": {"a": {"file": "a.ogg", "volume": 1e309}}})", 0},
        {"negative number too large", R"({"music": {"a": {"file": "a.ogg", "loopTo": -1e309}}})", 0},
        {"integer beyond 64 bits signed", R"({"music": {"a": {"file": "a.ogg", "volume": 9223372036854775808}}})", 0},
        {"integer beyond 64 bits", R"({"music": {"a": {"file": "a.ogg", "loopTo": 99999999999999999999999}}})", 0},
        {"control characters in a key", "{\"music\": {\"a\\n\\r\\u001b[31m\": {}}}", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetProgramState();
        const auto lines = loadEach(c.text);
        EXPECT_EQ(MusicManager::songs.size(), c.stored);
        for (const std::string& line : lines)
            EXPECT_LT(line.size(), hugeKey.size() + 200);
    }
}

TEST_F(HostileInputs, ConfigNeverThrows)
{
    const std::string texts[] = {
        std::string(100000, '[') + std::string(100000, ']'), "{\"fullscreen\": 1e309}", "\xEF\xBB\xBF{\"vsync\": false}",
        std::string("{\"vsync\"\0: false}", 17), "{\"fullscreen\": {\"fullscreen\": true}}", "{\"vsync\": \"false\"}",
    };
    for (const std::string& text : texts) {
        resetProgramState();
        dir.write("config.json", text);
        ScopedWorkingDir inside(dir.root());
        CaptureErrors errors;
        loadConfig();
        expectOwnLines(errors.lines());
        EXPECT_FALSE(Config::fullscreen);
    }
}

TEST_F(HostileInputs, BrokenAndHugeImagesAreRefused)
{
    // A real PNG cut short at several points
    sf::Image picture;
    picture.create(64, 64);
    for (unsigned y = 0; y < 64; ++y)
        for (unsigned x = 0; x < 64; ++x)
            picture.setPixel(x, y, sf::Color(x * 4, y * 4, (x * y) % 256));
    std::vector<sf::Uint8> png;
    ASSERT_TRUE(picture.saveToFile(dir.path("whole.png")));
    std::ifstream in(dir.path("whole.png"), std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A header that claims 50000 x 50000 pixels in a few kilobytes
    std::string huge("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xc3\x50\0\0\xc3\x50\x08\x06\0\0\0\0\0\0\0", 33);
    huge += std::string(4096, '\x11');
    const std::string hugeFile = dir.write("huge.png", huge);
    json textures = json::object();
    for (std::size_t cut : {std::size_t(8), std::size_t(33), whole.size() / 2, whole.size() - 13}) {
        const std::string file = dir.write("cut" + std::to_string(cut) + ".png", whole.substr(0, cut));
        textures["cut" + std::to_string(cut)] = {{"file", file}};
    }
    textures["huge"] = {{"file", hugeFile}};
    textures["whole"] = {{"file", dir.path("whole.png")}};
    CaptureErrors errors;
    TextureManager::loadEntries(json{{"textures", textures}});
    const auto lines = errors.lines();
    expectOwnLines(lines);
    // One line of ours for each refused picture
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("TextureManager: Unable to load file ", 0) == 0; }),
              5);
    EXPECT_EQ(TextureManager::textureStore.size(), 1u);
    EXPECT_TRUE(TextureManager::has("whole"));
}

TEST_F(HostileInputs, SongFileRemovedWhilePlaying)
{
    const std::string song = dir.path("song.wav");
    ASSERT_TRUE(writeTone(song, 3.f, 440.f));
    CaptureErrors errors;
    MusicManager::loadEntries(json{{"music", {{"song", {{"file", song}}}}}});
    MusicManager::play("song", true);
    ASSERT_NE(MusicManager::player, nullptr);
    std::remove(song.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Playing);
    // Playing it again now fails, in the audio library's line and ours, and
    // leaves the player silent
    MusicManager::play("song", true);
    expectLines(errors.lines(), {"Failed to open sound file \"" + song + "\" (couldn't open stream)",
                                 "MusicManager: Unable to load music file " + song + "."});
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Stopped);
}

// The audio library's WAV reader divides by zero on a sample table that
// comes before its format; the song is refused in our line alone
TEST_F(HostileInputs, SongWithSamplesBeforeTheirFormatIsRefused)
{
    auto little = [](std::uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xff);
        return out;
    };
    const std::string samples(400, '\x10');
    const std::string format = little(1, 2) + little(1, 2) + little(44100, 4) + little(88200, 4) + little(2, 2) + little(16, 2);
    const std::string chunks = "data" + little(400, 4) + samples + "fmt " + little(16, 4) + format;
    const std::string song = dir.write("first.wav", "RIFF" + little(4 + chunks.size(), 4) + "WAVE" + chunks);
    MusicManager::loadEntries(json{{"music", {{"song", {{"file", song}}}}}});
    CaptureErrors errors;
    MusicManager::play("song", true);
    expectLines(errors.lines(), {"MusicManager: Unable to load music file " + song + "."});
    ASSERT_NE(MusicManager::player, nullptr);
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Stopped);
}

} // namespace
