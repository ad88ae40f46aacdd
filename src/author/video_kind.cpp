// What a video file's name asks for, and the quality an export aims at:
// what the command line needs of video files without FFmpeg's libraries,
// which only the export program loads

#include "author/video_file.h"

#include <algorithm>
#include <cctype>

const VideoQuality videoQuality;

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

bool videoKindOf(const std::string& path, VideoKind& kind)
{
    const std::string name = lower(path);
    if (endsWith(name, ".mp4"))
        kind = VideoKind::Mp4;
    else if (endsWith(name, ".webm"))
        kind = VideoKind::WebM;
    else
        return false;
    return true;
}

const char* videoKindText(VideoKind kind)
{
    return kind == VideoKind::Mp4 ? "H.264 and AAC" : "VP9 and Opus";
}
