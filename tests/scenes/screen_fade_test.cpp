#include "scenes/screen_fade.h"
#include "support/test_support.h"

#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Texture.hpp>
#include <gtest/gtest.h>

namespace {

class ScreenFadeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(black.create(4, 4));
        sf::Image pixels;
        pixels.create(4, 4, sf::Color::Black);
        black.update(pixels);
        black.setRepeated(true);
        overlay.setTexture(black);
        overlay.setTextureRect(sf::IntRect(0, 0, 64, 32));
        ASSERT_TRUE(target.create(64, 32));
    }
    sf::Color drawOverWhite()
    {
        target.clear(sf::Color::White);
        ScreenFade::draw(target);
        target.display();
        return target.getTexture().copyToImage().getPixel(10, 10);
    }
    sf::Texture black;
    sf::Sprite overlay;
    sf::RenderTexture target;
};

TEST_F(ScreenFadeTest, FromBlackClearsAtItsSpeedAndEndsAtExactlyZero)
{
    ScreenFade::level = 1.f;
    ScreenFade::speed = 0.5f;
    ScreenFade::mode = FadeMode::FromBlack;
    int frames = 0;
    float previous = ScreenFade::level;
    while (ScreenFade::mode == FadeMode::FromBlack && frames < 1000) {
        ScreenFade::update(1.f / 60.f);
        ++frames;
        EXPECT_LT(ScreenFade::level, previous);
        previous = ScreenFade::level;
    }
    EXPECT_NEAR(frames, 120, 1);
    EXPECT_EQ(ScreenFade::level, 0.f);
    ScreenFade::update(1.f);
    EXPECT_EQ(ScreenFade::level, 0.f);
    EXPECT_EQ(ScreenFade::mode, FadeMode::None);
}

TEST_F(ScreenFadeTest, OneLongFrameEndsTheFade)
{
    ScreenFade::level = 1.f;
    ScreenFade::speed = 0.5f;
    ScreenFade::mode = FadeMode::FromBlack;
    ScreenFade::update(5.f);
    EXPECT_EQ(ScreenFade::level, 0.f);
    EXPECT_EQ(ScreenFade::mode, FadeMode::None);
}

TEST_F(ScreenFadeTest, NoneLeavesTheLevelAlone)
{
    ScreenFade::level = 0.75f;
    ScreenFade::speed = 0.5f;
    ScreenFade::update(1.f);
    EXPECT_EQ(ScreenFade::level, 0.75f);
}

TEST_F(ScreenFadeTest, DrawsAtTheLevelsTruncatedAlphaAndRestoresTheSprite)
{
    ScreenFade::overlay = &overlay;
    struct Case {
        float level;
        sf::Uint8 grey; // white under black at alpha level * 255, truncated
    };
    const Case cases[] = {{1.f, 0}, {0.5f, 128}, {0.f, 255}, {0.999f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        overlay.setColor(sf::Color(10, 20, 30, 77));
        ScreenFade::level = c.level;
        const sf::Color seen = drawOverWhite();
        EXPECT_EQ(seen.r, c.grey);
        EXPECT_EQ(overlay.getColor(), sf::Color(255, 255, 255, 77));
    }
}

TEST_F(ScreenFadeTest, NoOverlayDrawsNothing)
{
    ScreenFade::overlay = nullptr;
    ScreenFade::level = 1.f;
    EXPECT_EQ(drawOverWhite(), sf::Color::White);
}

} // namespace
