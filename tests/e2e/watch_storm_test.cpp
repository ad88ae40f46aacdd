// --watch under a storm of saves: an intro's files written over and over as
// editors and people write them (whole saves, saves by rename, files cut
// short mid-write, JSON that does not parse, pictures replaced by damaged
// ones, files deleted and put back), in spells that each break the intro
// for a while and then mend it. The program must go on throughout, show
// only whole pictures, show the last good intro at the end of each broken
// spell and the mended one after it, and hold its memory.
//
// STORM_WRITES (default 60) and STORM_SEED (default 1) set the length and the
// course of the storm; scripts/watch-storm runs a long one.

#include "run_fixture.h"

#include <SFML/Graphics/Image.hpp>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

long fromEnvironment(const char* name, long fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::strtol(value, nullptr, 10) : fallback;
}

bool near(sf::Color a, sf::Color b)
{
    return std::abs(a.r - b.r) <= 10 && std::abs(a.g - b.g) <= 10 && std::abs(a.b - b.b) <= 10;
}

std::string text(sf::Color c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes in place, as a plain save does: the file emptied, then written
void writeInPlace(const std::string& path, const std::string& bytes)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0) << path;
    ASSERT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(file);
}

void writeByRename(const std::string& path, const std::string& bytes)
{
    const std::string temporary = path + ".swp";
    writeInPlace(temporary, bytes);
    fs::rename(temporary, path);
}

// The intro's files the storm writes, each with its good text
const char* const jsonFiles[] = {"config.json", "assets/textures.json", "assets/sprites.json", "assets/music.json",
                                 "assets/show.json"};
// One PNG, decoded by libpng, and one BMP, by stb_image
const char* const pictureFiles[] = {"assets/img/red.png", "assets/img/blue.bmp"};

class WatchStorm : public ProgramRun {
protected:
    std::mt19937 random{static_cast<std::mt19937::result_type>(fromEnvironment("STORM_SEED", 1))};
    std::map<std::string, std::string> good;     // file -> its good bytes now
    std::set<std::string> broken;                // files not as good as they are meant to be
    std::map<std::string, sf::Color> colourOf;   // picture file -> its colour now
    std::string titleTexture = "red";            // the title sprite's texture
    std::vector<sf::Color> shown;                // every colour the title may show: those of good intros
    long writes = 0;

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); }
    double chance() { return std::uniform_real_distribution<double>(0, 1)(random); }
    void pause(double most) { sleepSeconds(most * chance()); }

    std::string pictureBytes(const std::string& file, sf::Color colour)
    {
        sf::Image image;
        image.create(64, 64, colour);
        const std::string path = soundDir.path("picture" + fs::path(file).extension().string());
        EXPECT_TRUE(image.saveToFile(path));
        return readBytes(path);
    }

    sf::Color newColour()
    {
        for (;;) {
            const sf::Color colour(40 * (1 + pick(6)), 40 * pick(7), 40 * pick(7));
            bool distinct = true;
            for (const auto& [file, other] : colourOf)
                distinct = distinct && !near(other, colour);
            if (distinct)
                return colour;
        }
    }

    std::string spritesText() const
    {
        json document = json::parse(good.at("assets/sprites.json"));
        document["sprites"]["title"]["texture"] = titleTexture;
        return document.dump(2);
    }

    sf::Color expected() const { return colourOf.at(titleTexture == "red" ? pictureFiles[0] : pictureFiles[1]); }

    void SetUp() override
    {
        writeShow(work.root());
        json textures = json::parse(readBytes(work.path("assets/textures.json")));
        textures["textures"]["blue"]["file"] = pictureFiles[1];
        work.write("assets/textures.json", textures.dump(2));
        work.write("assets/show.json",
                   R"({"entries": [{"sprite": "title", "seconds": 1}, {"sprite": "title", "seconds": 3600}],
                       "fadeFromBlackSeconds": 0})");
        for (const char* file : jsonFiles)
            good[file] = readBytes(work.path(file));
        colourOf[pictureFiles[0]] = sf::Color(255, 0, 0);
        colourOf[pictureFiles[1]] = sf::Color(0, 0, 255);
        for (const char* file : pictureFiles) {
            good[file] = pictureBytes(file, colourOf[file]);
            writeInPlace(work.path(file), good[file]);
        }
        shown = {colourOf[pictureFiles[0]], colourOf[pictureFiles[1]]};
    }

    // A column down the whole window: one colour of a good intro, top to
    // bottom; a picture read half would leave part of it another colour
    void expectWholePicture(XWindow window, sf::Color& seen, const std::string& when)
    {
        sf::Image column;
        ASSERT_TRUE(screen.grab(window, sf::IntRect(960, 0, 1, 1080), column)) << when << ": the window is gone";
        seen = column.getPixel(0, 0);
        for (unsigned y = 0; y < 1080; ++y)
            ASSERT_TRUE(near(column.getPixel(0, y), seen))
                << when << ": the title shows " << text(seen) << " at the top and " << text(column.getPixel(0, y))
                << " at y " << y << "; stderr ends:\n" << lastLines();
        bool known = false;
        for (sf::Color colour : shown)
            known = known || near(colour, seen);
        ASSERT_TRUE(known) << when << ": the title shows " << text(seen) << ", the colour of no good intro";
    }

    // Waits for the whole title in `colour`, checking every look on the way
    void expectTitle(XWindow window, sf::Color colour, const std::string& when, double timeoutSeconds = 10)
    {
        const double deadline = secondsNow() + timeoutSeconds;
        sf::Color seen;
        for (;;) {
            expectWholePicture(window, seen, when);
            if (::testing::Test::HasFatalFailure() || near(seen, colour))
                break;
            ASSERT_LT(secondsNow(), deadline) << when << ": the title shows " << text(seen) << ", wanted " << text(colour)
                                              << "; stderr ends:\n" << lastLines();
            sleepSeconds(0.05);
        }
        ASSERT_TRUE(program->running()) << when << ": the program ended; stderr ends:\n" << lastLines();
    }

    std::string lastLines() const
    {
        const std::vector<std::string> lines = program->errorLines();
        const std::size_t from = lines.size() > 12 ? lines.size() - 12 : 0;
        return joined(std::vector<std::string>(lines.begin() + static_cast<long>(from), lines.end()));
    }

    // One breaking write to one file
    void breakOne()
    {
        const bool picture = pick(3) == 0;
        const std::string file = picture ? pictureFiles[pick(2)] : jsonFiles[pick(5)];
        const std::string path = work.path(file);
        const std::string& bytes = good[file];
        switch (pick(picture ? 4 : 3)) {
        case 0: { // Cut short mid-write, and left so: within a picture's pixel
            // data, before a document's last brace
            const std::size_t whole = picture ? bytes.size() - 24 : bytes.find_last_not_of(" \n");
            writeInPlace(path, bytes.substr(0, 1 + pick(static_cast<int>(whole) - 1)));
            break;
        }
        case 1: // Deleted; the show file is optional, so it is spoilt instead
            if (file == "assets/show.json")
                writeByRename(path, "{\"entries\": [");
            else
                fs::remove(path);
            break;
        case 2: // Not JSON, or not a picture
            picture ? writeByRename(path, "not a picture\n") : writeByRename(path, "{\"oops\": " + bytes);
            break;
        default: { // A damaged picture: a PNG's compressed pixels overwritten
            // with noise, a BMP's header size garbled (noise in its pixels
            // would be a picture of noise, good as a BMP)
            std::string damaged = bytes;
            if (file == pictureFiles[0])
                for (std::size_t i = 40; i < damaged.size() - 12; ++i)
                    damaged[i] = static_cast<char>(random());
            else
                damaged.replace(14, 4, "\xee\xee\xee\xee");
            writeInPlace(path, damaged);
        }
        }
        broken.insert(file);
        ++writes;
    }

    // Puts one file back as good, in one of the ways files are saved
    void mendOne(const std::string& file)
    {
        const std::string path = work.path(file);
        const std::string& bytes = good[file];
        switch (pick(3)) {
        case 0:
            writeInPlace(path, bytes);
            break;
        case 1:
            writeByRename(path, bytes);
            break;
        default: { // Written in two parts, with a pause between that the watcher may see
            const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(file, 0);
            const std::size_t half = bytes.size() / 2;
            ASSERT_EQ(write(file, bytes.data(), half), static_cast<ssize_t>(half));
            pause(0.4);
            ASSERT_EQ(write(file, bytes.data() + half, bytes.size() - half), static_cast<ssize_t>(bytes.size() - half));
            close(file);
        }
        }
        ++writes;
    }
};

TEST_F(WatchStorm, GoesOnShowingWholePicturesAndTheLastGoodIntro)
{
    const long wanted = fromEnvironment("STORM_WRITES", 60);
    start(recording(), {"--watch", "--from", "2"});
    const XWindow window = waitForWindow();
    ASSERT_NE(window, 0u);
    // Black until the first frame
    sf::Color seen;
    ASSERT_TRUE(waitForPixel(window, {960, 540}, [this](sf::Color c) { return near(c, expected()); }, 20, seen))
        << "the title never showed; the centre stayed " << text(seen);
    expectTitle(window, expected(), "at the start");

    // The first reload: a good save, after which the memory is measured
    mendOne("assets/textures.json");
    sleepSeconds(1.5);
    expectTitle(window, expected(), "after the first reload");
    const long firstKilobytes = program->residentKilobytes();
    ASSERT_GT(firstKilobytes, 0);

    int spells = 0;
    while (writes < wanted) {
        ++spells;
        const std::string spell = "spell " + std::to_string(spells) + " (write " + std::to_string(writes) + ")";
        const sf::Color lastGood = expected();
        const std::size_t linesBefore = program->ownLines().size();
        const int breaks = 1 + pick(4);
        for (int i = 0; i < breaks; ++i) {
            breakOne();
            pause(0.2);
        }
        // Broken: once the program has read the broken files and said so,
        // the last good intro is still on screen
        EXPECT_TRUE(program->waitForOwnLines(linesBefore + 1, 5)) << spell << ": no line for a broken intro";
        sleepSeconds(0.1);
        expectTitle(window, lastGood, spell + ", broken");
        if (HasFatalFailure())
            return;

        // Mended, now and then with a new colour, or the title's other texture
        if (pick(2) == 0) {
            const std::string file = pictureFiles[pick(2)];
            colourOf[file] = newColour();
            shown.push_back(colourOf[file]);
            good[file] = pictureBytes(file, colourOf[file]);
            broken.insert(file);
        }
        if (pick(2) == 0) {
            titleTexture = titleTexture == "red" ? "blue" : "red";
            broken.insert("assets/sprites.json");
        }
        good["assets/sprites.json"] = spritesText();
        for (const std::string& file : broken) {
            mendOne(file);
            pause(0.15);
        }
        broken.clear();
        expectTitle(window, expected(), spell + ", mended");
        if (HasFatalFailure())
            return;
    }

    const long lastKilobytes = program->residentKilobytes();
    std::printf("[ storm    ] %ld writes in %d spells; resident memory %ld kB after the first reload, %ld kB at the "
                "end (%+.1f%%)\n",
                writes, spells, firstKilobytes, lastKilobytes, 100.0 * (lastKilobytes - firstKilobytes) / firstKilobytes);
#ifndef ORVALEN_SANITIZED
    EXPECT_LE(lastKilobytes, firstKilobytes * 11 / 10) << "memory grew over the storm";
#endif
    EXPECT_EQ(screen.waitForNewWindow(windowTitle, windowsBefore, 1), window) << "the same window throughout";
    const ExitStatus status = quitWithEscape();
    EXPECT_TRUE(status.exited && status.code == 0) << describe(status);
}

} // namespace
