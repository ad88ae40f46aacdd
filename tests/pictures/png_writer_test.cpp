#include "pictures/png_writer.h"

#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

// Rows written in bands of any height read back as the same pixels; a file
// left short of its rows, or never finished, is not left behind
TEST(PngWriter, BandsOfRowsReadBackAsThePicture)
{
    TempDir dir;
    const unsigned width = 37, height = 29;
    std::vector<std::uint8_t> pixels(width * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 7 % 251);
    for (unsigned band : {1u, 5u, height}) {
        SCOPED_TRACE("bands of " + std::to_string(band));
        const std::string path = dir.path("bands" + std::to_string(band) + ".png");
        PngWriter writer;
        ASSERT_TRUE(writer.open(path, width, height));
        for (unsigned row = 0; row < height; row += band)
            ASSERT_TRUE(writer.write(pixels.data() + row * width * 4, std::min(band, height - row)));
        ASSERT_TRUE(writer.finish());
        sf::Image image;
        ASSERT_TRUE(image.loadFromFile(path));
        ASSERT_EQ(image.getSize(), sf::Vector2u(width, height));
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), image.getPixelsPtr()));
    }

    const std::string shortPath = dir.path("short.png");
    {
        PngWriter writer;
        ASSERT_TRUE(writer.open(shortPath, width, height));
        ASSERT_TRUE(writer.write(pixels.data(), height - 1));
        EXPECT_FALSE(writer.write(pixels.data(), 2)) << "more rows than the picture has";
        EXPECT_FALSE(writer.finish());
    }
    EXPECT_FALSE(std::filesystem::exists(shortPath));
    {
        PngWriter writer;
        ASSERT_TRUE(writer.open(shortPath, width, height));
    }
    EXPECT_FALSE(std::filesystem::exists(shortPath));
    PngWriter nowhere;
    EXPECT_FALSE(nowhere.open(dir.path("no/such/folder/x.png"), width, height));
}

} // namespace
