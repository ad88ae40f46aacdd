#pragma once
// A video file with one picture stream and one sound stream, written through
// FFmpeg's libraries: .mp4 as H.264 with AAC, .webm as VP9 with Opus. The
// caller hands it whole pictures in RGBA and sound as float samples; the
// file converts, scales and encodes them. It writes only the path it is
// given: putting the file in place is the caller's business.

#include <cstdint>
#include <memory>
#include <string>

enum class VideoKind { Mp4, WebM };

// The quality an export aims at, as --help states it
struct VideoQuality {
    int h264Crf = 20;                  // libx264's constant rate factor: near-transparent for a slideshow
    const char* h264Preset = "veryfast";
    int vp9Crf = 32;                   // libvpx's constant quality
    int vp9CpuUsed = 5;                // libvpx's speed, 0 (best) to 8
    int aacBitRate = 192000;           // bits a second
    int opusBitRate = 128000;
    int soundRate = 48000;             // the sound track's samples a second, stereo
    int keyFrameSeconds = 5;           // a picture that decodes alone at least this often, for seeking
};
extern const VideoQuality videoQuality;

struct VideoFormat {
    VideoKind kind = VideoKind::Mp4;
    unsigned int sourceWidth = 1920;   // the pictures handed to addPicture
    unsigned int sourceHeight = 1080;
    unsigned int width = 1920;         // the file's pictures, scaled from the source
    unsigned int height = 1080;
    int fps = 30;
    unsigned int soundChannels = 2;    // of the samples handed to addSound, at soundRate
    unsigned int soundRate = 44100;
};

// The kind a file name asks for, by its extension (any case); false for another
bool videoKindOf(const std::string& path, VideoKind& kind);
const char* videoKindText(VideoKind kind); // "H.264 and AAC", "VP9 and Opus"

class VideoFile {
public:
    VideoFile();
    ~VideoFile(); // Closes the file if still open; the caller removes what an unfinished one left
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    bool open(const std::string& path, const VideoFormat& format); // Creates the file and sets the encoders up
    // The next picture, rows top to bottom `stride` bytes apart (negative
    // when the rows lie bottom-up in memory), each pixel R, G, B and an alpha
    // that is ignored
    bool addPicture(const std::uint8_t* firstRow, int stride);
    bool addSound(const float* samples, int frames); // Interleaved, at the format's rate and channels
    bool finish();      // Flushes the encoders and closes the file
    const std::string& error() const; // What went wrong, after a call returned false: "No space left on device"

private:
    struct Parts;
    std::unique_ptr<Parts> parts;
};
