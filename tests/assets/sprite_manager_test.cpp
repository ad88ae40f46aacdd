#include "assets/sprite_manager.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using nlohmann::json;

namespace {

class SpriteCatalogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(writeImage(dir.path("wide.png"), 200, 100, sf::Color::Red));
        ASSERT_TRUE(writeImage(dir.path("odd.png"), 101, 51, sf::Color::Blue));
        ASSERT_TRUE(TextureManager::add("wide", dir.path("wide.png"), false));
        ASSERT_TRUE(TextureManager::add("odd", dir.path("odd.png"), false));
    }
    TempDir dir;
};

struct Geometry {
    sf::IntRect rect;
    sf::Vector2f origin;
    sf::Vector2f position;
};

struct BuildCase {
    const char* name;
    json entry;
    Geometry expected;
};

// On the textures "wide" (200 by 100) and "odd" (101 by 51)
const std::vector<BuildCase>& buildCases()
{
    static const std::vector<BuildCase> cases = {
        {"only texture", {{"texture", "wide"}}, {{0, 0, 200, 100}, {0, 0}, {0, 0}}},
        {"explicit -1 is the full size", {{"texture", "wide"}, {"rectW", -1}, {"rectH", -1}}, {{0, 0, 200, 100}, {0, 0}, {0, 0}}},
        {"other negatives stay", {{"texture", "wide"}, {"rectW", -2}, {"rectH", -5}}, {{0, 0, -2, -5}, {0, 0}, {0, 0}}},
        {"offset rect is not shortened", {{"texture", "wide"}, {"rectX", 10}, {"rectY", 20}}, {{10, 20, 200, 100}, {0, 0}, {0, 0}}},
        {"full rect given", {{"texture", "wide"}, {"rectX", 1}, {"rectY", 2}, {"rectW", 3}, {"rectH", 4}}, {{1, 2, 3, 4}, {0, 0}, {0, 0}}},
        {"fractions", {{"texture", "wide"}, {"originX", 10.5}, {"originY", -0.25}, {"rectX", 10.7}, {"rectY", -3.7}},
         {{10, -3, 200, 100}, {10.5f, -0.25f}, {0, 0}}},
        {"booleans count as 1 and 0", {{"texture", "wide"}, {"originX", true}, {"originY", false}, {"rectX", true}, {"rectW", false}},
         {{1, 0, 0, 100}, {1, 0}, {0, 0}}},
        {"autocenter replaces rect and origin",
         {{"texture", "odd"}, {"autocenter", true}, {"originX", 7}, {"rectX", 3}, {"rectW", 9}},
         {{0, 0, 101, 51}, {50, 25}, {0, 0}}},
        {"autocenter_place alone puts the origin at the centre", {{"texture", "odd"}, {"autocenter_place", true}},
         {{0, 0, 101, 51}, {0, 0}, {960, 540}}},
        {"both centre the picture", {{"texture", "odd"}, {"autocenter", true}, {"autocenter_place", true}},
         {{0, 0, 101, 51}, {50, 25}, {960, 540}}},
        {"place false", {{"texture", "odd"}, {"autocenter_place", false}, {"autocenter", false}}, {{0, 0, 101, 51}, {0, 0}, {0, 0}}},
        // Members that are no property, sorted before, between and after the
        // real ones, and names that only begin like one
        {"other members are ignored wherever they sort",
         {{"!", 1}, {"Texture", "odd"}, {"autocenter_", true}, {"origin", 1}, {"originX", 4}, {"originXY", 9},
          {"originY", 5}, {"rect", 1}, {"rectH", 6}, {"rectHW", 7}, {"rectW", 8}, {"rectX", 1}, {"rectY", 2},
          {"tex", "odd"}, {"texture", "wide"}, {"textures", "odd"}, {"zz", 1}, {"\xc3\xa9", 1}},
         {{1, 2, 8, 6}, {4, 5}, {0, 0}}},
    };
    return cases;
}

TEST_F(SpriteCatalogue, BuildsEachSpriteFromItsEntry)
{
    for (const BuildCase& c : buildCases()) {
        SCOPED_TRACE(c.name);
        SpriteManager::spriteStore.clear();
        CaptureErrors errors;
        EXPECT_TRUE(SpriteManager::loadEntries(json{{"sprites", {{"s", c.entry}}}}));
        expectLines(errors.lines(), {});
        const sf::Sprite* sprite = SpriteManager::get("s");
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite->getTexture(), TextureManager::get(c.entry["texture"].get<std::string>()));
        EXPECT_EQ(sprite->getTextureRect(), c.expected.rect);
        EXPECT_EQ(sprite->getOrigin(), c.expected.origin);
        EXPECT_EQ(sprite->getPosition(), c.expected.position);
        EXPECT_EQ(sprite->getColor(), sf::Color::White);
        EXPECT_EQ(sprite->getScale(), sf::Vector2f(1, 1));
        EXPECT_EQ(sprite->getRotation(), 0.f);
    }
}

// The check loads pictures without making textures: each sprite must still
// get the rectangle, origin and place that the picture's size gives
TEST_F(SpriteCatalogue, OnPicturesOnlyDecodedGetsTheSameGeometryAndNoTexture)
{
    resetProgramState();
    TextureManager::uploads = false;
    ASSERT_TRUE(TextureManager::add("wide", dir.path("wide.png"), false));
    ASSERT_TRUE(TextureManager::add("odd", dir.path("odd.png"), false));
    ASSERT_TRUE(TextureManager::textureStore.empty());
    for (const BuildCase& c : buildCases()) {
        SCOPED_TRACE(c.name);
        SpriteManager::spriteStore.clear();
        CaptureErrors errors;
        EXPECT_TRUE(SpriteManager::loadEntries(json{{"sprites", {{"s", c.entry}}}}));
        expectLines(errors.lines(), {});
        const sf::Sprite* sprite = SpriteManager::get("s");
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite->getTexture(), nullptr);
        EXPECT_EQ(sprite->getTextureRect(), c.expected.rect);
        EXPECT_EQ(sprite->getOrigin(), c.expected.origin);
        EXPECT_EQ(sprite->getPosition(), c.expected.position);
    }
    // A texture key that is not stored is reported as when uploading
    CaptureErrors errors;
    EXPECT_TRUE(SpriteManager::loadEntries(json{{"sprites", {{"n", {{"texture", "nope"}}}}}}));
    expectLines(errors.lines(), {"TextureManager: Texture with key nope does not exist."});
    EXPECT_FALSE(SpriteManager::has("n"));
}

TEST_F(SpriteCatalogue, MissingTextureSkipsTheEntry)
{
    CaptureErrors errors;
    EXPECT_TRUE(SpriteManager::loadEntries(
        json{{"sprites", {{"a", {{"texture", "nope"}}}, {"b", {{"texture", "wide"}}}, {"c", {{"rectX", 1}}}}}}));
    expectLines(errors.lines(), {"TextureManager: Texture with key nope does not exist.",
                                 "SpriteManager: Missing TEXTURE property for [c]"});
    EXPECT_FALSE(SpriteManager::has("a"));
    EXPECT_TRUE(SpriteManager::has("b"));
    EXPECT_EQ(SpriteManager::spriteStore.size(), 1u);
}

TEST_F(SpriteCatalogue, SecondLoadKeepsTheFirstSprite)
{
    const std::string first = dir.write("first.json", R"({"sprites": {"s": {"texture": "wide"}}})");
    const std::string second = dir.write("second.json", R"({"sprites": {"s": {"texture": "odd", "rectX": 5}, "t": {"texture": "odd"}}})");
    CaptureErrors errors;
    ASSERT_TRUE(SpriteManager::load(first));
    sf::Sprite* held = SpriteManager::get("s");
    EXPECT_TRUE(SpriteManager::load(second));
    expectLines(errors.lines(), {"SpriteManager: Sprite with key s already exists."});
    EXPECT_EQ(SpriteManager::get("s"), held);
    EXPECT_EQ(held->getTexture(), TextureManager::get("wide"));
    EXPECT_EQ(held->getTextureRect(), sf::IntRect(0, 0, 200, 100));
    EXPECT_TRUE(SpriteManager::has("t"));
}

TEST_F(SpriteCatalogue, LookupsShareOneObjectAndNeverAdd)
{
    ASSERT_TRUE(SpriteManager::loadEntries(json{{"sprites", {{"Title", {{"texture", "wide"}}}}}}));
    sf::Sprite* one = SpriteManager::get("Title");
    one->setColor(sf::Color(255, 255, 255, 10));
    EXPECT_EQ(SpriteManager::get("Title"), one);
    EXPECT_EQ(SpriteManager::get("Title")->getColor().a, 10);
    CaptureErrors errors;
    EXPECT_EQ(SpriteManager::get("title"), nullptr);
    EXPECT_EQ(SpriteManager::get("title"), nullptr);
    expectLines(errors.lines(), {"SpriteManager: Sprite with key title does not exist.",
                                 "SpriteManager: Sprite with key title does not exist."});
    EXPECT_EQ(SpriteManager::spriteStore.size(), 1u);
}

TEST_F(SpriteCatalogue, WrongTypesAndRangesSkipTheEntryInOneLine)
{
    struct Case {
        const char* property;
        json value;
    };
    const Case cases[] = {
        {"texture", 5},        {"texture", nullptr},     {"texture", json::array({"wide"})},
        {"originX", "1"},      {"originY", nullptr},     {"originX", json::object()}, {"originY", 1e39},
        {"rectX", "10"},       {"rectY", nullptr},       {"rectW", json::array()},    {"rectH", 2147483648.0},
        {"rectX", -3e9},       {"rectW", 9223372036854775807LL},
        {"autocenter", 1},     {"autocenter", "true"},   {"autocenter_place", nullptr}, {"autocenter_place", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.property) + " = " + c.value.dump());
        SpriteManager::spriteStore.clear();
        json entry{{"texture", "wide"}};
        entry[c.property] = c.value;
        CaptureErrors errors;
        EXPECT_TRUE(SpriteManager::loadEntries(json{{"sprites", {{"bad", entry}, {"good", {{"texture", "odd"}}}}}}));
        expectLines(errors.lines(), {std::string("SpriteManager: Invalid ") + c.property + " property for [bad]*"});
        EXPECT_FALSE(SpriteManager::has("bad"));
        EXPECT_TRUE(SpriteManager::has("good"));
    }
}

} // namespace
