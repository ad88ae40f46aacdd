#include "assets/texture_manager.h"
#include "assets/texture_prefetch.h"
#include "support/picture_opens.h"
#include "support/test_support.h"

#include <SFML/Graphics/Image.hpp>
#include <SFML/System/Err.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <new>
#include <stdexcept>
#include <thread>
#include <tuple>

using nlohmann::json;

// Whether this build may stand in for pthread_create: ThreadSanitizer keeps
// its own, and a stand-in would hide every thread from it
#if defined(__SANITIZE_THREAD__)
#define ORVALEN_FAILING_THREAD_STARTS 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVALEN_FAILING_THREAD_STARTS 0
#endif
#endif
#ifndef ORVALEN_FAILING_THREAD_STARTS
#define ORVALEN_FAILING_THREAD_STARTS 1
#endif

#if ORVALEN_FAILING_THREAD_STARTS
#include <dlfcn.h>
#include <pthread.h>

// Threads that may still start before the next start fails, as it fails when
// the system has no threads left to give; -1: every start succeeds
std::atomic<int> threadStartsLeft{-1};

// Stands in for the C library's: std::thread starts its threads here
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Create next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    int left = threadStartsLeft.load();
    while (left > 0 && !threadStartsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0)
        return EAGAIN;
    return next(thread, attributes, routine, argument);
}
#endif

namespace {

// A picture whose every pixel differs from its neighbours, so that a mix-up
// of files, rows or channels shows in the pixels
sf::Image noiseImage(unsigned width, unsigned height, std::uint32_t seed)
{
    sf::Image image;
    image.create(width, height);
    std::uint32_t state = seed;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, sf::Color(state >> 24, (state >> 16) & 0xff, x * 255 / width, (state >> 8) | 0x80));
        }
    return image;
}

// What a load left in the store, per key
struct StoredTexture {
    sf::Vector2u size;
    bool repeated = false;
    std::vector<sf::Uint8> pixels;
    bool operator==(const StoredTexture& other) const
    {
        return size == other.size && repeated == other.repeated && pixels == other.pixels;
    }
};

std::map<std::string, StoredTexture> storedTextures()
{
    std::map<std::string, StoredTexture> result;
    for (const auto& [key, texture] : TextureManager::textureStore) {
        const sf::Image image = texture->copyToImage();
        const sf::Uint8* pixels = image.getPixelsPtr();
        StoredTexture& stored = result[key];
        stored.size = texture->getSize();
        stored.repeated = texture->isRepeated();
        stored.pixels.assign(pixels, pixels + stored.size.x * stored.size.y * 4);
    }
    return result;
}

// The largest difference between two pictures' bytes; 256 when their sizes differ
int largestDifference(const std::vector<sf::Uint8>& a, const std::vector<sf::Uint8>& b)
{
    if (a.size() != b.size())
        return 256;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

// The threads the process has now
std::size_t threadCount()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// Waits, without a bound, until `done` holds: a test that never gets there
// ends on its time-out
template <typename Condition>
void waitUntil(Condition done)
{
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool openedOffMainThread(const std::string& file)
{
    const std::vector<std::string> files = PictureOpens::openedOffMainThread();
    return std::find(files.begin(), files.end(), file) != files.end();
}

class TexturePrefetchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetProgramState();
        TexturePrefetch::threads = 2;
        TexturePrefetch::ahead = 1;
    }
    void TearDown() override
    {
        PictureOpens::stopWatching();
        TexturePrefetch::threads = 2;
        TexturePrefetch::ahead = 2;
        resetProgramState();
    }

    std::string writeNoise(const std::string& name, unsigned width, unsigned height, std::uint32_t seed)
    {
        const std::string path = dir.path(name);
        EXPECT_TRUE(noiseImage(width, height, seed).saveToFile(path)) << path;
        return path;
    }

    // Loads the catalogue twice (the second pass finds every key stored) and
    // gives the lines written and what was stored
    std::pair<std::vector<std::string>, std::map<std::string, StoredTexture>> loadTwice(const json& document)
    {
        resetProgramState();
        CaptureErrors errors;
        TextureManager::loadEntries(document);
        TextureManager::loadEntries(document);
        return {errors.lines(), storedTextures()};
    }

    TempDir dir;
};

TEST_F(TexturePrefetchTest, GivesTheLinesAndTexturesOfLoadingOneImageAfterAnother)
{
    const std::string first = writeNoise("first.png", 640, 480, 1);
    const std::string second = writeNoise("second.png", 257, 131, 2);
    const std::string photo = dir.path("photo.jpg");
    ASSERT_TRUE(noiseImage(200, 120, 3).saveToFile(photo));
    std::vector<std::string> large;
    for (int i = 0; i < 6; ++i)
        large.push_back(writeNoise("large" + std::to_string(i) + ".png", 512, 384, 10 + i));

    std::filesystem::create_directories(dir.path("folder.png"));
    const std::string corrupt = dir.write("corrupt.png", "\x89PNG\r\n\x1a\n this is not an image");
    std::ifstream whole(second, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    const std::string truncated = dir.write("truncated.png", bytes.substr(0, bytes.size() / 2));
    // A grey PNG header that claims 20000 x 20000 pixels, with no pixel data
    std::string huge("\x89PNG\r\n\x1a\n", 8);
    huge += std::string("\0\0\0\x0dIHDR", 8) + std::string("\0\0\x4e\x20\0\0\x4e\x20\x08\x00\x00\x00\x00", 13);
    huge += std::string("\0\0\0\0", 4);
    const std::string hugeFile = dir.write("huge.png", huge);

    // Keys in the order the pass visits them
    json textures = {{"a", {{"file", first}}},
                     {"b", {{"file", dir.path("absent.png")}}},
                     {"c", {{"file", dir.path("folder.png")}}},
                     {"d", {{"file", corrupt}}},
                     {"e", {{"file", first}, {"repeated", true}}},
                     {"f", {{"file", second}, {"repeated", false}}},
                     {"g", {{"file", truncated}}},
                     {"h", {{"file", ""}}},
                     {"i", "not an entry"},
                     {"j", {{"file", second}, {"repeated", "yes"}}},
                     {"k", {{"file", hugeFile}}},
                     {"l", {{"file", photo}, {"repeated", true}}}};
    for (std::size_t i = 0; i < large.size(); ++i)
        textures["m" + std::to_string(i)] = {{"file", large[i]}};
    const json document = {{"textures", textures}};

    TexturePrefetch::threads = 0;
    const auto [sequentialLines, sequentialTextures] = loadTwice(document);
    const std::size_t threadsBefore = threadCount();

    // The program's own lines, for a check that the comparison is not empty
    std::vector<std::string> ownLines;
    for (const std::string& line : sequentialLines)
        if (line.rfind("TextureManager: ", 0) == 0 || line.rfind("validateJson: ", 0) == 0)
            ownLines.push_back(line);
    // Second pass: the keys stored by the first are refused before any file is read
    auto passLines = [&](bool again) {
        auto loaded = [&](const std::string& key, const std::string& failure) {
            return again ? "TextureManager: Texture with key " + key + " already exists." : failure;
        };
        std::vector<std::string> lines = {"TextureManager: Unable to load file " + dir.path("absent.png") + ".",
                                          "TextureManager: Unable to load file " + dir.path("folder.png") + ".",
                                          "TextureManager: Unable to load file " + corrupt + ".",
                                          loaded("e", ""),
                                          loaded("f", ""),
                                          "TextureManager: Unable to load file " + truncated + ".",
                                          "TextureManager: Unable to load file .",
                                          "TextureManager: Missing FILE property for [i]",
                                          "TextureManager: Invalid repeated property for [j]: *",
                                          "TextureManager: Unable to load file " + hugeFile + ".",
                                          loaded("l", "")};
        if (again) {
            lines.insert(lines.begin(), loaded("a", ""));
            for (std::size_t i = 0; i < large.size(); ++i)
                lines.push_back(loaded("m" + std::to_string(i), ""));
        }
        lines.erase(std::remove(lines.begin(), lines.end(), std::string()), lines.end());
        return lines;
    };
    std::vector<std::string> expected = passLines(false);
    const std::vector<std::string> againLines = passLines(true);
    expected.insert(expected.end(), againLines.begin(), againLines.end());
    expectLines(ownLines, expected);
    // The media library explains each failed decode in its own line
    EXPECT_GT(sequentialLines.size(), ownLines.size());
    EXPECT_EQ(sequentialTextures.size(), 4u + large.size());

    // Every worker count and look-ahead gives the same, lines and all
    const struct {
        unsigned threads, ahead;
    } settings[] = {{2, 0}, {2, 1}, {2, 2}, {1, 1}, {3, 4}};
    for (const auto& setting : settings) {
        SCOPED_TRACE("threads " + std::to_string(setting.threads) + ", ahead " + std::to_string(setting.ahead));
        TexturePrefetch::threads = setting.threads;
        TexturePrefetch::ahead = setting.ahead;
        PictureOpens::watch();
        const auto [lines, stored] = loadTwice(document);
        EXPECT_EQ(lines, sequentialLines);
        EXPECT_EQ(stored.size(), sequentialTextures.size());
        for (const auto& [key, texture] : sequentialTextures) {
            ASSERT_EQ(stored.count(key), 1u) << key;
            EXPECT_EQ(stored.at(key).size, texture.size) << key;
            EXPECT_EQ(stored.at(key).repeated, texture.repeated) << key;
            // NOTE: JPEG decoders differ by a few levels by design; every
            // other picture is the media library's to the byte
            if (key == "l")
                EXPECT_LE(largestDifference(stored.at(key).pixels, texture.pixels), 6) << key;
            else
                EXPECT_TRUE(stored.at(key).pixels == texture.pixels) << key;
        }
        // The prefetched path was taken, not only the fallback (with no
        // look-ahead and no start before the pass, a worker never gets
        // ahead of the main thread), and its workers ended with the pass
        EXPECT_EQ(PictureOpens::openedOffMainThread().empty(), setting.ahead == 0);
        EXPECT_EQ(threadCount(), threadsBefore);
    }
    // The decoded pixels are those of the files (checked once, on the PNG noise)
    const sf::Image expectedFirst = noiseImage(640, 480, 1);
    const std::vector<sf::Uint8> firstPixels(expectedFirst.getPixelsPtr(), expectedFirst.getPixelsPtr() + 640 * 480 * 4);
    EXPECT_TRUE(sequentialTextures.at("a").pixels == firstPixels);
    EXPECT_TRUE(sequentialTextures.at("e").repeated);
    EXPECT_FALSE(sequentialTextures.at("a").repeated);
}

// The workers decode `ahead` files beyond the one the main thread loads, then
// wait for it; the bound moves with each load, passed-by entries included
TEST_F(TexturePrefetchTest, DecodesNoFurtherAheadThanItsLookAhead)
{
    std::vector<std::string> files;
    for (int i = 0; i < 9; ++i)
        files.push_back(writeNoise("img" + std::to_string(i) + ".png", 300, 200, 40 + i));
    for (unsigned ahead : {1u, 2u, 3u}) {
        SCOPED_TRACE("ahead " + std::to_string(ahead));
        TexturePrefetch::ahead = ahead;
        PictureOpens::watch();
        {
            TexturePrefetch prefetch(files);
            sf::Texture texture;
            // The first load finds no worker started: it decodes its own file
            ASSERT_TRUE(prefetch.load(texture, 0, files[0]));
            // Two workers: which opens its file first is theirs to say
            std::vector<std::string> next(files.begin() + 1, files.begin() + 1 + ahead);
            waitUntil([&] { return PictureOpens::openedOffMainThread().size() >= ahead; });
            // Time for a worker to go too far, were it to
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            std::vector<std::string> decoded = PictureOpens::openedOffMainThread();
            std::sort(decoded.begin(), decoded.end());
            std::sort(next.begin(), next.end());
            EXPECT_EQ(decoded, next);
            // Entries the main thread passes by count as loaded
            ASSERT_TRUE(prefetch.load(texture, ahead + 1, files[ahead + 1]));
            EXPECT_EQ(texture.copyToImage().getPixel(7, 5), noiseImage(300, 200, 40 + ahead + 1).getPixel(7, 5));
            const std::size_t furthest = std::min<std::size_t>(ahead + 1 + ahead, files.size() - 1);
            waitUntil([&] { return openedOffMainThread(files[furthest]); });
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            for (std::size_t i = furthest + 1; i < files.size(); ++i)
                EXPECT_FALSE(openedOffMainThread(files[i])) << files[i];
        }
        PictureOpens::stopWatching();
    }
}

// A catalogue read ahead (while the window opens) loads as it would have
// without: the same lines, in the same place, and the same textures; the
// pictures decode from the moment it is read
TEST_F(TexturePrefetchTest, APreparedLoadGivesTheLinesAndTexturesOfAPlainOne)
{
    const std::string first = writeNoise("first.png", 320, 200, 21);
    const std::string second = writeNoise("second.png", 64, 48, 22);
    const std::string corrupt = dir.write("corrupt.png", "\x89PNG\r\n\x1a\n this is not an image");
    const std::string good = R"({"textures": {"a": {"file": ")" + first + R"("}, "b": {"file": ")" + corrupt +
                             R"("}, "c": {"file": ")" + second + R"(", "repeated": true}, "d": {"file": ")" + first +
                             R"("}, "e": {"file": 3}, "f": {}}})";
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"good", dir.write("good.json", good)},
        {"cut short", dir.write("cut.json", good.substr(0, good.size() - 40))},
        {"not JSON", dir.write("text.json", "no catalogue here")},
        {"no textures member", dir.write("other.json", R"({"sprites": {}})")},
        {"absent", dir.path("absent.json")},
        {"a folder", dir.path("folder.json")},
    };
    dir.write("folder.json/x", "");
    for (const bool uploads : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (uploads ? "" : ", uploads off"));
            auto run = [&](bool prepared) {
                resetProgramState();
                TextureManager::uploads = uploads;
                const std::size_t threadsBefore = threadCount();
                CaptureErrors errors;
                if (prepared)
                    TextureManager::prepare(c.path);
                const bool result = TextureManager::load(c.path);
                // The load ends the decoding: no worker outlives it
                EXPECT_EQ(threadCount(), threadsBefore);
                std::vector<std::string> sizes;
                for (const auto& [key, size] : TextureManager::pictureSizes)
                    sizes.push_back(key + " " + std::to_string(size.x) + "x" + std::to_string(size.y));
                std::sort(sizes.begin(), sizes.end());
                return std::make_tuple(result, errors.lines(), storedTextures(), sizes);
            };
            const auto plain = run(false);
            const auto prepared = run(true);
            EXPECT_EQ(std::get<0>(prepared), std::get<0>(plain));
            EXPECT_EQ(std::get<1>(prepared), std::get<1>(plain));
            EXPECT_TRUE(std::get<2>(prepared) == std::get<2>(plain));
            EXPECT_EQ(std::get<3>(prepared), std::get<3>(plain));
            if (uploads && std::string(c.name) == "good")
                EXPECT_EQ(std::get<2>(plain).size(), 3u);
        }
    }
    TextureManager::uploads = true;
}

// The pixels a noise file was written with, for whole-picture comparisons
std::vector<sf::Uint8> noisePixels(unsigned width, unsigned height, std::uint32_t seed)
{
    const sf::Image image = noiseImage(width, height, seed);
    return std::vector<sf::Uint8>(image.getPixelsPtr(), image.getPixelsPtr() + width * height * 4);
}

std::vector<sf::Uint8> texturePixels(const sf::Texture& texture)
{
    const sf::Image image = texture.copyToImage();
    const sf::Vector2u size = image.getSize();
    return std::vector<sf::Uint8>(image.getPixelsPtr(), image.getPixelsPtr() + size.x * size.y * 4);
}

// Plans that name one file for several entries (several keys on it), entries
// with no planned file, and loads that pass planned entries by or come after
// the plan has passed them: every load gives its own file's pixels, at every
// worker count and look-ahead, and none waits for ever
TEST_F(TexturePrefetchTest, RepeatedAndSkippedEntriesGiveEachLoadItsOwnPixels)
{
    const std::string x = writeNoise("x.png", 96, 64, 51);
    const std::string y = writeNoise("y.png", 80, 50, 52);
    const std::string z = writeNoise("z.png", 33, 77, 53);
    const std::map<std::string, std::vector<sf::Uint8>> pixels = {
        {x, noisePixels(96, 64, 51)}, {y, noisePixels(80, 50, 52)}, {z, noisePixels(33, 77, 53)}};
    struct Load {
        std::size_t entry;
        std::string file;
    };
    const struct {
        const char* name;
        std::vector<std::string> plan;
        std::vector<Load> loads;
    } cases[] = {
        {"one file under three keys", {x, y, x, x}, {{0, x}, {1, y}, {2, x}, {3, x}}},
        {"entries after the plan", {x, y}, {{0, x}, {1, y}, {2, x}, {3, x}}},
        {"a repeat passed by", {x, y, x, z}, {{0, x}, {3, z}, {1, y}}},
        {"every entry passed by, then loaded", {x, y, z}, {{2, z}, {1, y}, {0, x}}},
        {"the same file in a row", {x, x, x}, {{0, x}, {1, x}, {2, x}}},
        {"entries with no planned file", {"", x, "", y}, {{0, z}, {1, x}, {2, z}, {3, y}}},
    };
    const struct {
        unsigned threads, ahead;
    } settings[] = {{1, 0}, {2, 0}, {1, 1}, {2, 2}, {3, 4}};
    for (const auto& setting : settings) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(setting.threads) + ", ahead " +
                         std::to_string(setting.ahead));
            TexturePrefetch::threads = setting.threads;
            TexturePrefetch::ahead = setting.ahead;
            TexturePrefetch prefetch(c.plan);
            for (const Load& load : c.loads) {
                sf::Texture texture;
                ASSERT_TRUE(prefetch.load(texture, load.entry, load.file));
                EXPECT_TRUE(texturePixels(texture) == pixels.at(load.file)) << load.file;
            }
        }
    }
}

// A worker still decoding a picture that the main thread has passed by
// finishes it and lets it go: the passed-by picture is not kept, and a later
// load of it decodes it afresh
TEST_F(TexturePrefetchTest, APicturePassedByWhileItIsDecodedIsLetGo)
{
    // Large enough that a worker takes a good while over it
    const std::string slow = writeNoise("slow.png", 2400, 1600, 61);
    const std::string quick = writeNoise("quick.png", 40, 30, 62);
    TexturePrefetch::threads = 1;
    TexturePrefetch::ahead = 1;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        PictureOpens::watch();
        TexturePrefetch prefetch({slow, quick});
        prefetch.start();
        // The worker is into the slow picture
        waitUntil([&] { return openedOffMainThread(slow); });
        sf::Texture texture;
        ASSERT_TRUE(prefetch.load(texture, 1, quick));
        EXPECT_TRUE(texturePixels(texture) == noisePixels(40, 30, 62));
        const std::size_t opensBefore = PictureOpens::opened().size();
        ASSERT_TRUE(prefetch.load(texture, 0, slow));
        EXPECT_EQ(texture.getSize(), sf::Vector2u(2400, 1600));
        EXPECT_EQ(texture.copyToImage().getPixel(2399, 1599), noiseImage(2400, 1600, 61).getPixel(2399, 1599));
        // Decoded afresh on the main thread, not taken from the worker
        const std::vector<PictureOpens::Open> opens = PictureOpens::opened();
        EXPECT_TRUE(std::any_of(opens.begin() + opensBefore, opens.end(), [&](const PictureOpens::Open& open) {
            return open.file == slow && open.mainThread;
        }));
        PictureOpens::stopWatching();
    }
}

#if ORVALEN_FAILING_THREAD_STARTS
// When the system gives no thread, or fewer than asked, the images load all
// the same: the ones no worker takes on the main thread
TEST_F(TexturePrefetchTest, LoadsEveryPictureWhenWorkersCannotStart)
{
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(writeNoise("img" + std::to_string(i) + ".png", 120, 90, 70 + i));
    // Asked first: the first GL context starts threads of its own
    sf::Texture::getMaximumSize();
    const struct {
        const char* name;
        int startsBeforeFailure;
    } cases[] = {{"no worker starts", 0}, {"one worker of two starts", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TexturePrefetch::threads = 2;
        TexturePrefetch::ahead = 2;
        TexturePrefetch prefetch(files);
        threadStartsLeft = c.startsBeforeFailure;
        prefetch.start();
        const int unused = threadStartsLeft.exchange(-1);
        // Every start was tried, the failing one included
        EXPECT_EQ(unused, 0);
        for (int i = 0; i < 5; ++i) {
            sf::Texture texture;
            ASSERT_TRUE(prefetch.load(texture, i, files[i]));
            EXPECT_TRUE(texturePixels(texture) == noisePixels(120, 90, 70 + i)) << files[i];
        }
    }
}
#endif

TEST_F(TexturePrefetchTest, LoadsAnEntryOutsideThePlanOnTheMainThread)
{
    const std::string planned = writeNoise("planned.png", 64, 48, 7);
    const std::string other = writeNoise("other.png", 32, 16, 8);
    TexturePrefetch prefetch({planned});
    sf::Texture texture;
    ASSERT_TRUE(prefetch.load(texture, 1, other));
    EXPECT_EQ(texture.getSize(), sf::Vector2u(32, 16));
    EXPECT_EQ(texture.copyToImage().getPixel(31, 15), noiseImage(32, 16, 8).getPixel(31, 15));
    // The planned entry is still there for its own load
    ASSERT_TRUE(prefetch.load(texture, 0, planned));
    EXPECT_EQ(texture.getSize(), sf::Vector2u(64, 48));
}

// Keys on one file, however it is spelled, share one texture, and the file
// is decoded once: not again for a later entry, nor for a later catalogue
// once a key holds its texture
TEST_F(TexturePrefetchTest, AFileSharedByEntriesIsDecodedOnce)
{
    const std::string shared = writeNoise("shared.png", 70, 40, 91);
    const std::string spelledOtherwise = dir.root() + "/./shared.png";
    const std::string other = writeNoise("other.png", 20, 10, 92);
    const json first = {{"textures", {{"a", {{"file", shared}}},
                                      {"b", {{"file", spelledOtherwise}}},
                                      {"c", {{"file", other}}},
                                      {"d", {{"file", shared}}}}}};
    const json later = {{"textures", {{"e", {{"file", spelledOtherwise}}}}}};
    // Opens of the shared file: the header and the decode on a worker, the
    // decode alone on the main thread
    auto opensOfShared = [&] {
        std::size_t count = 0;
        for (const PictureOpens::Open& open : PictureOpens::opened())
            count += open.file == shared || open.file == spelledOtherwise;
        return count;
    };
    const struct {
        unsigned threads, ahead;
    } settings[] = {{0, 0}, {1, 1}, {2, 2}};
    for (const auto& setting : settings) {
        SCOPED_TRACE("threads " + std::to_string(setting.threads) + ", ahead " + std::to_string(setting.ahead));
        resetProgramState();
        TexturePrefetch::threads = setting.threads;
        TexturePrefetch::ahead = setting.ahead;
        PictureOpens::watch();
        ASSERT_TRUE(TextureManager::loadEntries(first));
        const std::size_t opens = opensOfShared();
        EXPECT_GE(opens, 1u);
        EXPECT_LE(opens, 2u);
        ASSERT_NE(TextureManager::get("a"), nullptr);
        EXPECT_EQ(TextureManager::get("b"), TextureManager::get("a"));
        EXPECT_EQ(TextureManager::get("d"), TextureManager::get("a"));
        EXPECT_NE(TextureManager::get("c"), TextureManager::get("a"));
        ASSERT_TRUE(TextureManager::loadEntries(later));
        EXPECT_EQ(opensOfShared(), opens);
        EXPECT_EQ(TextureManager::get("e"), TextureManager::get("a"));
        PictureOpens::stopWatching();
    }
}

// A decode that throws on a worker, as an allocation that fails throws,
// refuses that one picture with its usual line; the worker goes on with
// the next, and the process with the load
TEST_F(TexturePrefetchTest, AWorkerWhoseDecodeThrowsRefusesThatPictureAlone)
{
    const std::string throwing = writeNoise("throwing.png", 64, 48, 81);
    const std::string second = writeNoise("second.png", 50, 40, 82);
    const std::string third = writeNoise("third.png", 30, 20, 83);
    const std::string catalogue = dir.write("textures.json", json{{"textures", {{"a", {{"file", throwing}}},
                                                                               {"b", {{"file", second}}},
                                                                               {"c", {{"file", third}}}}}}.dump());
    const struct {
        const char* name;
        int opensBefore; // the header is read first, then the whole file
        std::exception_ptr error;
    } cases[] = {
        {"no memory for the header", 0, std::make_exception_ptr(std::bad_alloc())},
        {"no memory for the pixels", 1, std::make_exception_ptr(std::bad_alloc())},
        {"any other exception", 1, std::make_exception_ptr(std::runtime_error("decoder"))},
    };
    TexturePrefetch::threads = 1;
    TexturePrefetch::ahead = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetProgramState();
        PictureOpens::watch();
        PictureOpens::throwOnOpen(throwing, c.opensBefore, c.error);
        CaptureErrors errors;
        TextureManager::prepare(catalogue);
        // The worker has been through all three before the load takes any
        waitUntil([&] { return openedOffMainThread(third); });
        EXPECT_TRUE(TextureManager::load(catalogue));
        expectLines(errors.lines(), {"TextureManager: Unable to load file " + throwing + "."});
        PictureOpens::stopWatching();
        EXPECT_FALSE(TextureManager::has("a"));
        ASSERT_TRUE(TextureManager::has("b"));
        ASSERT_TRUE(TextureManager::has("c"));
        EXPECT_TRUE(texturePixels(*TextureManager::get("b")) == noisePixels(50, 40, 82));
        EXPECT_TRUE(texturePixels(*TextureManager::get("c")) == noisePixels(30, 20, 83));
    }
}

} // namespace
