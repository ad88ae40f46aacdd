// The show as a video file (--export): read back with Debian's ffprobe and
// ffmpeg, its pictures against --frame at the same moments and its sound
// against what the live program plays; and the file appearing whole or not
// at all, whatever stops the export.

#include "run_fixture.h"

#include <SFML/Audio/OutputSoundFile.hpp>
#include <SFML/Graphics/Image.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Three entries of a second each, fading up from black over the first half second
const char* const shortShow =
    R"({"entries": [{"sprite": "title"}, {"sprite": "ov1"}, {"sprite": "ov2"}],
        "secondsPerEntry": 1, "song": "short", "fadeFromBlackSeconds": 0.5})";

// The short song: 440 Hz for a second, 660 Hz for half a second, 880 Hz for
// half a second, looping from 1000 ms; so a viewer hears 440, 660, 880, then
// 660 and 880 again from the loop point
const double shortSongAmplitude = 12000;
const int shortSongVolume = 50;
struct Tone {
    double from, to; // seconds after the song begins
    double frequency;
};
const Tone heardTones[] = {{0.0, 1.0, 440}, {1.0, 1.5, 660}, {1.5, 2.0, 880}, {2.0, 2.5, 660}, {2.5, 3.0, 880}};

bool writeShortSong(const std::string& path)
{
    std::vector<sf::Int16> samples;
    double phase = 0;
    for (const Tone& tone : {heardTones[0], heardTones[1], heardTones[2]})
        for (long i = 0; i < std::lround((tone.to - tone.from) * songRate); ++i) {
            const auto value = static_cast<sf::Int16>(std::lround(shortSongAmplitude * std::sin(phase)));
            samples.push_back(value);
            samples.push_back(value);
            phase += 2 * M_PI * tone.frequency / songRate;
        }
    sf::OutputSoundFile song;
    if (!song.openFromFile(path, songRate, 2))
        return false;
    song.write(samples.data(), samples.size());
    return true;
}

// The fixture's pictures with the short show and song added
void writeShortShow(const TempDir& work)
{
    writeShow(work.root());
    work.write("assets/show.json", shortShow);
    work.write("assets/music.json",
               R"({"music": {"song": {"file": "assets/song.wav", "loopTo": 3000},
                             "short": {"file": "assets/short.wav", "loopTo": 1000, "volume": )" +
                   std::to_string(shortSongVolume) + "}}}");
    ASSERT_TRUE(writeShortSong(work.path("assets/short.wav")));
}

// A command's standard output; false when it could not run or failed
bool runCommand(const std::string& command, std::string& output)
{
    output.clear();
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return false;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    return pclose(pipe) == 0;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// One line of ffprobe's answer for one stream, trimmed: "h264,1920,1080,90"
std::string probe(const std::string& file, const std::string& stream, const std::string& entries,
                  bool countFrames = false)
{
    std::string out;
    const std::string command = "ffprobe -v error " + std::string(countFrames ? "-count_frames " : "") +
                                (stream.empty() ? "" : "-select_streams " + stream + " ") + "-show_entries " +
                                entries + " -of csv=p=0 " + quoted(file);
    EXPECT_TRUE(runCommand(command, out)) << command;
    while (!out.empty() && (out.back() == '\n' || out.back() == ',' || out.back() == '\r'))
        out.pop_back();
    return out;
}

double probedDuration(const std::string& file)
{
    return std::atof(probe(file, "", "format=duration").c_str());
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in a folder, sorted
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Mean of the channels' absolute differences over every pixel, and the
// largest difference at any of the fixture's probes
struct Difference {
    double mean = 0;
    int atProbes = 0;
};

Difference differenceOf(const sf::Image& a, const sf::Image& b)
{
    Difference d;
    const sf::Vector2u size = a.getSize();
    double sum = 0;
    for (unsigned y = 0; y < size.y; ++y)
        for (unsigned x = 0; x < size.x; ++x) {
            const sf::Color p = a.getPixel(x, y), q = b.getPixel(x, y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        }
    d.mean = sum / (3.0 * size.x * size.y);
    for (const ShowPicture& picture : showPictures()) {
        const auto x = static_cast<unsigned>(picture.probe.x), y = static_cast<unsigned>(picture.probe.y);
        const sf::Color p = a.getPixel(x, y), q = b.getPixel(x, y);
        d.atProbes = std::max({d.atProbes, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
    }
    return d;
}

class Export : public ProgramRun {
protected:
    // Runs the program to its end; its exit status
    ExitStatus runToEnd(const std::vector<std::string>& arguments, double timeoutSeconds = 120)
    {
        start(withoutAudioDevice(), arguments);
        return program->waitForExit(timeoutSeconds);
    }

    // The program's one line besides its progress lines, every few seconds
    // where standard error is no terminal
    void expectOneLine(const std::string& line)
    {
        static const std::regex progress(R"(Export: \d+:\d\d of \d+:\d\d, (\d+:\d\d|\?) left, \d+\.\dx real time)");
        std::vector<std::string> lines;
        for (const std::string& own : program->ownLines())
            if (!std::regex_match(own, progress))
                lines.push_back(own);
        expectLines(lines, {line});
    }
};

TEST_F(Export, Mp4HasEveryFrameOfTheShowAsFrameGivesItAndTheSongAsItPlaysLive)
{
    writeShortShow(work);
    const std::string video = work.path("intro.mp4");
    const ExitStatus status = runToEnd({"--export", "intro.mp4"});
    ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    expectOneLine("Export: Wrote intro.mp4: 0:03 of the show at 1920x1080, 30 fps, H.264 and AAC, in *");
    EXPECT_TRUE(screen.windowsNamed(windowTitle).empty()) << "an export needs no window";
    EXPECT_FALSE(fs::exists(work.path(".intro.mp4.part")));

    // What the file holds
    EXPECT_EQ(probe(video, "v:0", "stream=codec_name,profile,width,height,pix_fmt,r_frame_rate,nb_read_frames", true),
              "h264,High,1920,1080,yuv420p,30/1,90");
    EXPECT_EQ(probe(video, "a:0", "stream=codec_name,sample_rate,channels"), "aac,48000,2");
    EXPECT_NEAR(probedDuration(video), 3.0, 0.03);

    // Pictures: as --frame gives them at the same moments, within the
    // codec's loss; a frame early or late is further off at the probes
    std::string out;
    const std::string pattern = work.path("decoded%d.png");
    ASSERT_TRUE(runCommand("ffmpeg -v error -i " + quoted(video) +
                               " -vf 'select=eq(n\\,0)+eq(n\\,15)+eq(n\\,44)+eq(n\\,75)' -vsync 0 " + quoted(pattern),
                           out));
    const double moments[] = {0.0, 0.5, 44.0 / 30, 2.5};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("at " + std::to_string(moments[i]) + " s");
        const std::string still = work.path("still.png");
        const ExitStatus frame = runToEnd({"--frame", std::to_string(moments[i]), "--output", still});
        ASSERT_TRUE(frame.exited && frame.code == 0) << describe(frame);
        sf::Image expected, decoded;
        ASSERT_TRUE(expected.loadFromFile(still));
        ASSERT_TRUE(decoded.loadFromFile(work.path("decoded" + std::to_string(i + 1) + ".png")));
        ASSERT_EQ(decoded.getSize(), expected.getSize());
        const Difference d = differenceOf(decoded, expected);
        EXPECT_LT(d.mean, 1.5);
        EXPECT_LE(d.atProbes, 3);
    }

    // Sound: the song from the first sample, on from its loop point after
    // its end, at its volume; tone by tone as the live program plays it
    const std::string heard = work.path("heard.wav");
    ASSERT_TRUE(runCommand("ffmpeg -v error -i " + quoted(video) + " -vn -ac 2 -ar " + std::to_string(songRate) +
                               " -c:a pcm_s16le " + quoted(heard),
                           out));
    Recording exported, live;
    ASSERT_TRUE(readRecording(heard, exported));
    start(recording());
    const ExitStatus played = program->waitForExit(30);
    ASSERT_TRUE(played.exited && played.code == 0) << describe(played);
    ASSERT_TRUE(readRecording(soundPath(), live));
    ASSERT_EQ(live.rate, exported.rate);
    const int threshold = 1000;
    const std::size_t liveOnset = onsetFrame(live, 0, threshold);
    const std::size_t exportedOnset = onsetFrame(exported, 0, threshold);
    EXPECT_LT(exportedOnset, exported.rate / 200) << "the song begins with the first frame";
    EXPECT_NEAR(exported.seconds(), 3.0, 0.03);
    const double gain = shortSongVolume / 100.0;
    for (const Tone& tone : heardTones)
        for (unsigned channel = 0; channel < 2; ++channel) {
            SCOPED_TRACE(std::to_string(tone.frequency) + " Hz from " + std::to_string(tone.from) + " s, channel " +
                         std::to_string(channel));
            const double from = tone.from + 0.05, to = tone.to - 0.05;
            EXPECT_NEAR(toneFrequency(exported, channel, exportedOnset, from, to), tone.frequency, tone.frequency * 0.03);
            EXPECT_NEAR(toneFrequency(live, channel, liveOnset, from, to), tone.frequency, tone.frequency * 0.03);
            const double level = rmsLevel(exported, channel, exportedOnset, from, to);
            EXPECT_NEAR(level, shortSongAmplitude / std::sqrt(2.0) * gain, shortSongAmplitude * gain * 0.06);
            EXPECT_NEAR(level, rmsLevel(live, channel, liveOnset, from, to), shortSongAmplitude * gain * 0.06);
        }
}

TEST_F(Export, WebmIsVp9AndOpusAtTheSizeAndRateAskedForOverTheSpanAskedFor)
{
    writeShortShow(work);
    const std::string video = work.path("part.webm");
    const ExitStatus status = runToEnd({"--export", "part.webm", "--size", "640x360", "--fps", "60", "--from", "1",
                                        "--to", "0:02.5"});
    ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    expectOneLine("Export: Wrote part.webm: 0:01.5 of the show at 640x360, 60 fps, VP9 and Opus, in *");
    EXPECT_EQ(probe(video, "v:0", "stream=codec_name,width,height,r_frame_rate,nb_read_frames", true),
              "vp9,640,360,60/1,90");
    EXPECT_EQ(probe(video, "a:0", "stream=codec_name,sample_rate,channels"), "opus,48000,2");
    EXPECT_NEAR(probedDuration(video), 1.5, 0.03);

    // The first picture is the show at 1 s, scaled
    std::string out;
    ASSERT_TRUE(runCommand("ffmpeg -v error -i " + quoted(video) + " -frames:v 1 " + quoted(work.path("first.png")), out));
    ASSERT_EQ(runToEnd({"--frame", "1", "--output", "still.png"}).code, 0);
    sf::Image still, first;
    ASSERT_TRUE(still.loadFromFile(work.path("still.png")));
    ASSERT_TRUE(first.loadFromFile(work.path("first.png")));
    for (const ShowPicture& picture : showPictures()) {
        const sf::Color wanted = still.getPixel(static_cast<unsigned>(picture.probe.x), static_cast<unsigned>(picture.probe.y));
        const sf::Color seen = first.getPixel(static_cast<unsigned>(picture.probe.x) / 3, static_cast<unsigned>(picture.probe.y) / 3);
        EXPECT_TRUE(near(seen, wanted, 6)) << picture.key << ": " << describe(seen) << ", wanted " << describe(wanted);
    }
}

TEST_F(Export, OnATerminalDrawsABarWithTheTimeDoneTheTimeLeftAndTheSpeed)
{
    writeShortShow(work);
    // NOTE: script(1) gives the program a terminal of its own and copies
    // what it writes there
    std::string out;
    const std::string command = "cd " + quoted(work.root()) + " && ALSOFT_DRIVERS=null script -qfec \"" +
                                ORVALEN_INTRO_PATH + " --export bar.mp4 --size 256x144\" /dev/null";
    ASSERT_TRUE(runCommand(command, out)) << out;
    static const std::regex bar(R"(\rExporting \[[#-]{30}\] \d+:\d\d of 0:03, (\d+:\d\d|\?) left, \d+\.\dx real time)");
    EXPECT_TRUE(std::regex_search(out, bar)) << out;
    EXPECT_NE(out.find("Export: Wrote bar.mp4: 0:03 of the show at 256x144, 30 fps, H.264 and AAC, in "), std::string::npos)
        << out;
    EXPECT_TRUE(fs::exists(work.path("bar.mp4")));
}

// ---------------------------------------------------------------------------
// Whole or not at all

const char* const earlier = "an earlier export, kept";

class ExportStopped : public Export, public ::testing::WithParamInterface<int> {};

TEST_P(ExportStopped, MidwayLeavesNoPartAndTheEarlierFile)
{
    writeShow(work.root()); // the 140-second show: long enough to stop midway
    work.write("intro.mp4", earlier);
    const std::vector<std::string> before = namesIn(work.root());
    start(withoutAudioDevice(), {"--export", "intro.mp4"});
    // Stopped a second after its file is begun, while frames are being written
    const std::string partial = work.path(".intro.mp4.part");
    const double deadline = secondsNow() + 60;
    while (program->running() && secondsNow() < deadline && !fs::exists(partial))
        sleepSeconds(0.02);
    sleepSeconds(1);
    ASSERT_TRUE(program->sendSignal(GetParam())) << "ended before it was stopped:\n" << joined(program->errorLines());
    const ExitStatus status = program->waitForExit(30);
    EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
    const std::string name = GetParam() == SIGINT ? "Ctrl+C (SIGINT)" : GetParam() == SIGTERM ? "SIGTERM" : "SIGHUP";
    expectOneLine("Export: Stopped by " + name + "; intro.mp4 was not written.");
    EXPECT_EQ(fileText(work.path("intro.mp4")), earlier);
    EXPECT_EQ(namesIn(work.root()), before);
}

INSTANTIATE_TEST_SUITE_P(Signals, ExportStopped, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) {
                             return std::string(info.param == SIGINT ? "Interrupt" : info.param == SIGTERM ? "Terminate" : "HangUp");
                         });

// The file size limit stands for a full disk: the write fails the same way
// once the file has grown past it
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved{};
};

TEST_F(Export, FailedWriteLeavesNoPartAndTheEarlierFile)
{
    writeShow(work.root());
    work.write("intro.mp4", earlier);
    const std::vector<std::string> before = namesIn(work.root());
    {
        const FileSizeLimit limit(48 * 1024);
        start(withoutAudioDevice(), {"--export", "intro.mp4", "--to", "30"});
    }
    const ExitStatus status = program->waitForExit(120);
    EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
    expectOneLine("Export: Unable to write intro.mp4 (writing: File too large); nothing was written.");
    EXPECT_EQ(fileText(work.path("intro.mp4")), earlier);
    EXPECT_EQ(namesIn(work.root()), before);
}

// The program that plays hands --export to its video writer beside it; a
// program copied away from it says so and writes nothing
TEST_F(Export, WithoutItsVideoWriterSaysSoAndWritesNothing)
{
    writeShortShow(work);
    const TempDir alone;
    const std::string copy = alone.path("orvalen-intro");
    std::filesystem::copy_file(ORVALEN_INTRO_PATH, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    const std::vector<std::string> before = namesIn(work.root());
    program = std::make_unique<Program>(copy, work.root(), withoutAudioDevice(),
                                        std::vector<std::string>{"--export", "intro.mp4"});
    const ExitStatus status = program->waitForExit(60);
    EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
    expectOneLine("Export: Unable to write intro.mp4 (the video writer, orvalen-intro-export, is not installed with "
                  "this program); nothing was written.");
    EXPECT_EQ(namesIn(work.root()), before);
}

// The program that plays hands over before it reads the intro: what the
// show file says is said once, by the video writer
TEST_F(Export, SaysWhatTheShowFileLeavesOutOnce)
{
    writeShortShow(work);
    work.write("assets/show.json", R"({"entries": [{"sprite": "title"}, {"sprite": "ov1", "seconds": "x"}],
                                       "secondsPerEntry": 1, "song": "short"})");
    const ExitStatus status = runToEnd({"--export", "intro.mp4", "--size", "256x144"});
    ASSERT_TRUE(status.exited && status.code == 0) << describe(status) << "\n" << joined(program->errorLines());
    const std::vector<std::string> lines = program->ownLines();
    const std::string leftOut =
        "Show: Entry 2 of assets/show.json is left out: its seconds must be a number greater than 0, not \"x\".";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), leftOut), 1) << joined(lines);
}

TEST_F(Export, IntoAMissingFolderSaysSoAndWritesNothing)
{
    writeShortShow(work);
    const std::vector<std::string> before = namesIn(work.root());
    const ExitStatus status = runToEnd({"--export", "missing/intro.mp4"});
    EXPECT_TRUE(status.exited && status.code == 1) << describe(status);
    expectOneLine("Export: Unable to write missing/intro.mp4 (creating the file: No such file or directory); "
                  "nothing was written.");
    EXPECT_EQ(namesIn(work.root()), before);
}

} // namespace
