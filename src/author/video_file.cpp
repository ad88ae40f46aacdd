#include "author/video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <thread>

namespace {

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

struct VideoFile::Parts {
    VideoFormat format;
    std::string error;
    AVFormatContext* file = nullptr;
    bool fileOpen = false;   // the output's I/O is open
    bool headerWritten = false;
    AVCodecContext* video = nullptr;
    AVCodecContext* sound = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* soundStream = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr; // converted sound waiting for a whole encoder frame
    AVFrame* picture = nullptr;
    AVFrame* soundFrame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t picturesSent = 0;
    std::int64_t soundSent = 0; // samples at the track's rate

    ~Parts()
    {
        if (file && fileOpen)
            avio_closep(&file->pb);
        avformat_free_context(file);
        avcodec_free_context(&video);
        avcodec_free_context(&sound);
        sws_freeContext(scaler);
        swr_free(&resampler);
        if (fifo)
            av_audio_fifo_free(fifo);
        av_frame_free(&picture);
        av_frame_free(&soundFrame);
        av_packet_free(&packet);
    }

    bool fail(const std::string& what, int code)
    {
        error = code < 0 ? what + ": " + errorText(code) : what;
        return false;
    }

    // The write's own error when the output refused bytes, else the call's
    bool failWriting(int code)
    {
        if (file && file->pb && file->pb->error < 0)
            code = file->pb->error;
        return fail("writing", code);
    }

    // Every packet the encoder has ready, into the file
    bool drain(AVCodecContext* codec, AVStream* stream)
    {
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0)
                return fail("the encoder", got);
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(file, packet);
            if (written < 0 || (file->pb && file->pb->error < 0))
                return failWriting(written);
        }
    }

    bool encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame)
    {
        const int sent = avcodec_send_frame(codec, frame);
        if (sent < 0)
            return fail("the encoder", sent);
        return drain(codec, stream);
    }

    bool openVideo()
    {
        const bool mp4 = format.kind == VideoKind::Mp4;
        const char* name = mp4 ? "libx264" : "libvpx-vp9";
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (!codec)
            return fail(std::string("no ") + name + " encoder in this FFmpeg", 0);
        video = avcodec_alloc_context3(codec);
        video->width = static_cast<int>(format.width);
        video->height = static_cast<int>(format.height);
        video->time_base = AVRational{1, format.fps};
        video->framerate = AVRational{format.fps, 1};
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->gop_size = format.fps * videoQuality.keyFrameSeconds;
        // NOTE: HD pictures are taken as BT.709 by players; saying so keeps
        // the colours the same in every one of them
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_BT709;
        video->colorspace = AVCOL_SPC_BT709;
        video->color_range = AVCOL_RANGE_MPEG;
        video->thread_count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        if (file->oformat->flags & AVFMT_GLOBALHEADER)
            video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        if (mp4) {
            av_dict_set(&options, "preset", videoQuality.h264Preset, 0);
            av_dict_set_int(&options, "crf", videoQuality.h264Crf, 0);
            av_dict_set(&options, "profile", "high", 0);
        } else {
            av_dict_set_int(&options, "crf", videoQuality.vp9Crf, 0);
            av_dict_set(&options, "b", "0", 0);
            av_dict_set(&options, "deadline", "good", 0);
            av_dict_set_int(&options, "cpu-used", videoQuality.vp9CpuUsed, 0);
            av_dict_set(&options, "row-mt", "1", 0);
            av_dict_set(&options, "tile-columns", "2", 0);
        }
        const int opened = avcodec_open2(video, codec, &options);
        av_dict_free(&options);
        if (opened < 0)
            return fail(std::string("opening ") + name, opened);
        videoStream = avformat_new_stream(file, nullptr);
        videoStream->time_base = video->time_base;
        avcodec_parameters_from_context(videoStream->codecpar, video);

        scaler = sws_getContext(static_cast<int>(format.sourceWidth), static_cast<int>(format.sourceHeight),
                                AV_PIX_FMT_RGB0, video->width, video->height, AV_PIX_FMT_YUV420P,
                                format.width == format.sourceWidth ? SWS_POINT : SWS_AREA, nullptr, nullptr,
                                nullptr);
        if (!scaler)
            return fail("no picture conversion for that size", 0);
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        picture = av_frame_alloc();
        picture->format = video->pix_fmt;
        picture->width = video->width;
        picture->height = video->height;
        const int made = av_frame_get_buffer(picture, 0);
        return made < 0 ? fail("picture memory", made) : true;
    }

    bool openSound()
    {
        const bool mp4 = format.kind == VideoKind::Mp4;
        const char* name = mp4 ? "aac" : "libopus";
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (!codec)
            return fail(std::string("no ") + name + " encoder in this FFmpeg", 0);
        sound = avcodec_alloc_context3(codec);
        sound->sample_rate = videoQuality.soundRate;
        av_channel_layout_default(&sound->ch_layout, 2);
        sound->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        sound->bit_rate = mp4 ? videoQuality.aacBitRate : videoQuality.opusBitRate;
        sound->time_base = AVRational{1, sound->sample_rate};
        if (file->oformat->flags & AVFMT_GLOBALHEADER)
            sound->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int opened = avcodec_open2(sound, codec, nullptr);
        if (opened < 0)
            return fail(std::string("opening ") + name, opened);
        soundStream = avformat_new_stream(file, nullptr);
        soundStream->time_base = sound->time_base;
        avcodec_parameters_from_context(soundStream->codecpar, sound);

        AVChannelLayout in;
        av_channel_layout_default(&in, static_cast<int>(format.soundChannels));
        const int made = swr_alloc_set_opts2(&resampler, &sound->ch_layout, sound->sample_fmt, sound->sample_rate,
                                             &in, AV_SAMPLE_FMT_FLT, static_cast<int>(format.soundRate), 0, nullptr);
        av_channel_layout_uninit(&in);
        if (made < 0 || swr_init(resampler) < 0)
            return fail("no sound conversion from " + std::to_string(format.soundChannels) + " channels at " +
                            std::to_string(format.soundRate) + " Hz",
                        made);
        fifo = av_audio_fifo_alloc(sound->sample_fmt, sound->ch_layout.nb_channels, 4096);
        soundFrame = av_frame_alloc();
        return true;
    }

    // Whole encoder frames from the queue; with `all`, the last part too
    bool sendSound(bool all)
    {
        const int frameSize = sound->frame_size > 0 ? sound->frame_size : 1024;
        const bool smallLast = (sound->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
        while (av_audio_fifo_size(fifo) >= frameSize || (all && av_audio_fifo_size(fifo) > 0)) {
            const int available = av_audio_fifo_size(fifo);
            const int count = std::min(available, frameSize);
            av_frame_unref(soundFrame);
            soundFrame->nb_samples = count < frameSize && !smallLast ? frameSize : count;
            soundFrame->format = sound->sample_fmt;
            soundFrame->sample_rate = sound->sample_rate;
            av_channel_layout_copy(&soundFrame->ch_layout, &sound->ch_layout);
            const int made = av_frame_get_buffer(soundFrame, 0);
            if (made < 0)
                return fail("sound memory", made);
            if (count < soundFrame->nb_samples)
                av_samples_set_silence(soundFrame->extended_data, 0, soundFrame->nb_samples,
                                       sound->ch_layout.nb_channels, sound->sample_fmt);
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(soundFrame->extended_data), count);
            soundFrame->pts = soundSent;
            soundSent += soundFrame->nb_samples;
            if (!encode(sound, soundStream, soundFrame))
                return false;
        }
        return true;
    }

    bool convertSound(const float* samples, int frames)
    {
        const int room = swr_get_out_samples(resampler, frames);
        if (room <= 0)
            return true;
        std::uint8_t** converted = nullptr;
        if (av_samples_alloc_array_and_samples(&converted, nullptr, sound->ch_layout.nb_channels, room,
                                               sound->sample_fmt, 0) < 0)
            return fail("sound memory", 0);
        const std::uint8_t* in[] = {reinterpret_cast<const std::uint8_t*>(samples)};
        const int got = swr_convert(resampler, converted, room, samples ? in : nullptr, frames);
        if (got > 0)
            av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), got);
        av_freep(&converted[0]);
        av_freep(&converted);
        return got < 0 ? fail("sound conversion", got) : true;
    }
};

VideoFile::VideoFile() : parts(std::make_unique<Parts>()) {}

VideoFile::~VideoFile() = default;

const std::string& VideoFile::error() const
{
    return parts->error;
}

bool VideoFile::open(const std::string& path, const VideoFormat& format)
{
    Parts& p = *parts;
    p.format = format;
    // The libraries' own notes and statistics are not for authors: what
    // fails comes back as an error and is said in the program's own line
    av_log_set_level(AV_LOG_QUIET);
    const char* container = format.kind == VideoKind::Mp4 ? "mp4" : "webm";
    const int made = avformat_alloc_output_context2(&p.file, nullptr, container, path.c_str());
    if (made < 0 || !p.file)
        return p.fail(std::string("no ") + container + " writer in this FFmpeg", made);
    p.packet = av_packet_alloc();
    if (!p.openVideo() || !p.openSound())
        return false;
    const int opened = avio_open(&p.file->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0)
        return p.fail("creating the file", opened);
    p.fileOpen = true;
    AVDictionary* options = nullptr;
    // The index at the front: a browser or a chat starts playing before the
    // whole file has come
    if (format.kind == VideoKind::Mp4)
        av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(p.file, &options);
    av_dict_free(&options);
    if (header < 0)
        return p.failWriting(header);
    p.headerWritten = true;
    return true;
}

bool VideoFile::addPicture(const std::uint8_t* firstRow, int stride)
{
    Parts& p = *parts;
    const int writable = av_frame_make_writable(p.picture);
    if (writable < 0)
        return p.fail("picture memory", writable);
    const std::uint8_t* const rows[] = {firstRow};
    const int strides[] = {stride};
    sws_scale(p.scaler, rows, strides, 0, static_cast<int>(p.format.sourceHeight), p.picture->data,
              p.picture->linesize);
    p.picture->pts = p.picturesSent++;
    return p.encode(p.video, p.videoStream, p.picture);
}

bool VideoFile::addSound(const float* samples, int frames)
{
    Parts& p = *parts;
    return p.convertSound(samples, frames) && p.sendSound(false);
}

bool VideoFile::finish()
{
    Parts& p = *parts;
    // What the resampler holds back, then each encoder's last packets
    if (!p.convertSound(nullptr, 0) || !p.sendSound(true) || !p.encode(p.sound, p.soundStream, nullptr) ||
        !p.encode(p.video, p.videoStream, nullptr))
        return false;
    const int trailer = av_write_trailer(p.file);
    if (trailer < 0 || (p.file->pb && p.file->pb->error < 0))
        return p.failWriting(trailer);
    p.fileOpen = false;
    const int closed = avio_closep(&p.file->pb);
    return closed < 0 ? p.fail("closing the file", closed) : true;
}
