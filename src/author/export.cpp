#include "author/export.h"

#include "app/app.h"
#include "app/canvas.h"
#include "app/config.h"
#include "app/platform.h"
#include "app/stop_signals.h"
#include "assets/music_manager.h"
#include "assets/texture_manager.h"
#include "author/video_file.h"
#include "base/messages.h"
#include "scenes/show.h"

#include <SFML/Audio/InputSoundFile.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/OpenGL.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The song as a viewer hears it: from its start, on from the loop point
// after each end, at the catalogue's volume; silence when there is none
struct SongTrack {
    std::vector<sf::Int16> samples; // interleaved, the whole song
    unsigned int channels = 2;
    unsigned int rate = 48000;
    std::uint64_t frames = 0;       // samples per channel
    std::uint64_t loopStart = 0;    // the frame a loop goes on from
    float gain = 0;

    // `count` frames from `first` frames after the song began, as floats
    void fill(std::uint64_t first, std::size_t count, std::vector<float>& out) const
    {
        out.assign(count * channels, 0.f);
        if (frames == 0 || gain == 0)
            return;
        const float scale = gain / 32768.f;
        const std::uint64_t loopLength = frames - loopStart;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint64_t at = first + i;
            if (at >= frames)
                at = loopStart + (at - loopStart) % loopLength;
            for (unsigned int c = 0; c < channels; ++c)
                out[i * channels + c] = samples[at * channels + c] * scale;
        }
    }
};

// Reads the show's song whole; lines as a start would write them when it
// cannot be played
SongTrack readSong()
{
    SongTrack track;
    const std::string& key = Show::current.songKey;
    const auto found = MusicManager::songs.find(key);
    // NOTE: a missing key is the show's own line, written when the scene starts
    if (found == MusicManager::songs.end())
        return track;
    sf::InputSoundFile file;
    if (!MusicManager::openFile(key, file))
        return track;
    const MusicManager::Song& song = found->second;
    track.channels = file.getChannelCount();
    track.rate = file.getSampleRate();
    track.samples.resize(static_cast<std::size_t>(file.getSampleCount()));
    track.samples.resize(static_cast<std::size_t>(file.read(track.samples.data(), track.samples.size())));
    track.frames = track.samples.size() / std::max(1u, track.channels);
    // The player's own reckoning of the loop point, in whole samples; the
    // whole song loops when it refuses the point
    if (MusicManager::loopPointRefusal(song, file).empty()) {
        const sf::Int64 micro = song.loopSpan().offset.asMicroseconds();
        const std::uint64_t offset =
            (static_cast<std::uint64_t>(micro) * track.rate * track.channels + 500000) / 1000000;
        track.loopStart = std::min<std::uint64_t>((offset + track.channels - 1) / track.channels, track.frames);
    }
    // NOTE: the audio device takes a source's gain up to 1 at most, so a
    // volume over 100 sounds as 100 does
    track.gain = std::clamp(static_cast<float>(song.volume) / 100.f, 0.f, 1.f);
    return track;
}

// The frames read back from the canvas, waiting for the encoder
class FrameQueue {
public:
    FrameQueue(std::size_t count, std::size_t bytes) : store(count, std::vector<std::uint8_t>(bytes))
    {
        for (std::vector<std::uint8_t>& frame : store)
            free.push_back(&frame);
    }

    // A buffer to fill; null once the encoder has given up
    std::vector<std::uint8_t>* take()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !free.empty() || failed; });
        if (failed)
            return nullptr;
        std::vector<std::uint8_t>* frame = free.front();
        free.pop_front();
        return frame;
    }
    void push(std::vector<std::uint8_t>* frame)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        full.push_back(frame);
        changed.notify_all();
    }
    void close()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    }

    // The encoder's side: the next full buffer, null after the last
    std::vector<std::uint8_t>* next()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !full.empty() || closed; });
        if (full.empty())
            return nullptr;
        std::vector<std::uint8_t>* frame = full.front();
        full.pop_front();
        return frame;
    }
    void giveBack(std::vector<std::uint8_t>* frame)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        free.push_back(frame);
        changed.notify_all();
    }
    void fail()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        failed = true;
        changed.notify_all();
    }

private:
    std::vector<std::vector<std::uint8_t>> store;
    std::deque<std::vector<std::uint8_t>*> free, full;
    bool closed = false;
    bool failed = false;
    std::mutex mutex;
    std::condition_variable changed;
};

std::string signalName(int signal)
{
    if (signal == SIGINT)
        return "Ctrl+C (SIGINT)";
    if (signal == SIGTERM)
        return "SIGTERM";
#ifdef SIGHUP
    if (signal == SIGHUP)
        return "SIGHUP";
#endif
    return "signal " + std::to_string(signal);
}

std::string speedText(double ratio)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1fx", ratio);
    return text;
}

// Time done, time left and the speed against real time: a bar redrawn in
// place on a terminal, else a plain line every few seconds
class Progress {
public:
    explicit Progress(double length) : length(length), started(Clock::now()), last(started)
    {
        terminal = Platform::errorIsTerminal();
    }

    void show(double done, bool force = false)
    {
        const Clock::time_point now = Clock::now();
        const double sinceLast = std::chrono::duration<double>(now - last).count();
        // On a terminal the bar comes with the first frame, even of a short export
        if (!force && sinceLast < (terminal ? 0.25 : 5.0) && !(terminal && !drawn))
            return;
        last = now;
        const double spent = std::chrono::duration<double>(now - started).count();
        const double speed = spent > 0 ? done / spent : 0;
        const std::string left = speed > 0 ? Show::clockTime((length - done) / speed) : "?";
        const std::string figures = Show::clockTime(done) + " of " + Show::clockTime(length) + ", " + left +
                                    " left, " + speedText(speed) + " real time";
        if (!terminal) {
            std::cerr << "Export: " << figures << std::endl;
            return;
        }
        const int width = 30;
        const int filled = length > 0 ? static_cast<int>(std::lround(width * std::min(1.0, done / length))) : 0;
        std::cerr << "\rExporting [" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(width - filled), '-') << "] " << figures << "   "
                  << std::flush;
        drawn = true;
    }
    // Clears the bar before a line of another kind
    void end()
    {
        if (drawn)
            std::cerr << "\r" << std::string(100, ' ') << "\r" << std::flush;
        drawn = false;
    }
    double seconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }

private:
    double length;
    Clock::time_point started, last;
    bool terminal = false;
    bool drawn = false;
};

// The temporary file beside the target, hidden where names can be
std::string partialPath(const std::string& output)
{
    const std::filesystem::path target(output);
    return (target.parent_path() / ("." + target.filename().string() + ".part")).string();
}

void removeQuietly(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace

const bool exportHandsOver = false;

int exportVideo(const ExportRequest& request)
{
    VideoFormat format;
    videoKindOf(request.output, format.kind);
    format.width = request.width;
    format.height = request.height;
    format.fps = request.fps;
    const double to = request.to < 0 ? Show::length(Show::current) : request.to;
    const double span = to - request.from;
    const std::int64_t pictures = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(span * request.fps - 1e-6)));

    // NOTE: past a file size limit the write fails and says so, instead of
    // the default of ending the program with a partial file left behind
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    // What every picture needs first, as --frame has it
    if (!haveIntro())
        return 1;
    loadConfig();
    if (!openDisplay())
        return 1;
    sf::RenderTexture canvas;
    const bool made = canvas.create(Canvas::width, Canvas::height);
    closeDisplayProbe();
    if (!made) {
        Problems::report(Messages::noPicture(Canvas::width, Canvas::height));
        return 1;
    }
    MusicManager::silent = true;
    // A show file's pictures are decoded ahead of their turn and let go
    // after it, as the show plays them, so a long show costs what a short one does
    TextureManager::onDemand = Show::current.fromFile;
    loadShow();
    const SongTrack song = readSong();
    format.sourceWidth = Canvas::width;
    format.sourceHeight = Canvas::height;
    format.soundChannels = song.channels;
    format.soundRate = song.rate;

    const std::string partial = partialPath(request.output);
    auto video = std::make_unique<VideoFile>();
    if (!video->open(partial, format)) {
        Problems::report(Messages::exportFailed(request.output, video->error()));
        video.reset();
        removeQuietly(partial);
        return 1;
    }

    // The encoder takes each picture with its stretch of the song while the
    // next one draws
    const std::size_t stride = static_cast<std::size_t>(Canvas::width) * 4;
    FrameQueue queue(3, stride * Canvas::height);
    const std::uint64_t firstSample = static_cast<std::uint64_t>(std::llround(request.from * song.rate));
    auto sampleAt = [&](std::int64_t picture) {
        return firstSample + static_cast<std::uint64_t>(picture) * song.rate / static_cast<std::uint64_t>(request.fps);
    };
    bool encoded = true;
    std::thread encoder([&] {
        std::vector<float> sound;
        std::int64_t done = 0;
        while (std::vector<std::uint8_t>* frame = queue.next()) {
            // The canvas's rows lie bottom-up as read back
            const std::uint8_t* top = frame->data() + stride * (Canvas::height - 1);
            const std::uint64_t begin = sampleAt(done), end = sampleAt(done + 1);
            song.fill(begin, static_cast<std::size_t>(end - begin), sound);
            encoded = encoded && video->addPicture(top, -static_cast<int>(stride)) &&
                      video->addSound(sound.data(), static_cast<int>(end - begin));
            ++done;
            queue.giveBack(frame);
            if (!encoded) {
                queue.fail();
                return;
            }
        }
    });

    Progress progress(span);
    std::int64_t framesRun = 0;
    int stopSignal = 0;
    for (std::int64_t picture = 0; picture < pictures; ++picture) {
        if ((stopSignal = StopSignals::caught()) != 0)
            break;
        const double moment = request.from + static_cast<double>(picture) / request.fps;
        // The frame --frame gives at that moment
        const std::int64_t frame = Show::framesToReach(moment, fixedFrameSeconds);
        for (; framesRun < frame; ++framesRun)
            advanceFrame(fixedFrameSeconds);
        drawFrame(canvas);
        canvas.display();
        std::vector<std::uint8_t>* buffer = queue.take();
        if (!buffer)
            break;
        if (!canvas.setActive(true))
            break;
        glReadPixels(0, 0, static_cast<GLsizei>(Canvas::width), static_cast<GLsizei>(Canvas::height), GL_RGBA,
                     GL_UNSIGNED_BYTE, buffer->data());
        queue.push(buffer);
        progress.show(static_cast<double>(picture + 1) / request.fps);
    }
    queue.close();
    encoder.join();
    if (!stopSignal)
        stopSignal = StopSignals::caught();
    progress.end();

    const bool finished = encoded && !stopSignal && video->finish();
    const std::string why = video->error();
    video.reset();
    if (!stopSignal)
        stopSignal = StopSignals::caught();
    if (stopSignal) {
        removeQuietly(partial);
        Problems::report(Messages::exportStopped(request.output, signalName(stopSignal)));
        return 1;
    }
    if (!finished) {
        removeQuietly(partial);
        Problems::report(Messages::exportFailed(request.output, why.empty() ? "drawing the show" : why));
        return 1;
    }
    std::error_code error;
    std::filesystem::rename(partial, request.output, error);
    if (error) {
        removeQuietly(partial);
        Problems::report(Messages::exportFailed(request.output, "renaming: " + error.message()));
        return 1;
    }
    const double spent = progress.seconds();
    std::cerr << "Export: Wrote " << request.output << ": " << Show::momentText(span) << " of the show at "
              << format.width << "x" << format.height << ", " << format.fps << " fps, " << videoKindText(format.kind)
              << ", in " << Show::momentText(std::round(spent * 10) / 10) << " ("
              << speedText(spent > 0 ? span / spent : 0) << " real time)." << std::endl;
    return 0;
}
