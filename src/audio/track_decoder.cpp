#include "audio/track_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <array>
#include <cmath>
#include <memory>

namespace vocalis {

namespace {

std::string errorText(int code) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

struct FormatClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using Format = std::unique_ptr<AVFormatContext, FormatClose>;
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;

// One audio track on its way to 16 kHz float: its decoder, its resampler and where its samples go
// (one channel, or left and right).
class TrackPipe {
  public:
    TrackPipe(const AVStream& stream, std::vector<float>* first, std::vector<float>* second)
        : stream_(stream), outputs_{first, second} {}

    std::string open() {
        const AVCodec* codec = avcodec_find_decoder(stream_.codecpar->codec_id);
        if (!codec) return "no decoder for audio track " + std::to_string(stream_.index);
        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_) return "out of memory";
        codec_->thread_count = 1;  // the reference is made on one core beside the playing song
        codec_->pkt_timebase = stream_.time_base;
        int error = avcodec_parameters_to_context(codec_.get(), stream_.codecpar);
        if (error >= 0) error = avcodec_open2(codec_.get(), codec, nullptr);
        if (error < 0)
            return "cannot open the decoder of track " + std::to_string(stream_.index) + ": " +
                   errorText(error);
        frame_.reset(av_frame_alloc());
        return frame_ ? "" : "out of memory";
    }

    int index() const { return stream_.index; }
    // Seconds at which the track's first decoded sound belongs, when its timestamps say.
    std::optional<double> start() const { return start_; }

    // A packet of this track; nullptr drains the decoder and the resampler at the end.
    void send(const AVPacket* packet) {
        // A packet the decoder cannot read is dropped; the next one goes on.
        avcodec_send_packet(codec_.get(), packet);
        while (avcodec_receive_frame(codec_.get(), frame_.get()) >= 0) {
            convert(frame_.get());
            av_frame_unref(frame_.get());
        }
        if (!packet) convert(nullptr);
    }

  private:
    void convert(const AVFrame* frame) {
        if (frame && !fits(*frame)) {
            convert(nullptr);  // what the old resampler still holds
            if (!makeResampler(*frame)) return;
            if (!start_ && frame->best_effort_timestamp != AV_NOPTS_VALUE)
                start_ = origin_ = secondsOf(*frame);
        }
        if (!resampler_) return;
        if (frame) fillGap(*frame);
        const int room = swr_get_out_samples(resampler_.get(), frame ? frame->nb_samples : 0);
        if (room <= 0) return;
        std::array<std::uint8_t*, 2> planes{};
        const std::size_t had = outputs_[0]->size();
        for (std::size_t i = 0; i < 2 && outputs_[i]; ++i) {
            outputs_[i]->resize(had + static_cast<std::size_t>(room));
            planes[i] = reinterpret_cast<std::uint8_t*>(outputs_[i]->data() + had);
        }
        const int made = swr_convert(resampler_.get(), planes.data(), room,
                                     frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                     frame ? frame->nb_samples : 0);
        for (std::size_t i = 0; i < 2 && outputs_[i]; ++i)
            outputs_[i]->resize(had + static_cast<std::size_t>(std::max(made, 0)));
    }

    double secondsOf(const AVFrame& frame) const {
        return double(frame.best_effort_timestamp) * av_q2d(stream_.time_base);
    }

    // Sound the decoder could not make (a damaged packet) is replaced by as much silence, so that the
    // track keeps time with the other one. A jump of more than a second is a new count of the
    // timestamps, not lost sound.
    void fillGap(const AVFrame& frame) {
        if (!origin_ || frame.best_effort_timestamp == AV_NOPTS_VALUE) return;
        const double made = double(outputs_[0]->size() + static_cast<std::size_t>(swr_get_delay(
                                                             resampler_.get(), SongSound::kRate)));
        const double gap = secondsOf(frame) - *origin_ - made / SongSound::kRate;
        if (gap > 1.0)
            *origin_ += gap;
        else if (gap > 0.005)
            swr_inject_silence(resampler_.get(), static_cast<int>(std::lround(gap * frame.sample_rate)));
    }

    // Whether the resampler was made for this frame's format.
    bool fits(const AVFrame& frame) const {
        return resampler_ && frame.format == format_ && frame.sample_rate == rate_ &&
               frame.ch_layout.nb_channels == channels_;
    }

    bool makeResampler(const AVFrame& frame) {
        resampler_.reset();
        AVChannelLayout in{}, out{};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame.ch_layout.nb_channels);
        else if (av_channel_layout_copy(&in, &frame.ch_layout) < 0)
            return false;
        av_channel_layout_default(&out, outputs_[1] ? 2 : 1);
        SwrContext* made = nullptr;
        const int error =
            swr_alloc_set_opts2(&made, &out, AV_SAMPLE_FMT_FLTP, SongSound::kRate, &in,
                                static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&out);
        resampler_.reset(made);
        if (error < 0 || swr_init(resampler_.get()) < 0) {
            resampler_.reset();
            return false;
        }
        format_ = frame.format, rate_ = frame.sample_rate, channels_ = frame.ch_layout.nb_channels;
        return true;
    }

    const AVStream& stream_;
    std::array<std::vector<float>*, 2> outputs_;
    Codec codec_;
    Frame frame_;
    Resampler resampler_;
    int format_ = -1, rate_ = 0, channels_ = 0;
    std::optional<double> start_;
    std::optional<double> origin_;  // the timestamp the track's samples count from
};

// Puts silence before a track whose sound starts after the file's start (its video, or the other
// track), so that its samples count time as the player does, from the start of the file.
void leadIn(const TrackPipe& pipe, const AVFormatContext& format, std::vector<float>* first,
            std::vector<float>* second) {
    if (!pipe.start() || format.start_time == AV_NOPTS_VALUE) return;
    const double late = *pipe.start() - double(format.start_time) / AV_TIME_BASE;
    if (late <= 0 || late > 10.0) return;  // timestamps that far apart say nothing useful
    const auto silence = static_cast<std::size_t>(std::lround(late * SongSound::kRate));
    for (std::vector<float>* channel : {first, second})
        if (channel) channel->insert(channel->begin(), silence, 0.0f);
}

}  // namespace

DecodedSong decodeSongSound(const std::filesystem::path& song, const std::atomic<bool>* cancel) {
    AVFormatContext* opened = nullptr;
    if (const int error = avformat_open_input(&opened, song.c_str(), nullptr, nullptr); error < 0)
        return {std::nullopt, "cannot open: " + errorText(error)};
    const Format format(opened);
    if (const int error = avformat_find_stream_info(format.get(), nullptr); error < 0)
        return {std::nullopt, "cannot read its tracks: " + errorText(error)};

    std::vector<const AVStream*> audio;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        AVStream* stream = format->streams[i];
        const bool wanted = stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && audio.size() < 2;
        if (wanted) audio.push_back(stream);
        stream->discard = wanted ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    if (audio.empty()) return {std::nullopt, "no audio track"};

    SongSound sound;
    std::vector<TrackPipe> pipes;
    pipes.reserve(2);
    if (audio.size() == 2) {
        sound.layout = SongSound::Layout::kTwoTracks;
        pipes.emplace_back(*audio[0], &sound.first, nullptr);
        pipes.emplace_back(*audio[1], &sound.second, nullptr);
    } else {
        const bool stereo = audio[0]->codecpar->ch_layout.nb_channels >= 2;
        sound.layout = stereo ? SongSound::Layout::kStereo : SongSound::Layout::kMono;
        pipes.emplace_back(*audio[0], &sound.first, stereo ? &sound.second : nullptr);
    }
    for (TrackPipe& pipe : pipes)
        if (std::string problem = pipe.open(); !problem.empty()) return {std::nullopt, problem};
    if (format->duration > 0) {
        const auto expected =
            static_cast<std::size_t>(double(format->duration) / AV_TIME_BASE * SongSound::kRate * 1.02);
        sound.first.reserve(expected);
        if (sound.layout != SongSound::Layout::kMono) sound.second.reserve(expected);
    }

    const Packet packet(av_packet_alloc());
    if (!packet) return {std::nullopt, "out of memory"};
    // A read error past the start ends the file where it is, as players do; what came before counts.
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return {std::nullopt, "cancelled"};
        for (TrackPipe& pipe : pipes)
            if (pipe.index() == packet->stream_index) pipe.send(packet.get());
        av_packet_unref(packet.get());
    }
    for (TrackPipe& pipe : pipes) pipe.send(nullptr);

    if (sound.first.empty() && sound.second.empty()) return {std::nullopt, "no sound could be decoded"};
    if (sound.layout == SongSound::Layout::kTwoTracks) {
        leadIn(pipes[0], *format, &sound.first, nullptr);
        leadIn(pipes[1], *format, &sound.second, nullptr);
    } else {
        leadIn(pipes[0], *format, &sound.first,
               sound.layout == SongSound::Layout::kStereo ? &sound.second : nullptr);
    }
    return {std::move(sound), ""};
}

void silenceDecoderMessages() { av_log_set_level(AV_LOG_QUIET); }

}  // namespace vocalis
