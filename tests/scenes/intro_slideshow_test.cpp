#include "scenes/intro_slideshow.h"

#include "scenes/screen_fade.h"
#include "scenes/show.h"
#include "assets/music_manager.h"
#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <gtest/gtest.h>

using nlohmann::json;

namespace {

const char* const allKeys[] = {"title", "ov1", "ov2", "ov3", "ov4",  "ov5",  "ov6", "ov7",
                               "ov8",   "ov9", "ov10", "ov11", "ov12", "ov13", "end"};

// A small screen keeps the pixel comparisons fast
const unsigned screenW = 192, screenH = 108;

class Slideshow : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(target.create(screenW, screenH));
        ASSERT_TRUE(reference.create(screenW, screenH));
    }

    // Half-transparent pictures of different colours, sizes and places, so
    // that both blending and overlap show in the pixels
    void loadSlides(const std::vector<std::string>& skip = {})
    {
        json textures = json::object(), sprites = json::object();
        int n = 0;
        for (const char* key : allKeys) {
            ++n;
            if (std::find(skip.begin(), skip.end(), key) != skip.end())
                continue;
            const std::string file = dir.path(std::string(key) + ".png");
            sf::Image image;
            image.create(60 + 7 * n, 40 + 3 * n, sf::Color(37 * n % 256, 91 * n % 256, 53 * n % 256, 120 + 8 * n));
            image.setPixel(0, 0, sf::Color(255, 255, 255, 255));
            ASSERT_TRUE(image.saveToFile(file));
            textures[key] = {{"file", file}};
            sprites[key] = {{"texture", key}, {"originX", 2.5 * n}, {"originY", n}};
            if (n % 3 == 0)
                sprites[key]["autocenter"] = true;
        }
        CaptureErrors quiet;
        ASSERT_TRUE(TextureManager::loadEntries(json{{"textures", textures}}));
        ASSERT_TRUE(SpriteManager::loadEntries(json{{"sprites", sprites}}));
        // Spread the sprites over the small screen
        n = 0;
        for (const char* key : allKeys) {
            ++n;
            if (SpriteManager::has(key))
                SpriteManager::spriteStore.at(key)->setPosition(static_cast<float>(11 * n % 150), static_cast<float>(7 * n % 80));
        }
    }

    SceneResult step(float dt)
    {
        target.clear(sf::Color(0, 0, 0, 0));
        const SceneResult result = IntroSlideshow::advance(dt);
        IntroSlideshow::draw(target);
        target.display();
        return result;
    }

    // Draws every entry as the plain reading of the drawing step does
    sf::Image referencePicture()
    {
        reference.clear(sf::Color(0, 0, 0, 0));
        for (std::size_t i = 0; i < IntroSlideshow::slides.size(); ++i) {
            sf::Sprite* sprite = IntroSlideshow::slides[i];
            if (!sprite)
                continue;
            const auto a = static_cast<sf::Uint8>(static_cast<int>(IntroSlideshow::alphas[i] * 255.f));
            sprite->setColor(sf::Color(255, 255, 255, a));
            reference.draw(*sprite, sf::RenderStates::Default);
        }
        reference.display();
        return reference.getTexture().copyToImage();
    }

    void expectSamePicture()
    {
        // Remember the colours the scene left, since the reference sets them too
        std::vector<sf::Color> colours;
        for (sf::Sprite* sprite : IntroSlideshow::slides)
            colours.push_back(sprite ? sprite->getColor() : sf::Color());
        const sf::Image seen = target.getTexture().copyToImage();
        const sf::Image wanted = referencePicture();
        int different = 0;
        std::string first;
        for (unsigned y = 0; y < screenH; ++y)
            for (unsigned x = 0; x < screenW; ++x)
                if (seen.getPixel(x, y) != wanted.getPixel(x, y) && different++ == 0)
                    first = "the first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        EXPECT_EQ(different, 0) << "pixels that differ from drawing every entry; " << first;
        for (std::size_t i = 0; i < colours.size(); ++i)
            if (IntroSlideshow::slides[i])
                EXPECT_EQ(IntroSlideshow::slides[i]->getColor(), colours[i]) << "entry " << i;
    }

    TempDir dir;
    sf::RenderTexture target;
    sf::RenderTexture reference;
};

TEST_F(Slideshow, FirstCallSetsUpAndTakesTheFirstStep)
{
    loadSlides();
    CaptureErrors errors;
    EXPECT_EQ(step(0.02f), SceneContinue);
    expectLines(errors.lines(), {"MusicManager: Song with key song does not exist."});
    EXPECT_FALSE(IntroSlideshow::firstCall);
    EXPECT_EQ(ScreenFade::level, 1.f);
    EXPECT_EQ(ScreenFade::speed, 0.5f);
    EXPECT_EQ(ScreenFade::mode, FadeMode::FromBlack);
    // The built-in show, as the scene was set up with it
    const std::vector<ShowEntry>& entries = Show::current.entries;
    ASSERT_EQ(entries.size(), 20u);
    ASSERT_EQ(IntroSlideshow::slides.size(), 20u);
    ASSERT_EQ(IntroSlideshow::slideKeys.size(), 20u);
    ASSERT_EQ(IntroSlideshow::secondsPerEntry.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(IntroSlideshow::slideKeys[i], entries[i].spriteKey) << "entry " << i;
        EXPECT_EQ(IntroSlideshow::secondsPerEntry[i], 7.f) << "entry " << i;
        EXPECT_EQ(IntroSlideshow::slides[i], SpriteManager::spriteStore.at(entries[i].spriteKey).get()) << "entry " << i;
    }
    EXPECT_EQ(IntroSlideshow::songKey, "song");
    EXPECT_EQ(IntroSlideshow::alphas[0], 0.02f / 7.f);
    for (int i = 1; i < 20; ++i)
        EXPECT_EQ(IntroSlideshow::alphas[i], 0.f);
    EXPECT_EQ(IntroSlideshow::current, 0);
    EXPECT_EQ(IntroSlideshow::elapsed, 0.02f);
    EXPECT_TRUE(IntroSlideshow::active);
    // The second "title" entry, still at 0, set the shared sprite's colour last
    EXPECT_EQ(IntroSlideshow::slides[0]->getColor(), sf::Color(255, 255, 255, 0));
}

TEST_F(Slideshow, EntriesFadeInOneAfterAnotherAndTheLastEndsTheScene)
{
    loadSlides();
    CaptureErrors errors;
    // 1/8 s frames: 56 frames to an entry; in single precision the 56
    // steps of 1/56 add up to just below 1, which is drawn as 254
    int calls = 0;
    SceneResult result = SceneContinue;
    while (result == SceneContinue && calls < 2000) {
        result = step(0.125f);
        ++calls;
        if (calls == 28) {
            EXPECT_EQ(IntroSlideshow::current, 0);
            EXPECT_FLOAT_EQ(IntroSlideshow::alphas[0], 0.5f);
        }
        if (calls == 56 + 28) {
            EXPECT_EQ(IntroSlideshow::current, 1);
            EXPECT_LT(IntroSlideshow::alphas[0], 1.f);
            EXPECT_GT(IntroSlideshow::alphas[0], 0.99999f);
            EXPECT_FLOAT_EQ(IntroSlideshow::alphas[1], 0.5f);
            EXPECT_EQ(IntroSlideshow::elapsed, 3.5f);
        }
    }
    EXPECT_EQ(result, SceneQuit);
    EXPECT_EQ(calls, 20 * 56);
    EXPECT_FALSE(IntroSlideshow::active);
    EXPECT_EQ(IntroSlideshow::current, 20);
    for (float alpha : IntroSlideshow::alphas)
        EXPECT_EQ(static_cast<int>(alpha * 255.f), 254);
    EXPECT_EQ(SpriteManager::spriteStore.at("end")->getColor(), sf::Color(255, 255, 255, 254));
    // Once finished, the scene only draws and returns 0
    EXPECT_EQ(step(0.125f), SceneContinue);
    EXPECT_EQ(IntroSlideshow::current, 20);
    expectSamePicture();
}

TEST_F(Slideshow, ALongFrameAdvancesExactlyOneEntry)
{
    loadSlides();
    CaptureErrors errors;
    EXPECT_EQ(step(0.5f), SceneContinue);
    EXPECT_EQ(step(30.f), SceneContinue);
    EXPECT_EQ(IntroSlideshow::current, 1);
    EXPECT_EQ(IntroSlideshow::elapsed, 0.f);
    EXPECT_EQ(IntroSlideshow::alphas[0], 1.f);
    EXPECT_EQ(IntroSlideshow::alphas[1], 0.f);
    expectSamePicture();
}

TEST_F(Slideshow, OpacityIsTruncatedToAnAlpha)
{
    loadSlides();
    CaptureErrors errors;
    step(7.f);
    step(7.f);
    step(3.5f); // the first ov1 entry reaches 0.5
    EXPECT_EQ(IntroSlideshow::current, 2);
    EXPECT_EQ(IntroSlideshow::alphas[2], 0.5f);
    EXPECT_EQ(SpriteManager::spriteStore.at("ov1")->getColor(), sf::Color(255, 255, 255, 127));
    // Title: both entries done, so its colour is that of the second
    EXPECT_EQ(SpriteManager::spriteStore.at("title")->getColor(), sf::Color(255, 255, 255, 255));
    expectSamePicture();
}

TEST_F(Slideshow, SharedSpritesKeepTheirLastEntrysColour)
{
    loadSlides();
    CaptureErrors errors;
    for (int i = 0; i < 15; ++i)
        step(7.f);
    step(3.5f); // the first "end" entry at 0.5, the four after it at 0
    EXPECT_EQ(IntroSlideshow::current, 15);
    EXPECT_EQ(SpriteManager::spriteStore.at("end")->getColor(), sf::Color(255, 255, 255, 0));
    expectSamePicture();
    for (int i = 0; i < 4; ++i)
        step(7.f);
    step(7.f * 0.25f); // the last "end" entry at a quarter
    EXPECT_EQ(IntroSlideshow::current, 19);
    EXPECT_EQ(SpriteManager::spriteStore.at("end")->getColor(), sf::Color(255, 255, 255, 63));
    expectSamePicture();
}

TEST_F(Slideshow, PictureMatchesDrawingEveryEntryAtEveryKindOfMoment)
{
    loadSlides();
    CaptureErrors errors;
    // First frame, mid-entry, an entry's end, across several entries and
    // the call that ends the last, with uneven frame times
    const float frames[] = {0.016f, 1.3f, 2.f, 3.7f, 0.033f, 6.9f, 0.2f, 7.5f, 0.9f, 4.4f, 4.4f};
    for (float dt : frames) {
        SCOPED_TRACE(dt);
        step(dt);
        expectSamePicture();
    }
    SceneResult result = SceneContinue;
    for (int i = 0; i < 200 && result == SceneContinue; ++i) {
        result = step(3.1f);
        expectSamePicture();
    }
    EXPECT_EQ(result, SceneQuit);
    step(0.016f);
    expectSamePicture();
}

TEST_F(Slideshow, PictureFollowsAViewThatChangesMidShow)
{
    loadSlides();
    CaptureErrors errors;
    for (int i = 0; i < 4; ++i)
        step(3.6f); // two entries finished, the third under way
    expectSamePicture();
    // The finished entries were composed for the old view; they must move too
    for (sf::RenderTexture* picture : {&target, &reference}) {
        sf::View moved = picture->getDefaultView();
        moved.move(23.f, -9.f);
        picture->setView(moved);
    }
    for (int i = 0; i < 3; ++i) {
        step(3.6f);
        expectSamePicture();
    }
}

// A letterboxing view puts the picture in part of the target; the finished
// entries must land there too, not be moved by the viewport a second time
TEST_F(Slideshow, PictureKeepsToTheViewsViewport)
{
    loadSlides();
    CaptureErrors errors;
    for (sf::RenderTexture* picture : {&target, &reference}) {
        // NOTE: shifted by a quarter pixel, so that no sprite edge (they lie
        // on half pixels) falls on a pixel's centre, where rounding decides
        sf::View letterbox(sf::FloatRect(0.25f, 0.25f, screenW / 2.f, screenH / 2.f));
        letterbox.setViewport(sf::FloatRect(0.25f, 0.5f, 0.5f, 0.5f));
        picture->setView(letterbox);
    }
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        step(3.6f); // an entry finishes every other frame
        expectSamePicture();
    }
}

TEST_F(Slideshow, MissingSlideKeepsItsTimeAndDrawsNothing)
{
    loadSlides({"ov5", "end"});
    CaptureErrors errors;
    step(0.1f);
    expectLines(errors.lines(), {"MusicManager: Song with key song does not exist.",
                                 "SpriteManager: Sprite with key ov5 does not exist.",
                                 "SpriteManager: Sprite with key end does not exist.",
                                 "SpriteManager: Sprite with key end does not exist.",
                                 "SpriteManager: Sprite with key end does not exist.",
                                 "SpriteManager: Sprite with key end does not exist.",
                                 "SpriteManager: Sprite with key end does not exist."});
    EXPECT_EQ(IntroSlideshow::slides[6], nullptr);
    int calls = 1;
    SceneResult result = SceneContinue;
    for (; result == SceneContinue && calls < 100; ++calls) {
        result = step(7.f);
        expectSamePicture();
    }
    EXPECT_EQ(result, SceneQuit);
    EXPECT_EQ(calls, 21); // the first short call, then twenty of seven seconds
}

// Each entry takes its own seconds, and the song and the fade are the show's
TEST_F(Slideshow, PlaysTheShowItIsGiven)
{
    loadSlides();
    Show::current.entries = {{"ov2", 0.5f}, {"ov9", 2.f}, {"ov2", 0.25f}, {"end", 1.f}};
    Show::current.songKey = "tune";
    Show::current.fadeSeconds = 4.f;
    CaptureErrors errors;
    EXPECT_EQ(step(0.125f), SceneContinue);
    expectLines(errors.lines(), {"MusicManager: Song with key tune does not exist."});
    EXPECT_EQ(ScreenFade::level, 1.f);
    EXPECT_EQ(ScreenFade::speed, 0.25f);
    EXPECT_EQ(ScreenFade::mode, FadeMode::FromBlack);
    ASSERT_EQ(IntroSlideshow::slides.size(), 4u);
    EXPECT_EQ(IntroSlideshow::slides[0], SpriteManager::spriteStore.at("ov2").get());
    EXPECT_EQ(IntroSlideshow::slides[1], SpriteManager::spriteStore.at("ov9").get());
    EXPECT_EQ(IntroSlideshow::slides[3], SpriteManager::spriteStore.at("end").get());
    EXPECT_EQ(IntroSlideshow::alphas[0], 0.25f);

    // Which entry is under way after each step of 1/8 s, and the quit on the
    // step that ends the last: 4 steps, 16, 2 and 8
    struct Moment {
        int steps;
        std::int32_t current;
        float alphaOfPrevious;
    };
    const Moment moments[] = {{3, 1, 1.f}, {16, 2, 1.f}, {2, 3, 1.f}};
    for (const Moment& m : moments) {
        for (int i = 0; i < m.steps; ++i)
            EXPECT_EQ(step(0.125f), SceneContinue);
        EXPECT_EQ(IntroSlideshow::current, m.current);
        EXPECT_EQ(IntroSlideshow::elapsed, 0.f);
        EXPECT_EQ(IntroSlideshow::alphas[m.current - 1], m.alphaOfPrevious);
        EXPECT_EQ(IntroSlideshow::alphas[m.current], 0.f);
        expectSamePicture();
    }
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(step(0.125f), SceneContinue);
    EXPECT_EQ(step(0.125f), SceneQuit);
    EXPECT_FALSE(IntroSlideshow::active);
    EXPECT_EQ(IntroSlideshow::current, 4);
}

TEST_F(Slideshow, AShowOfNoEntriesEndsOnItsFirstCall)
{
    loadSlides();
    Show::current.entries.clear();
    Show::current.fadeSeconds = 0.f;
    CaptureErrors errors;
    EXPECT_EQ(step(0.125f), SceneQuit);
    EXPECT_FALSE(IntroSlideshow::active);
    EXPECT_TRUE(IntroSlideshow::slides.empty());
    // Without a fade the picture starts clear
    EXPECT_EQ(ScreenFade::level, 0.f);
    EXPECT_EQ(ScreenFade::mode, FadeMode::None);
    EXPECT_EQ(step(0.125f), SceneContinue);
}

TEST_F(Slideshow, PlaysTheSongOnceOnTheFirstCall)
{
    loadSlides();
    TempDir sounds;
    ASSERT_TRUE(writeTone(sounds.path("song.wav"), 2.f, 440.f));
    CaptureErrors quiet;
    ASSERT_TRUE(MusicManager::loadEntries(json{{"music", {{"song", {{"file", sounds.path("song.wav")}, {"volume", 30}}}}}}));
    step(0.1f);
    ASSERT_NE(MusicManager::player, nullptr);
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Playing);
    EXPECT_TRUE(MusicManager::player->getLoop());
    EXPECT_FLOAT_EQ(MusicManager::player->getVolume(), 30.f);
    MusicManager::player->stop();
    step(0.1f);
    EXPECT_EQ(MusicManager::player->getStatus(), sf::Music::Stopped);
}

} // namespace
