// The show with its pictures loaded on demand: the same frames as with every
// picture decoded at start, while the pictures held stay few however long
// the show, each decoded when its entry first shows and let go once it is
// composed into the finished picture and no later entry uses it.

#include "scenes/intro_slideshow.h"

#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <gtest/gtest.h>

#include <fstream>
#include <set>

using nlohmann::json;

namespace {

const unsigned screenW = 192, screenH = 108;
const int pictureCount = 24;

class PicturesOnDemand : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(target.create(screenW, screenH));
        // Half-transparent pictures of different colours and sizes, so that
        // every earlier entry shows through in the pixels
        for (int n = 1; n <= pictureCount; ++n) {
            sf::Image image;
            image.create(40 + 5 * n, 30 + 2 * n, sf::Color(37 * n % 256, 91 * n % 256, 53 * n % 256, 90 + 5 * n));
            image.setPixel(0, 0, sf::Color(255, 255, 255, 255));
            ASSERT_TRUE(image.saveToFile(dir.path("p" + std::to_string(n) + ".png")));
        }
    }

    // The catalogues of every picture, and the show given, loaded with
    // pictures on demand or not
    void load(const std::vector<ShowEntry>& entries, bool onDemand)
    {
        resetProgramState();
        json textures = json::object(), sprites = json::object();
        for (int n = 1; n <= pictureCount; ++n) {
            const std::string key = "p" + std::to_string(n);
            textures[key] = {{"file", dir.path(key + ".png")}};
            sprites[key] = {{"texture", key}, {"x", 7 * n % 150}, {"y", 5 * n % 80}};
        }
        CaptureErrors quiet;
        TextureManager::onDemand = onDemand;
        ASSERT_TRUE(TextureManager::loadEntries(json{{"textures", textures}}));
        ASSERT_TRUE(SpriteManager::loadEntries(json{{"sprites", sprites}}));
        Show::current.entries = entries;
        Show::current.fadeSeconds = 0.f;
        Show::current.songKey = "";
    }

    sf::Image step(float dt)
    {
        target.clear(sf::Color(0, 0, 0, 0));
        IntroSlideshow::advance(dt);
        IntroSlideshow::draw(target);
        target.display();
        return target.getTexture().copyToImage();
    }

    static int differentPixels(const sf::Image& a, const sf::Image& b)
    {
        int different = 0;
        for (unsigned y = 0; y < screenH; ++y)
            for (unsigned x = 0; x < screenW; ++x)
                different += a.getPixel(x, y) != b.getPixel(x, y);
        return different;
    }

    const sf::Texture* textureOf(const std::string& key) { return TextureManager::get(key); }

    TempDir dir;
    sf::RenderTexture target;
};

// The lines of the pictures' store: the show's song is left out on purpose
std::vector<std::string> pictureLines(const CaptureErrors& errors)
{
    std::vector<std::string> lines;
    for (const std::string& line : errors.lines())
        if (line.rfind("TextureManager", 0) == 0)
            lines.push_back(line);
    return lines;
}

std::vector<ShowEntry> distinctEntries(int count, float seconds)
{
    std::vector<ShowEntry> entries;
    for (int n = 1; n <= count; ++n)
        entries.push_back({"p" + std::to_string(n), seconds});
    return entries;
}

TEST_F(PicturesOnDemand, SameFramesAsEveryPictureAtStartWithFewHeld)
{
    // Repeats, near and far apart, among distinct pictures
    std::vector<ShowEntry> entries = distinctEntries(pictureCount, 1.f);
    entries.insert(entries.begin() + 3, {"p1", 1.f});
    entries.insert(entries.begin() + 10, {"p2", 0.5f});
    entries.push_back({"p5", 2.f});
    const float frames[] = {0.016f, 0.3f, 0.7f, 1.f, 0.05f, 2.2f, 0.4f, 0.9f};
    const int steps = 120;
    auto frameTime = [&](int i) { return frames[i % (sizeof frames / sizeof frames[0])]; };

    load(entries, false);
    std::vector<sf::Image> wanted;
    for (int i = 0; i < steps; ++i)
        wanted.push_back(step(frameTime(i)));
    EXPECT_EQ(TextureManager::picturesDecoded(), static_cast<std::size_t>(pictureCount));

    load(entries, true);
    EXPECT_EQ(TextureManager::picturesHeld(), 0u) << "a picture decoded before the show drew it";
    std::size_t mostHeld = 0;
    for (int i = 0; i < steps; ++i) {
        SCOPED_TRACE("step " + std::to_string(i) + ", entry " + std::to_string(IntroSlideshow::current));
        EXPECT_EQ(differentPixels(step(frameTime(i)), wanted[static_cast<std::size_t>(i)]), 0);
        mostHeld = std::max(mostHeld, TextureManager::picturesHeld());
    }
    // The entry fading in, the next one uploaded ahead, and p1 or p5 kept for
    // their later entries
    EXPECT_LE(mostHeld, 4u);
    // Each picture decoded once: none was let go while a later entry used it
    EXPECT_EQ(TextureManager::picturesDecoded(), static_cast<std::size_t>(pictureCount));
}

TEST_F(PicturesOnDemand, APictureStaysWhileALaterEntryUsesItAndGoesAfter)
{
    load({{"p1", 1.f}, {"p2", 1.f}, {"p3", 1.f}, {"p1", 1.f}, {"p4", 1.f}, {"p5", 1.f}}, true);
    IntroSlideshow::decodesAhead = false;
    CaptureErrors errors;
    // After each half second: an entry's first step leaves it clear, so it
    // is not drawn yet
    const std::set<std::string> held[] = {
        {"p1"},       // the first entry fades in
        {"p1"},       // p1 composed, but the fourth entry shows it again
        {"p1", "p2"}, // the second fades in
        {"p1"},       // p2 composed and let go
        {"p1", "p3"},
        {"p1"},
        {"p1"},       // p1 fades in over itself
        {},           // its last entry composed: let go
        {"p4"},
        {},
        {"p5"},
    };
    for (const std::set<std::string>& wanted : held) {
        step(0.5f);
        std::set<std::string> seen;
        for (int n = 1; n <= 5; ++n)
            if (textureOf("p" + std::to_string(n))->getSize().x > 0)
                seen.insert("p" + std::to_string(n));
        EXPECT_EQ(seen, wanted) << "at entry " << IntroSlideshow::current;
    }
    EXPECT_EQ(TextureManager::picturesDecoded(), 5u);
    EXPECT_TRUE(pictureLines(errors).empty()) << errors.text();
}

// --frame: a moment reached without drawing decodes only what that frame shows
TEST_F(PicturesOnDemand, OneFrameDecodesOnlyThePicturesItShows)
{
    load(distinctEntries(pictureCount, 7.f), true);
    IntroSlideshow::decodesAhead = false;
    const int frames = 60 * 7 * 3 + 30; // halfway into the fourth second of the fourth entry
    for (int i = 0; i < frames; ++i)
        IntroSlideshow::advance(1.f / 60.f);
    EXPECT_EQ(TextureManager::picturesDecoded(), 0u);
    step(1.f / 60.f);
    EXPECT_EQ(IntroSlideshow::current, 3);
    EXPECT_EQ(TextureManager::picturesDecoded(), 4u);
    EXPECT_EQ(TextureManager::picturesHeld(), 1u);
    for (int n = 1; n <= pictureCount; ++n)
        EXPECT_EQ(textureOf("p" + std::to_string(n))->getSize().x > 0, n == 4) << "p" << n;
}

// A picture damaged in its pixels says so when its entry first shows, once,
// and draws nothing, as a picture that failed at start does
TEST_F(PicturesOnDemand, APictureDamagedInItsPixelsSaysSoWhenItsTurnComes)
{
    {
        // The header of a sound picture, then no pixel data
        std::ifstream sound(dir.path("p3.png"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(sound)), std::istreambuf_iterator<char>());
        std::ofstream(dir.path("p3.png"), std::ios::binary) << bytes.substr(0, 40);
    }
    load(distinctEntries(4, 1.f), true);
    IntroSlideshow::decodesAhead = false;
    CaptureErrors errors;
    sf::Image before;
    for (int i = 0; i < 4; ++i)
        before = step(0.5f);
    EXPECT_EQ(IntroSlideshow::current, 2);
    EXPECT_TRUE(pictureLines(errors).empty()) << errors.text();
    EXPECT_EQ(differentPixels(before, step(0.25f)), 0) << "the damaged picture drew something";
    expectLines(pictureLines(errors), {"TextureManager: Unable to load file " + dir.path("p3.png") + "."});
    for (int i = 0; i < 3; ++i)
        step(0.5f);
    EXPECT_EQ(IntroSlideshow::current, 3);
    EXPECT_EQ(pictureLines(errors).size(), 1u);
}

// The contact sheet knows ahead which frame ends the show
TEST_F(PicturesOnDemand, FramesToQuitIsTheCallThatEndsTheShow)
{
    const std::vector<std::vector<ShowEntry>> shows = {
        {{"p1", 7.f}, {"p2", 7.f}},
        {{"p1", 0.5f}, {"p2", 1.f / 3.f}, {"p3", 0.01f}, {"p4", 2.25f}},
        {{"p1", 0.1f}},
        {},
    };
    for (const auto& entries : shows) {
        load(entries, true);
        const float dt = 1.f / 60.f;
        std::int64_t calls = 1;
        while (IntroSlideshow::advance(dt) != SceneQuit)
            ++calls;
        EXPECT_EQ(IntroSlideshow::framesToQuit(Show::current, dt, 100000), calls) << entries.size() << " entries";
        EXPECT_EQ(IntroSlideshow::framesToQuit(Show::current, dt, calls - 1), calls);
        EXPECT_EQ(IntroSlideshow::framesToQuit(Show::current, dt, 3), std::min<std::int64_t>(calls, 4));
    }
}

} // namespace
