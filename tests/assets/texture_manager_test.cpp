#include "pictures/decode.h"
#include "pictures/limits.h"
#include "assets/texture_manager.h"
#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using nlohmann::json;

namespace {

class TextureCatalogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        ASSERT_TRUE(writeImage(red, 8, 4, sf::Color::Red));
        ASSERT_TRUE(writeImage(blue, 3, 5, sf::Color::Blue));
    }
    TempDir dir;
    const std::string red = dir.path("red.png");
    const std::string blue = dir.path("blue.png");
};

TEST_F(TextureCatalogue, LoadsEntriesWithTheirRepeatMode)
{
    CaptureErrors errors;
    EXPECT_TRUE(TextureManager::loadEntries(json{{"textures",
                                                  {{"plain", {{"file", red}}},
                                                   {"wrapped", {{"file", red}, {"repeated", true}}},
                                                   {"unwrapped", {{"file", blue}, {"repeated", false}, {"other", 1}}}}}}));
    expectLines(errors.lines(), {});
    ASSERT_EQ(TextureManager::textureStore.size(), 3u);
    EXPECT_FALSE(TextureManager::get("plain")->isRepeated());
    EXPECT_TRUE(TextureManager::get("wrapped")->isRepeated());
    EXPECT_FALSE(TextureManager::get("unwrapped")->isRepeated());
    EXPECT_EQ(TextureManager::get("plain")->getSize(), sf::Vector2u(8, 4));
    EXPECT_EQ(TextureManager::get("unwrapped")->getSize(), sf::Vector2u(3, 5));
    EXPECT_FALSE(TextureManager::get("plain")->isSmooth());
    // The whole image is loaded, pixels included
    const sf::Image pixels = TextureManager::get("unwrapped")->copyToImage();
    EXPECT_EQ(pixels.getPixel(2, 4), sf::Color::Blue);
}

TEST_F(TextureCatalogue, UnloadableImagesLeaveNoEntryAndDisturbNoOther)
{
    dir.write("folder.png/x", "");
    const std::string corrupt = dir.write("corrupt.png", "\x89PNG\r\n\x1a\n this is not an image");
    CaptureErrors errors;
    EXPECT_TRUE(TextureManager::loadEntries(json{{"textures",
                                                  {{"a", {{"file", red}}},
                                                   {"b", {{"file", dir.path("absent.png")}}},
                                                   {"c", {{"file", ""}}},
                                                   {"d", {{"file", dir.path("folder.png")}}},
                                                   {"e", {{"file", corrupt}}},
                                                   {"f", {{"file", blue}}}}}}));
    // A file that is not there keeps the media library's own line before
    // ours; damaged ones are refused before they reach it
    expectLines(errors.lines(), {"Failed to load image \"" + dir.path("absent.png") + "\". Reason: Unable to open file",
                                 "TextureManager: Unable to load file " + dir.path("absent.png") + ".",
                                 "Failed to load image \"\". Reason: Unable to open file",
                                 "TextureManager: Unable to load file .",
                                 "TextureManager: Unable to load file " + dir.path("folder.png") + ".",
                                 "TextureManager: Unable to load file " + corrupt + "."});
    EXPECT_TRUE(TextureManager::has("a"));
    EXPECT_TRUE(TextureManager::has("f"));
    EXPECT_EQ(TextureManager::textureStore.size(), 2u);
    CaptureErrors lookups;
    EXPECT_EQ(TextureManager::get("b"), nullptr);
    expectLines(lookups.lines(), {"TextureManager: Texture with key b does not exist."});
}

TEST_F(TextureCatalogue, ImageLargerThanTheGpuTakesIsRefusedFromItsHeader)
{
    // A grey PNG header that claims 20000 x 20000 pixels, with no pixel data
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += std::string("\0\0\0\x0dIHDR", 8);
    png += std::string("\0\0\x4e\x20\0\0\x4e\x20\x08\x00\x00\x00\x00", 13);
    png += std::string("\0\0\0\0", 4);
    const std::string huge = dir.write("huge.png", png);
    ASSERT_LT(sf::Texture::getMaximumSize(), 20000u);
    CaptureErrors errors;
    EXPECT_FALSE(TextureManager::add("huge", huge, false));
    expectLines(errors.lines(), {"TextureManager: Unable to load file " + huge + "."});
    EXPECT_FALSE(TextureManager::has("huge"));
}

// With uploads off (the check), every picture is still decoded in full:
// the same entries fail with the same lines, and the same keys are stored,
// each with its picture's size and no texture
TEST_F(TextureCatalogue, WithUploadsOffStoresTheSameKeysWithTheirSizesOnly)
{
    // A PNG cut short inside its pixel data: its header alone looks right
    sf::Image gradient;
    gradient.create(64, 64);
    for (unsigned y = 0; y < 64; ++y)
        for (unsigned x = 0; x < 64; ++x)
            gradient.setPixel(x, y, sf::Color(x * 4, y * 4, (x * y) % 256));
    ASSERT_TRUE(gradient.saveToFile(dir.path("whole.png")));
    std::ifstream whole(dir.path("whole.png"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    const std::string cut = dir.write("cut.png", bytes.substr(0, bytes.size() / 2));
    ASSERT_TRUE(readImageSize(cut).known);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += std::string("\0\0\0\x0dIHDR", 8);
    png += std::string("\0\0\x4e\x20\0\0\x4e\x20\x08\x00\x00\x00\x00", 13);
    png += std::string("\0\0\0\0", 4);
    const std::string huge = dir.write("huge.png", png);
    ASSERT_LT(pictureLimits.assumedMaximumSize, 20000u);
    const json document{{"textures",
                         {{"a", {{"file", red}, {"repeated", true}}},
                          {"b", {{"file", dir.path("absent.png")}}},
                          {"c", {{"file", cut}}},
                          {"d", {{"file", huge}}},
                          {"e", {{"file", 5}}},
                          {"f", {{"file", blue}}},
                          {"g", {{"repeated", true}}}}}};

    CaptureErrors uploaded;
    EXPECT_TRUE(TextureManager::loadEntries(document));
    std::vector<std::string> uploadedKeys;
    for (const auto& [key, texture] : TextureManager::textureStore)
        uploadedKeys.push_back(key);

    resetProgramState();
    TextureManager::uploads = false;
    CaptureErrors decoded;
    EXPECT_TRUE(TextureManager::loadEntries(document));
    expectLines(decoded.lines(), uploaded.lines());
    expectLines(decoded.lines(), {"Failed to load image \"" + dir.path("absent.png") + "\". Reason: Unable to open file",
                                  "TextureManager: Unable to load file " + dir.path("absent.png") + ".",
                                  "TextureManager: Unable to load file " + cut + ".",
                                  "TextureManager: Unable to load file " + huge + ".",
                                  "TextureManager: Invalid file property for [e]*",
                                  "TextureManager: Missing FILE property for [g]"});
    EXPECT_TRUE(TextureManager::textureStore.empty());
    std::vector<std::string> decodedKeys;
    for (const auto& [key, size] : TextureManager::pictureSizes)
        decodedKeys.push_back(key);
    std::sort(uploadedKeys.begin(), uploadedKeys.end());
    std::sort(decodedKeys.begin(), decodedKeys.end());
    EXPECT_EQ(decodedKeys, uploadedKeys);
    EXPECT_EQ(decodedKeys, (std::vector<std::string>{"a", "f"}));

    CaptureErrors lookups;
    EXPECT_TRUE(TextureManager::has("a"));
    EXPECT_EQ(TextureManager::get("a"), nullptr);
    const std::optional<TextureManager::Picture> a = TextureManager::picture("a");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->texture, nullptr);
    EXPECT_EQ(a->size, sf::Vector2u(8, 4));
    EXPECT_EQ(TextureManager::picture("f")->size, sf::Vector2u(3, 5));
    expectLines(lookups.lines(), {});
    EXPECT_FALSE(TextureManager::picture("b"));
    expectLines(lookups.lines(), {"TextureManager: Texture with key b does not exist."});
    // A key is still taken once
    EXPECT_FALSE(TextureManager::add("a", blue, false));
    EXPECT_EQ(TextureManager::picture("a")->size, sf::Vector2u(8, 4));
}

// Keys that name one file with one repeat mode share a texture, however the
// path is spelt; another repeat mode is another texture, and a file that
// fails fails for each key with its own line
TEST_F(TextureCatalogue, KeysOnTheSameFileAndRepeatModeShareOneTexture)
{
    const std::string corrupt = dir.write("corrupt.png", "\x89PNG\r\n\x1a\n this is not an image");
    const std::string redAgain = dir.path("sub/../red.png");
    dir.write("sub/x", "");
    const json document{{"textures",
                         {{"a", {{"file", red}}},
                          {"b", {{"file", redAgain}, {"repeated", false}}},
                          {"c", {{"file", red}, {"repeated", true}}},
                          {"d", {{"file", blue}}},
                          {"e", {{"file", corrupt}}},
                          {"f", {{"file", red}}},
                          {"g", {{"file", corrupt}}},
                          {"h", {{"file", red}, {"repeated", true}}}}}};
    CaptureErrors errors;
    EXPECT_TRUE(TextureManager::loadEntries(document));
    expectLines(errors.lines(), {"TextureManager: Unable to load file " + corrupt + ".",
                                 "TextureManager: Unable to load file " + corrupt + "."});
    ASSERT_EQ(TextureManager::textureStore.size(), 6u);
    const sf::Texture* plain = TextureManager::get("a");
    const sf::Texture* wrapped = TextureManager::get("c");
    EXPECT_EQ(TextureManager::get("b"), plain);
    EXPECT_EQ(TextureManager::get("f"), plain);
    EXPECT_EQ(TextureManager::get("h"), wrapped);
    EXPECT_NE(wrapped, plain);
    EXPECT_NE(TextureManager::get("d"), plain);
    EXPECT_FALSE(plain->isRepeated());
    EXPECT_TRUE(wrapped->isRepeated());
    EXPECT_EQ(wrapped->copyToImage().getPixel(7, 3), sf::Color::Red);

    // A second catalogue shares what the first loaded
    EXPECT_TRUE(TextureManager::loadEntries(json{{"textures", {{"later", {{"file", red}}}}}}));
    EXPECT_EQ(TextureManager::get("later"), plain);

    // Once the store has let the textures go, the file is loaded anew
    resetProgramState();
    EXPECT_TRUE(TextureManager::add("again", red, false));
    ASSERT_NE(TextureManager::get("again"), nullptr);
    EXPECT_EQ(TextureManager::get("again")->getSize(), sf::Vector2u(8, 4));
    EXPECT_EQ(TextureManager::textureStore.size(), 1u);
}

TEST_F(TextureCatalogue, AddKeepsTheFirstTextureOfAKey)
{
    CaptureErrors errors;
    ASSERT_TRUE(TextureManager::add("k", red, true));
    const sf::Texture* first = TextureManager::get("k");
    EXPECT_FALSE(TextureManager::add("k", blue, false));
    expectLines(errors.lines(), {"TextureManager: Texture with key k already exists."});
    EXPECT_EQ(TextureManager::get("k"), first);
    EXPECT_EQ(first->getSize(), sf::Vector2u(8, 4));
    EXPECT_TRUE(first->isRepeated());
}

TEST_F(TextureCatalogue, KeysAreExactByteStrings)
{
    CaptureErrors errors;
    ASSERT_TRUE(TextureManager::add("", red, false));
    ASSERT_TRUE(TextureManager::add("Title", red, false));
    ASSERT_TRUE(TextureManager::add("title", blue, false));
    EXPECT_NE(TextureManager::get("Title"), TextureManager::get("title"));
    EXPECT_NE(TextureManager::get(""), nullptr);
    EXPECT_FALSE(TextureManager::has("TITLE"));
    EXPECT_EQ(TextureManager::get("TITLE"), nullptr);
    expectLines(errors.lines(), {"TextureManager: Texture with key TITLE does not exist."});
}

TEST_F(TextureCatalogue, GetOnAnEmptyStoreReportsEachTime)
{
    resetProgramState();
    CaptureErrors errors;
    EXPECT_EQ(TextureManager::get("x"), nullptr);
    EXPECT_EQ(TextureManager::get("x"), nullptr);
    expectLines(errors.lines(), {"TextureManager: Texture with key x does not exist.",
                                 "TextureManager: Texture with key x does not exist."});
    EXPECT_TRUE(TextureManager::textureStore.empty());
}

TEST_F(TextureCatalogue, WrongTypesSkipTheEntryInOneLine)
{
    const json wrong[] = {nullptr, 1, 2.5, true, "text", json::array(), json::object()};
    for (const char* property : {"file", "repeated"}) {
        for (const json& value : wrong) {
            if ((std::string(property) == "file" && value.is_string()) ||
                (std::string(property) == "repeated" && value.is_boolean()))
                continue;
            SCOPED_TRACE(std::string(property) + " = " + value.dump());
            resetProgramState();
            json entry{{"file", red}};
            entry[property] = value;
            CaptureErrors errors;
            EXPECT_TRUE(TextureManager::loadEntries(json{{"textures", {{"bad", entry}, {"good", {{"file", red}}}}}}));
            expectLines(errors.lines(), {std::string("TextureManager: Invalid ") + property + " property for [bad]*"});
            EXPECT_FALSE(TextureManager::has("bad"));
            EXPECT_TRUE(TextureManager::has("good"));
        }
    }
}

} // namespace

namespace {

TEST(ImageHeader, ReadsTheSizeWithoutDecoding)
{
    TempDir dir;
    ASSERT_TRUE(writeImage(dir.path("small.png"), 101, 51, sf::Color::Green));
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += std::string("\0\0\0\x0dIHDR", 8);
    png += std::string("\0\0\x4e\x20\0\0\x4e\x21\x08\x00\x00\x00\x00", 13);
    png += std::string("\0\0\0\0", 4);
    const ImageSize small = readImageSize(dir.path("small.png"));
    const ImageSize huge = readImageSize(dir.write("huge.png", png));
    EXPECT_TRUE(small.known);
    EXPECT_EQ(small.width, 101u);
    EXPECT_EQ(small.height, 51u);
    EXPECT_TRUE(huge.known);
    EXPECT_EQ(huge.width, 20000u);
    EXPECT_EQ(huge.height, 20001u);
    // Too large for the decoder to say: the header still tells
    const std::string fiftyThousand("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xc3\x50\0\0\xc3\x50\x08\x06\0\0\0\0\0\0\0", 33);
    const ImageSize claimed = readImageSize(dir.write("claimed.png", fiftyThousand));
    EXPECT_TRUE(claimed.known);
    EXPECT_EQ(claimed.width, 50000u);
    EXPECT_EQ(claimed.height, 50000u);
    EXPECT_FALSE(readImageSize(dir.write("text.png", "hello")).known);
    EXPECT_FALSE(readImageSize(dir.path("absent.png")).known);
}

} // namespace
