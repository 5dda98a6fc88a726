#include "app/media/vlc_media_player.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "base/log.h"

namespace vocalis {

namespace {

// Frames larger than this are refused: a hostile file must not make us allocate gigabytes.
constexpr int kMaxFrameSide = 8192;
// Frames kept for reuse once the sink has let go of them.
constexpr std::size_t kFramePool = 4;

// What one libVLC event carries, copied out on libVLC's thread.
struct PlayerEvent {
    libvlc_event_e type;
    std::int64_t number = 0;
    float fraction = 0.0f;
    libvlc_track_type_t trackType = libvlc_track_unknown;
};

float finiteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

bool hasOption(const std::vector<std::string>& arguments, const std::string& prefix) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [&](const std::string& a) { return a.rfind(prefix, 0) == 0; });
}

}  // namespace

struct VlcMediaPlayer::Impl {
    Impl(Scheduler& s, VlcPlayerOptions o) : scheduler(s), options(std::move(o)) {}

    Scheduler& scheduler;
    VlcPlayerOptions options;
    MediaPlayerDelegate* delegate = nullptr;

    libvlc_instance_t* vlc = nullptr;
    libvlc_media_player_t* player = nullptr;
    libvlc_equalizer_t* equalizer = nullptr;
    bool equalizerEnabled = false;
    // Our own reference to the loaded media; changed only while no libVLC thread plays it.
    std::atomic<libvlc_media_t*> media{nullptr};

    // Posted tasks check this token, so none touches a destroyed player.
    std::shared_ptr<int> alive = std::make_shared<int>(0);
    // Bumped whenever the media changes; events of an older media are dropped.
    std::atomic<std::uint64_t> generation{0};

    // Main-thread view of the current (or last unloaded) media, built from its events.
    bool loaded = false;
    bool unopenable = false;  // libVLC refused to even create the media
    bool wantsPlay = false;
    bool ended = false;
    bool failed = false;
    bool stopRequested = false;
    PlayerState current = PlayerState::Stopped;
    float played = 0.0f;
    std::int64_t timeMs = 0;
    std::int64_t lengthMs = -1;
    // Video streams now open, and the most that were open at once: libVLC closes them at the
    // end and may reopen them under new ids when a stream restarts.
    std::set<std::int64_t> videoTracks;
    int mostVideoTracks = 0;
    int streams = 0;

    // Video hand-over, on libVLC's video thread.
    std::mutex videoMutex;
    FrameSize frameSize;
    std::vector<std::shared_ptr<VideoFrame>> framePool;
    std::shared_ptr<VideoFrame> drawing;

    // --- events -------------------------------------------------------------------------

    static void onEvent(const libvlc_event_t* event, void* opaque) {
        auto* self = static_cast<Impl*>(opaque);
        PlayerEvent copy{static_cast<libvlc_event_e>(event->type)};
        switch (event->type) {
            case libvlc_MediaPlayerTimeChanged:
                copy.number = event->u.media_player_time_changed.new_time;
                break;
            case libvlc_MediaPlayerLengthChanged:
                copy.number = event->u.media_player_length_changed.new_length;
                break;
            case libvlc_MediaPlayerPositionChanged:
                copy.fraction = event->u.media_player_position_changed.new_position;
                break;
            case libvlc_MediaPlayerESAdded:
            case libvlc_MediaPlayerESDeleted:
                copy.trackType = event->u.media_player_es_changed.i_type;
                copy.number = event->u.media_player_es_changed.i_id;
                break;
            default:
                break;
        }
        const std::uint64_t generation = self->generation.load();
        std::weak_ptr<int> alive = self->alive;
        self->scheduler.post([self, alive, generation, copy] {
            if (alive.expired()) return;
            self->handle(generation, copy);
        });
    }

    void handle(std::uint64_t eventGeneration, const PlayerEvent& event) {
        if (eventGeneration != generation.load() || !loaded) return;
        switch (event.type) {
            case libvlc_MediaPlayerOpening:
                ended = false;
                setState(PlayerState::Opening);
                break;
            case libvlc_MediaPlayerPlaying:
                ended = false;
                wantsPlay = true;
                setState(PlayerState::Playing);
                break;
            case libvlc_MediaPlayerPaused:
                wantsPlay = false;
                setState(PlayerState::Paused);
                break;
            case libvlc_MediaPlayerStopped:
                // libVLC may add a Stopped of its own after the end or an error; only a stop
                // that was asked for replaces those.
                if ((ended || failed) && !stopRequested) break;
                wantsPlay = false;
                setState(PlayerState::Stopped);
                break;
            case libvlc_MediaPlayerEndReached:
                if (failed) break;
                if (streams == 0 && played == 0.0f && timeMs == 0) {
                    // libVLC "ends" a file it could not read at all; that is an error.
                    wantsPlay = false;
                    failed = true;
                    setState(PlayerState::Error);
                    break;
                }
                wantsPlay = false;
                ended = true;
                if (played > 0.0f || timeMs > 0) {
                    played = 1.0f;
                    if (lengthMs > 0) timeMs = lengthMs;
                }
                // libVLC has closed the media; the engine expects it to rest on its end.
                setState(PlayerState::Paused);
                break;
            case libvlc_MediaPlayerEncounteredError:
                wantsPlay = false;
                failed = true;
                setState(PlayerState::Error);
                break;
            case libvlc_MediaPlayerTimeChanged:
                timeMs = event.number;
                if (delegate) delegate->mediaPlayerTimeChanged();
                break;
            case libvlc_MediaPlayerLengthChanged:
                lengthMs = event.number;
                break;
            case libvlc_MediaPlayerPositionChanged:
                played = std::clamp(finiteOrZero(event.fraction), 0.0f, 1.0f);
                break;
            case libvlc_MediaPlayerESAdded:
                ++streams;
                if (event.trackType == libvlc_track_video) {
                    videoTracks.insert(event.number);
                    mostVideoTracks = std::max(mostVideoTracks, static_cast<int>(videoTracks.size()));
                }
                break;
            case libvlc_MediaPlayerESDeleted:
                if (event.trackType == libvlc_track_video) videoTracks.erase(event.number);
                break;
            default:
                break;
        }
    }

    void setState(PlayerState next) {
        if (next == current) return;
        current = next;
        if (delegate) delegate->mediaPlayerStateChanged();
    }

    // Reports a media that cannot start like libVLC reports an unreadable one.
    void postFailure() {
        const std::uint64_t expected = generation.load();
        std::weak_ptr<int> alive = this->alive;
        scheduler.post([this, alive, expected] {
            if (alive.expired()) return;
            handle(expected, PlayerEvent{libvlc_MediaPlayerEncounteredError});
        });
    }

    // --- video --------------------------------------------------------------------------

    static unsigned onVideoFormat(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                  unsigned* pitches, unsigned* lines) {
        auto* self = static_cast<Impl*>(*opaque);
        // libVLC passes the decoder's padded buffer size; the container knows the picture's.
        int sourceWidth = static_cast<int>(*width);
        int sourceHeight = static_cast<int>(*height);
        if (libvlc_media_t* media = self->media.load()) {
            libvlc_media_track_t** tracks = nullptr;
            const unsigned count = libvlc_media_tracks_get(media, &tracks);
            for (unsigned i = 0; i < count; ++i) {
                const libvlc_media_track_t* track = tracks[i];
                if (track->i_type != libvlc_track_video || !track->video) continue;
                if (track->video->i_width == 0 || track->video->i_height == 0) continue;
                sourceWidth = static_cast<int>(track->video->i_width);
                sourceHeight = static_cast<int>(track->video->i_height);
                if (track->video->i_sar_num > 0 && track->video->i_sar_den > 0) {
                    sourceWidth = static_cast<int>(static_cast<std::int64_t>(sourceWidth) *
                                                   track->video->i_sar_num / track->video->i_sar_den);
                }
                break;
            }
            if (tracks) libvlc_media_tracks_release(tracks, count);
        }
        FrameSize wanted = self->options.videoSink->frameSizeFor(sourceWidth, sourceHeight);
        if (wanted.width <= 0 || wanted.height <= 0) wanted = {sourceWidth, sourceHeight};
        wanted.width = std::clamp(wanted.width, 1, kMaxFrameSide);
        wanted.height = std::clamp(wanted.height, 1, kMaxFrameSide);
        {
            std::lock_guard lock(self->videoMutex);
            self->frameSize = wanted;
            self->framePool.clear();
            self->drawing.reset();
        }
        std::memcpy(chroma, "RV32", 4);
        *width = static_cast<unsigned>(wanted.width);
        *height = static_cast<unsigned>(wanted.height);
        pitches[0] = static_cast<unsigned>(wanted.width * 4);
        lines[0] = static_cast<unsigned>(wanted.height);
        return 1;
    }

    static void* onVideoLock(void* opaque, void** planes) {
        auto* self = static_cast<Impl*>(opaque);
        std::lock_guard lock(self->videoMutex);
        // Reuse a frame nobody else holds any more; otherwise make a new one.
        std::shared_ptr<VideoFrame> frame;
        for (auto& candidate : self->framePool) {
            if (candidate.use_count() == 1) {
                frame = candidate;
                break;
            }
        }
        if (!frame) {
            frame = std::make_shared<VideoFrame>();
            frame->width = self->frameSize.width;
            frame->height = self->frameSize.height;
            frame->pixels.resize(static_cast<std::size_t>(frame->width) * frame->height * 4);
            if (self->framePool.size() < kFramePool) self->framePool.push_back(frame);
        }
        self->drawing = frame;
        planes[0] = frame->pixels.data();
        return frame.get();
    }

    static void onVideoUnlock(void*, void*, void* const*) {}

    static void onVideoDisplay(void* opaque, void* picture) {
        auto* self = static_cast<Impl*>(opaque);
        std::shared_ptr<VideoFrame> frame;
        {
            std::lock_guard lock(self->videoMutex);
            if (!self->drawing || self->drawing.get() != picture) return;
            frame = std::move(self->drawing);
        }
        self->options.videoSink->presentFrame(std::move(frame));
    }

    // --- sound tap ----------------------------------------------------------------------

    static void onAudioPlay(void* opaque, const void* samples, unsigned count, std::int64_t) {
        auto* self = static_cast<Impl*>(opaque);
        self->options.pcmTap(std::span<const std::int16_t>(static_cast<const std::int16_t*>(samples),
                                                           static_cast<std::size_t>(count) * kPcmChannels));
    }

    // --- logging ------------------------------------------------------------------------

    static void onLog(void*, int level, const libvlc_log_t*, const char* format, va_list args) {
        if (level < LIBVLC_ERROR) return;
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        // At every video start the decoder offers hardware surfaces that the frame callbacks
        // cannot take before it falls back to plain pictures; those refusals are not faults.
        static constexpr const char* kNegotiation[] = {
            "Failed to create video converter", "Too high level of recursion",
            "Failed to adapt decoder format", "video output creation failed",
            "failed to create video output"};
        for (const char* noise : kNegotiation) {
            if (std::strncmp(line, noise, std::strlen(noise)) == 0) return;
        }
        logParts("libVLC: ", line);
    }

    // --- equalizer ----------------------------------------------------------------------

    void applyEqualizer() {
        if (player) libvlc_media_player_set_equalizer(player, equalizerEnabled ? equalizer : nullptr);
    }
};

std::vector<std::string> VlcMediaPlayer::headlessArguments() { return {"--aout=adummy", "--vout=vdummy"}; }

VlcMediaPlayer::VlcMediaPlayer(Scheduler& scheduler, VlcPlayerOptions options)
    : impl_(std::make_unique<Impl>(scheduler, std::move(options))) {
    Impl& d = *impl_;
    // Statistics stay on: each media's shown and lost pictures are logged when it is unloaded.
    std::vector<std::string> arguments = {"--no-video-title-show", "--no-osd",
                                          "--no-snapshot-preview", "--no-xlib",  "--quiet"};
    if (!d.options.videoSink && !hasOption(d.options.arguments, "--vout")) {
        arguments.push_back("--vout=vdummy");
    }
    arguments.insert(arguments.end(), d.options.arguments.begin(), d.options.arguments.end());
    std::vector<const char*> argv;
    for (const auto& argument : arguments) argv.push_back(argument.c_str());

    d.vlc = libvlc_new(static_cast<int>(argv.size()), argv.data());
    if (!d.vlc) {
        logLine("Unable to start the media engine (libVLC)");
        return;
    }
    libvlc_log_set(d.vlc, &Impl::onLog, nullptr);
    d.player = libvlc_media_player_new(d.vlc);
    d.equalizer = libvlc_audio_equalizer_new();
    if (!d.player || !d.equalizer) {
        logLine("Unable to create the media player (libVLC)");
        return;
    }

    libvlc_event_manager_t* events = libvlc_media_player_event_manager(d.player);
    for (libvlc_event_e type :
         {libvlc_MediaPlayerOpening, libvlc_MediaPlayerPlaying, libvlc_MediaPlayerPaused,
          libvlc_MediaPlayerStopped, libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError,
          libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerLengthChanged, libvlc_MediaPlayerPositionChanged,
          libvlc_MediaPlayerESAdded, libvlc_MediaPlayerESDeleted}) {
        libvlc_event_attach(events, type, &Impl::onEvent, &d);
    }

    if (d.options.videoSink) {
        libvlc_video_set_callbacks(d.player, &Impl::onVideoLock, &Impl::onVideoUnlock, &Impl::onVideoDisplay,
                                   &d);
        libvlc_video_set_format_callbacks(d.player, &Impl::onVideoFormat, nullptr);
    }
    if (d.options.pcmTap) {
        libvlc_audio_set_callbacks(d.player, &Impl::onAudioPlay, nullptr, nullptr, nullptr, nullptr, &d);
        libvlc_audio_set_format(d.player, "S16N", kPcmRate, kPcmChannels);
    }
}

VlcMediaPlayer::~VlcMediaPlayer() {
    Impl& d = *impl_;
    if (d.player) {
        // Stopping joins libVLC's threads, so no callback runs into a destroyed player.
        libvlc_media_player_stop(d.player);
        libvlc_media_player_release(d.player);
    }
    if (libvlc_media_t* media = d.media.exchange(nullptr)) libvlc_media_release(media);
    if (d.equalizer) libvlc_audio_equalizer_release(d.equalizer);
    if (d.vlc) libvlc_release(d.vlc);
}

bool VlcMediaPlayer::isReady() const { return impl_->player && impl_->equalizer; }

void VlcMediaPlayer::setVolume(float fraction) {
    if (!isReady()) return;
    const float level = std::clamp(finiteOrZero(fraction), 0.0f, 1.0f);
    libvlc_audio_set_volume(impl_->player, static_cast<int>(std::lround(level * 100.0f)));
}

void VlcMediaPlayer::setDelegate(MediaPlayerDelegate* delegate) { impl_->delegate = delegate; }

void VlcMediaPlayer::setEqualizerEnabled(bool enabled) {
    if (!isReady()) return;
    impl_->equalizerEnabled = enabled;
    impl_->applyEqualizer();
}

void VlcMediaPlayer::setPreAmplification(float decibels) {
    if (!isReady()) return;
    // libVLC limits the gain to its own range (-20 to 20 dB).
    libvlc_audio_equalizer_set_preamp(impl_->equalizer, finiteOrZero(decibels));
    if (impl_->equalizerEnabled) impl_->applyEqualizer();
}

void VlcMediaPlayer::setAmplification(float decibels, int band) {
    if (!isReady() || band < 0 || static_cast<unsigned>(band) >= libvlc_audio_equalizer_get_band_count())
        return;
    libvlc_audio_equalizer_set_amp_at_index(impl_->equalizer, finiteOrZero(decibels),
                                            static_cast<unsigned>(band));
    if (impl_->equalizerEnabled) impl_->applyEqualizer();
}

void VlcMediaPlayer::setMedia(std::optional<Media> media) {
    Impl& d = *impl_;
    if (!isReady()) return;
    libvlc_media_t* next = nullptr;
    if (media) {
        next = media->isUrl ? libvlc_media_new_location(d.vlc, media->location.c_str())
                            : libvlc_media_new_path(d.vlc, media->location.c_str());
        if (next) {
            for (const auto& option : media->options) libvlc_media_add_option(next, option.c_str());
        }
    }
    if (libvlc_media_t* previous = d.media.load()) {
        libvlc_media_stats_t stats{};
        if (libvlc_media_get_stats(previous, &stats) && stats.i_displayed_pictures > 0)
            logParts("Pictures of the last media: ", stats.i_displayed_pictures, " shown, lost ",
                     stats.i_lost_pictures);
    }
    // This stops the previous media and joins its threads; its late events carry the old
    // generation and are dropped.
    libvlc_media_player_set_media(d.player, next);
    if (libvlc_media_t* previous = d.media.exchange(next)) libvlc_media_release(previous);
    ++d.generation;

    d.loaded = media.has_value();
    d.wantsPlay = false;
    d.current = PlayerState::Stopped;
    if (!media) return;  // what is known of the unloaded media stays readable
    d.unopenable = next == nullptr;
    d.stopRequested = false;
    d.ended = false;
    d.failed = false;
    d.played = 0.0f;
    d.timeMs = 0;
    d.lengthMs = -1;
    d.videoTracks.clear();
    d.mostVideoTracks = 0;
    d.streams = 0;
    if (d.unopenable) logParts("Unable to open media: ", media->location);
}

bool VlcMediaPlayer::hasMedia() const { return impl_->loaded; }

void VlcMediaPlayer::play() {
    Impl& d = *impl_;
    if (!isReady() || !d.loaded) return;
    d.stopRequested = false;
    if (d.unopenable || libvlc_media_player_play(d.player) != 0) {
        d.postFailure();
        return;
    }
    d.wantsPlay = true;
}

void VlcMediaPlayer::pause() {
    Impl& d = *impl_;
    if (!isReady() || !d.loaded) return;
    libvlc_media_player_set_pause(d.player, 1);
}

void VlcMediaPlayer::stop() {
    Impl& d = *impl_;
    if (!isReady()) return;
    d.wantsPlay = false;
    d.stopRequested = true;
    libvlc_media_player_stop(d.player);
}

bool VlcMediaPlayer::isPlaying() const { return impl_->loaded && impl_->wantsPlay; }

PlayerState VlcMediaPlayer::state() const { return impl_->current; }

float VlcMediaPlayer::position() const { return impl_->played; }

int VlcMediaPlayer::videoTrackCount() const { return impl_->mostVideoTracks; }

std::optional<std::int64_t> VlcMediaPlayer::remainingTime() const {
    const Impl& d = *impl_;
    if (!d.loaded || d.lengthMs <= 0) return std::nullopt;
    return -std::max<std::int64_t>(0, d.lengthMs - d.timeMs);
}

std::vector<int> VlcMediaPlayer::audioTrackIndexes() const {
    std::vector<int> ids;
    if (!isReady() || !impl_->loaded) return ids;
    libvlc_track_description_t* list = libvlc_audio_get_track_description(impl_->player);
    for (auto* track = list; track; track = track->p_next) ids.push_back(track->i_id);
    if (list) libvlc_track_description_list_release(list);
    return ids;
}

int VlcMediaPlayer::currentAudioTrackIndex() const {
    if (!isReady() || !impl_->loaded) return -1;
    return libvlc_audio_get_track(impl_->player);
}

void VlcMediaPlayer::setCurrentAudioTrackIndex(int index) {
    if (!isReady() || !impl_->loaded) return;
    if (libvlc_audio_set_track(impl_->player, index) != 0) logParts("Unable to select audio track ", index);
}

}  // namespace vocalis
