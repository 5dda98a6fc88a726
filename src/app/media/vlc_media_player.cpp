#include "app/media/vlc_media_player.h"

#include <dlfcn.h>
#include <libyuv/scale.h>
#include <vlc/vlc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "app/media/sound_output.h"
#include "app/media/vlc_display/display_bridge.h"
#include "base/log.h"
#include "base/paths.h"

namespace vocalis {

namespace {

// Frames larger than this are refused: a hostile file must not make us allocate gigabytes.
constexpr int kMaxFrameSide = 8192;
// Frames kept for reuse once the sink has let go of them: the one the view shows, the one it
// may still be painting and the one libVLC writes.
constexpr std::size_t kFramePool = 3;

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

// libVLC's ALSA output leaves the ALSA library printing its own errors to standard error,
// some fifteen lines for every try at a device that is not there. libVLC reports the failure
// itself, so those lines are dropped: ALSA is asked once, before any player, to send its
// errors nowhere. ALSA stays loaded for that (libVLC's ALSA output would load it anyway).
void dropAlsaError(const char*, int, const char*, int, const char*, ...) {}

void quietAlsaOnce() {
    [[maybe_unused]] static const bool quiet = [] {
        void* alsa = ::dlopen("libasound.so.2", RTLD_NOW);
        if (!alsa) return false;
        using SetHandler = int (*)(decltype(&dropAlsaError));
        auto setHandler = reinterpret_cast<SetHandler>(::dlsym(alsa, "snd_lib_error_set_handler"));
        return setHandler && setHandler(&dropAlsaError) == 0;
    }();
}

// The player's own video output module, which libVLC loads from lib/vocalis/vlc beside the
// program's bin folder (the build tree and an install alike). libVLC reads its plugin folders
// once, when its first instance starts, so this runs before any instance is made. False
// when the module is not there: libVLC's memory output is used instead.
bool offerDisplayModule() {
    static const bool offered = [] {
        namespace fs = std::filesystem;
        const std::optional<std::string> modules = ownModulesFolder();
        if (!modules) return false;
        const fs::path folder = fs::path(*modules) / "vlc";
        if (!pathExists((folder / "libvocalis_display_plugin.so").string())) {
            logParts("No video output module in ", folder.string(),
                     "; libVLC's memory output copies each picture");
            return false;
        }
        std::string paths = folder.string();
        if (const char* others = std::getenv("VLC_PLUGIN_PATH"); others && *others)
            paths += std::string(":") + others;
        return ::setenv("VLC_PLUGIN_PATH", paths.c_str(), 1) == 0;
    }();
    return offered;
}

// Even sizes within bounds, as 4:2:0 pictures share one colour sample between two rows and
// two columns.
FrameSize evenFrameSize(FrameSize size) {
    const auto even = [](int side) { return std::clamp(side + side % 2, 2, kMaxFrameSide); };
    return {even(size.width), even(size.height)};
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
    std::optional<int> volumePercent;  // the player's own level, once set
    // The own sound path; none when the caller chose one of libVLC's outputs.
    std::unique_ptr<SoundOutput> sound;
    // Our own reference to the loaded media; changed only while no libVLC thread plays it.
    std::atomic<libvlc_media_t*> media{nullptr};
    libvlc_media_t* prepared = nullptr;  // read ahead, never played

    // Posted tasks check this token, so none touches a destroyed player.
    std::shared_ptr<int> alive = std::make_shared<int>(0);
    // Bumped whenever the media changes; events of an older media are dropped.
    std::atomic<std::uint64_t> generation{0};

    // What the media does, decided here: play(), pause() and stop() set it at once; of
    // libVLC's events only those of things the media does by itself (opening, its end, a
    // failure) change it. libVLC's own Playing and Paused merely follow our requests, late.
    enum class Phase { Stopped, Opening, Playing, PausedByRequest, Ended, Failed };

    // Main-thread view of the current (or last unloaded) media, built from its events.
    bool loaded = false;
    bool unopenable = false;  // libVLC refused to even create the media
    bool stopRequested = false;
    Phase phase = Phase::Stopped;
    float played = 0.0f;
    std::int64_t timeMs = 0;
    std::int64_t lengthMs = -1;
    // The audio track asked for (0 first, 1 second), chosen once libVLC knows the tracks.
    std::size_t wantedAudio = 0;
    // No sound output could be opened for this media: it plays without sound.
    bool silent = false;
    // "--no-audio": no sound is decoded at all. libVLC still lists the tracks, but selecting
    // one would decode it, so the choice is only kept.
    bool noAudio = false;
    // Told once per loss of the sound output, until a media plays sound again.
    bool soundLost = false;
    // The media whose failure to open a sound output was handled (libVLC's thread).
    std::atomic<std::uint64_t> silencedGeneration{0};
    // Video streams now open, and the most that were open at once: libVLC closes them at the
    // end and may reopen them under new ids when a stream restarts.
    std::set<std::int64_t> videoTracks;
    int mostVideoTracks = 0;
    int streams = 0;

    // Pictures come through the player's own video output (uncopied) rather than libVLC's
    // memory output; the bridge is how that module finds this player.
    bool ownDisplay = false;
    DisplayBridge bridge;
    // The graphics card decodes the video now playing (VA-API), as the output was told.
    std::atomic<bool> hardwareDecoding{false};

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
            case libvlc_MediaPlayerPlaying:
                if (phase == Phase::Opening) setPhase(Phase::Playing);
                break;
            case libvlc_MediaPlayerStopped:
                // libVLC may add a Stopped of its own after the end or an error; only a stop
                // that was asked for replaces those.
                if ((phase == Phase::Ended || phase == Phase::Failed) && !stopRequested) break;
                setPhase(Phase::Stopped);
                break;
            case libvlc_MediaPlayerEndReached:
                if (phase == Phase::Failed) break;
                if (streams == 0 && played == 0.0f && timeMs == 0) {
                    // libVLC "ends" a file it could not read at all; that is an error.
                    setPhase(Phase::Failed);
                    break;
                }
                if (played > 0.0f || timeMs > 0) {
                    played = 1.0f;
                    if (lengthMs > 0) timeMs = lengthMs;
                }
                // libVLC has closed the media; the engine expects it to rest on its end.
                setPhase(Phase::Ended);
                break;
            case libvlc_MediaPlayerEncounteredError:
                setPhase(Phase::Failed);
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
                if (event.trackType == libvlc_track_audio) selectWantedAudio();
                break;
            case libvlc_MediaPlayerESDeleted:
                if (event.trackType == libvlc_track_video) videoTracks.erase(event.number);
                break;
            default:
                break;
        }
    }

    static PlayerState stateOf(Phase phase) {
        switch (phase) {
            case Phase::Opening:
                return PlayerState::Opening;
            case Phase::Playing:
                return PlayerState::Playing;
            case Phase::PausedByRequest:
            case Phase::Ended:
                return PlayerState::Paused;
            case Phase::Failed:
                return PlayerState::Error;
            case Phase::Stopped:
                break;
        }
        return PlayerState::Stopped;
    }

    // The delegate hears of a change on a later turn of the main thread, so it is never
    // called back from inside one of its own requests.
    void setPhase(Phase next) {
        if (next == phase) return;
        phase = next;
        const std::uint64_t expected = generation.load();
        std::weak_ptr<int> alive = this->alive;
        scheduler.post([this, alive, expected] {
            if (alive.expired() || expected != generation.load() || !loaded) return;
            if (delegate) delegate->mediaPlayerStateChanged();
        });
    }

    // --- audio tracks -------------------------------------------------------------------

    // The file's audio tracks, without "audio off".
    std::vector<int> audioTracks() const {
        std::vector<int> ids;
        libvlc_track_description_t* list = libvlc_audio_get_track_description(player);
        for (auto* track = list; track; track = track->p_next)
            if (track->i_id >= 0) ids.push_back(track->i_id);
        if (list) libvlc_track_description_list_release(list);
        return ids;
    }

    std::optional<int> wantedAudioTrack() const {
        const std::vector<int> ids = audioTracks();
        if (ids.empty()) return std::nullopt;
        return wantedAudio < ids.size() ? ids[wantedAudio] : ids.front();
    }

    // The file's default-track flags are not trusted: the choice is made here, again each
    // time libVLC finds another audio track.
    void selectWantedAudio() {
        if (soundOff()) return;
        const auto track = wantedAudioTrack();
        if (track && libvlc_audio_get_track(player) != *track) libvlc_audio_set_track(player, *track);
    }

    // --- sound output -------------------------------------------------------------------

    bool soundOff() const { return silent || noAudio; }

    // On libVLC's decoder thread, which tries to open a sound output again for every block
    // it decodes: the main thread turns the sound off for this media instead.
    void soundOutputFailed() {
        const std::uint64_t failed = generation.load();
        if (silencedGeneration.exchange(failed) == failed) return;
        std::weak_ptr<int> alive = this->alive;
        scheduler.post([this, alive, failed] {
            if (alive.expired() || failed != generation.load() || !loaded) return;
            silent = true;
            libvlc_audio_set_track(player, -1);
            if (!soundLost) logLine("No sound output can be opened; playing without sound");
            soundLost = true;
        });
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
        const FrameSize wanted = self->startVideo(sourceWidth, sourceHeight);
        // The decoders' own layout: libVLC converts nothing (it only scales to a size that
        // differs from the source's), and the view turns it into colours as it paints.
        std::memcpy(chroma, "I420", 4);
        *width = static_cast<unsigned>(wanted.width);
        *height = static_cast<unsigned>(wanted.height);
        pitches[0] = static_cast<unsigned>(wanted.width);
        pitches[1] = pitches[2] = static_cast<unsigned>(wanted.width / 2);
        lines[0] = static_cast<unsigned>(wanted.height);
        lines[1] = lines[2] = static_cast<unsigned>(wanted.height / 2);
        // libVLC 3's memory output copies each picture into the one locked here whatever
        // the count, so one is enough.
        return 1;
    }

    // The size the frames of a video starting now should have; the pool of the last one goes.
    FrameSize startVideo(int sourceWidth, int sourceHeight) {
        FrameSize wanted = options.videoSink->frameSizeFor(sourceWidth, sourceHeight);
        if (wanted.width <= 0 || wanted.height <= 0) wanted = {sourceWidth, sourceHeight};
        wanted = evenFrameSize(wanted);
        std::lock_guard lock(videoMutex);
        frameSize = wanted;
        framePool.clear();
        drawing.reset();
        return wanted;
    }

    // A frame of our own at the current size: one nobody else holds any more, else a new one.
    // Called with videoMutex held.
    std::shared_ptr<VideoFrame> reusableFrame() {
        for (auto& candidate : framePool) {
            if (candidate.use_count() == 1) return candidate;
        }
        auto frame = std::make_shared<VideoFrame>();
        frame->width = frameSize.width;
        frame->height = frameSize.height;
        frame->pixels.resize(frame->byteSize());
        if (framePool.size() < kFramePool) framePool.push_back(frame);
        return frame;
    }

    static void* onVideoLock(void* opaque, void** planes) {
        auto* self = static_cast<Impl*>(opaque);
        std::lock_guard lock(self->videoMutex);
        std::shared_ptr<VideoFrame> frame = self->reusableFrame();
        self->drawing = frame;
        for (int plane = 0; plane < 3; ++plane) planes[plane] = frame->plane(plane);
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

    // --- the player's own video output (see vlc_display/) ------------------------------

    static void onDisplayStart(void* opaque, int width, int height, unsigned sarNum, unsigned sarDen,
                               bool hardware) {
        static_cast<Impl*>(opaque)->hardwareDecoding = hardware;
        if (sarNum > 0 && sarDen > 0)
            width = static_cast<int>(
                std::clamp<std::int64_t>(std::int64_t{width} * sarNum / sarDen, 1, kMaxFrameSide));
        static_cast<Impl*>(opaque)->startVideo(width, height);
    }

    // A decoded picture, shown as it is when it has the frames' size (the usual case: a video
    // made for the screen it plays on), else scaled once into a frame of our own.
    static void onDisplayShow(void* opaque, const DisplayPicture& shown) {
        auto* self = static_cast<Impl*>(opaque);
        std::shared_ptr<picture_t> picture(shown.picture, shown.release);
        if (shown.width <= 0 || shown.height <= 0 || shown.width > kMaxFrameSide ||
            shown.height > kMaxFrameSide)
            return;
        std::array<const std::uint8_t*, 3> planes{};
        std::array<int, 3> strides{};
        for (std::size_t plane = 0; plane < 3; ++plane) {
            const int down = plane == 0 ? 1 : 2;
            strides[plane] = shown.strides[plane];
            planes[plane] = shown.planes[plane] +
                            static_cast<std::ptrdiff_t>(shown.y / down) * shown.strides[plane] +
                            shown.x / down;
        }
        std::shared_ptr<VideoFrame> frame;
        {
            std::lock_guard lock(self->videoMutex);
            const FrameSize wanted = self->frameSize, even = evenFrameSize({shown.width, shown.height});
            if (wanted.width == even.width && wanted.height == even.height) {
                frame = std::make_shared<VideoFrame>();
                frame->width = shown.width;
                frame->height = shown.height;
                frame->held = VideoFrame::Held{planes, strides, std::move(picture)};
            } else {
                frame = self->reusableFrame();
            }
        }
        if (!frame->held) {
            // The frame is ours alone until it is handed over: nobody else holds a pooled
            // frame that reusableFrame() returns.
            libyuv::I420Scale(planes[0], strides[0], planes[1], strides[1], planes[2], strides[2],
                              shown.width, shown.height, frame->plane(0), frame->stride(0), frame->plane(1),
                              frame->stride(1), frame->plane(2), frame->stride(2), frame->width,
                              frame->height, libyuv::kFilterBilinear);
        }
        self->options.videoSink->presentFrame(std::move(frame));
    }

    // --- own sound path ----------------------------------------------------------------

    static void onAudioPlay(void* opaque, const void* samples, unsigned count, std::int64_t pts) {
        static_cast<Impl*>(opaque)->sound->play(
            std::span<const std::int16_t>(static_cast<const std::int16_t*>(samples),
                                          static_cast<std::size_t>(count) * 2),
            pts);
    }
    static void onAudioPause(void* opaque, std::int64_t pts) {
        static_cast<Impl*>(opaque)->sound->pause(pts);
    }
    static void onAudioResume(void* opaque, std::int64_t pts) {
        static_cast<Impl*>(opaque)->sound->resume(pts);
    }
    static void onAudioFlush(void* opaque, std::int64_t) { static_cast<Impl*>(opaque)->sound->flush(); }
    static void onAudioDrain(void* opaque) { static_cast<Impl*>(opaque)->sound->drain(); }

    // Before libVLC stops a media: its end of sound is not waited for.
    void interruptSound() {
        if (sound) sound->interrupt();
    }

    // --- logging ------------------------------------------------------------------------

    static void onLog(void* opaque, int level, const libvlc_log_t* context, const char* format,
                      va_list args) {
        if (level < LIBVLC_ERROR) return;
        const char* object = nullptr;
        const char* header = nullptr;
        std::uintptr_t id = 0;
        libvlc_log_get_object(context, &object, &header, &id);
        // Each try at a sound output that fails says so in several lines; the decoder's
        // message below stands for them all.
        if (object && std::strcmp(object, "audio output") == 0) return;
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        auto* self = static_cast<Impl*>(opaque);
        if (std::strcmp(line, "failed to create audio output") == 0) {
            self->soundOutputFailed();
            return;
        }
        // The sound decoder has nowhere to send its samples, so playback starts without it.
        if (std::strcmp(line, "buffer deadlock prevented") == 0 &&
            self->silencedGeneration.load() == self->generation.load())
            return;
        // At every video start the decoder offers hardware surfaces that the frame callbacks
        // cannot take before it falls back to plain pictures; those refusals are not faults
        // (nor is VDPAU's, which needs the Xlib the player keeps libVLC from).
        static constexpr const char* kNegotiation[] = {
            "Failed to create video converter", "Too high level of recursion",
            "Failed to adapt decoder format",   "video output creation failed",
            "failed to create video output",    "Xlib is required for VDPAU"};
        for (const char* noise : kNegotiation) {
            if (std::strncmp(line, noise, std::strlen(noise)) == 0) return;
        }
        logParts("libVLC: ", line);
    }

    // --- libVLC's player -----------------------------------------------------------------

    // libVLC opens its sound output with its player and keeps it, also once it has gone bad
    // (a sound server that restarted): a fresh player tries the sound again.
    bool createPlayer() {
        player = libvlc_media_player_new(vlc);
        if (!player) return false;
        libvlc_event_manager_t* events = libvlc_media_player_event_manager(player);
        for (libvlc_event_e type :
             {libvlc_MediaPlayerPlaying, libvlc_MediaPlayerStopped, libvlc_MediaPlayerEndReached,
              libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged,
              libvlc_MediaPlayerLengthChanged, libvlc_MediaPlayerPositionChanged, libvlc_MediaPlayerESAdded,
              libvlc_MediaPlayerESDeleted}) {
            libvlc_event_attach(events, type, &Impl::onEvent, this);
        }
        if (options.videoSink && !ownDisplay) {
            libvlc_video_set_callbacks(player, &Impl::onVideoLock, &Impl::onVideoUnlock,
                                       &Impl::onVideoDisplay, this);
            libvlc_video_set_format_callbacks(player, &Impl::onVideoFormat, nullptr);
        }
        if (sound) {
            libvlc_audio_set_callbacks(player, &Impl::onAudioPlay, &Impl::onAudioPause, &Impl::onAudioResume,
                                       &Impl::onAudioFlush, &Impl::onAudioDrain, this);
            libvlc_audio_set_format(player, "S16N", SoundOutput::kRate, 2);
        }
        applyEqualizer();
        if (volumePercent) libvlc_audio_set_volume(player, *volumePercent);
        return true;
    }

    void releasePlayer() {
        if (!player) return;
        interruptSound();
        // Stopping joins libVLC's threads, so no callback runs into a released player.
        libvlc_media_player_stop(player);
        libvlc_media_player_release(player);
        player = nullptr;
    }

    // --- equalizer ----------------------------------------------------------------------

    void applyEqualizer() {
        if (player) libvlc_media_player_set_equalizer(player, equalizerEnabled ? equalizer : nullptr);
    }
};

std::vector<std::string> VlcMediaPlayer::headlessArguments() { return {"--aout=adummy", "--vout=vdummy"}; }

std::vector<std::string> VlcMediaPlayer::soundlessArguments() { return {"--aout=adummy", "--no-audio"}; }

VlcMediaPlayer::VlcMediaPlayer(Scheduler& scheduler, VlcPlayerOptions options)
    : impl_(std::make_unique<Impl>(scheduler, std::move(options))) {
    quietAlsaOnce();
    Impl& d = *impl_;
    d.noAudio = hasOption(d.options.arguments, "--no-audio");
    // Statistics stay on: each media's shown and lost pictures are logged when it is unloaded.
    std::vector<std::string> arguments = {"--no-video-title-show", "--no-osd", "--no-snapshot-preview",
                                          "--no-xlib", "--quiet"};
    if (!d.options.videoSink && !hasOption(d.options.arguments, "--vout")) {
        arguments.push_back("--vout=vdummy");
    }
    arguments.insert(arguments.end(), d.options.arguments.begin(), d.options.arguments.end());
    std::vector<const char*> argv;
    for (const auto& argument : arguments) argv.push_back(argument.c_str());

    if (d.options.pcmTap || !hasOption(d.options.arguments, "--aout")) {
        d.sound = std::make_unique<SoundOutput>([] { return libvlc_clock(); }, d.options.pcmTap);
    }
    // A sink takes the pictures whatever output the arguments name, as with the video callbacks.
    const bool offerOwnDisplay = d.options.videoSink && offerDisplayModule();
    if (offerOwnDisplay) {
        d.bridge.opaque = &d;
        d.bridge.start = &Impl::onDisplayStart;
        d.bridge.show = &Impl::onDisplayShow;
        char address[2 * sizeof(void*) + 1];
        std::snprintf(address, sizeof address, "%llx",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&d.bridge)));
        // This output and no other: while a hardware decoder's pictures are negotiated libVLC
        // would otherwise try its other outputs, and the window one of them opens stays over ours.
        const std::string vout = std::string("--vout=") + kDisplayModuleName + ",none";
        const std::string bridge = std::string("--") + kDisplayBridgeOption + "=" + address;
        std::vector<const char*> own = argv;
        own.insert(own.end(), {vout.c_str(), bridge.c_str()});
        d.vlc = libvlc_new(static_cast<int>(own.size()), own.data());
        d.ownDisplay = d.vlc != nullptr;
        if (!d.vlc) logLine("The player's own video output did not load; libVLC's memory output is used");
    }
    if (!d.vlc) d.vlc = libvlc_new(static_cast<int>(argv.size()), argv.data());
    if (!d.vlc) {
        logLine("Unable to start the media engine (libVLC)");
        return;
    }
    libvlc_log_set(d.vlc, &Impl::onLog, &d);
    d.equalizer = libvlc_audio_equalizer_new();
    if (!d.equalizer || !d.createPlayer()) logLine("Unable to create the media player (libVLC)");
}

VlcMediaPlayer::~VlcMediaPlayer() {
    Impl& d = *impl_;
    d.releasePlayer();
    if (libvlc_media_t* media = d.media.exchange(nullptr)) libvlc_media_release(media);
    if (d.prepared) libvlc_media_release(d.prepared);
    if (d.equalizer) libvlc_audio_equalizer_release(d.equalizer);
    if (d.vlc) libvlc_release(d.vlc);
}

void VlcMediaPlayer::prepare(const Media& media) {
    Impl& d = *impl_;
    if (!isReady() || d.prepared) return;
    d.prepared = media.isUrl ? libvlc_media_new_location(d.vlc, media.location.c_str())
                             : libvlc_media_new_path(d.vlc, media.location.c_str());
    if (d.prepared) libvlc_media_parse_with_options(d.prepared, libvlc_media_parse_network, 5000);
}

bool VlcMediaPlayer::isReady() const { return impl_->player && impl_->equalizer; }

void VlcMediaPlayer::setVolume(float fraction) {
    if (!isReady()) return;
    const float level = std::clamp(finiteOrZero(fraction), 0.0f, 1.0f);
    impl_->volumePercent = static_cast<int>(std::lround(level * 100.0f));
    libvlc_audio_set_volume(impl_->player, *impl_->volumePercent);
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
    std::size_t wantedAudio = 0;
    if (media) {
        next = media->isUrl ? libvlc_media_new_location(d.vlc, media->location.c_str())
                            : libvlc_media_new_path(d.vlc, media->location.c_str());
        for (const auto& option : media->options) {
            // The track is chosen once the media's tracks are known: libVLC plays no sound
            // at all for a track number the file does not have.
            static constexpr std::string_view kAudioTrack = ":audio-track=";
            if (option.rfind(kAudioTrack, 0) == 0) {
                wantedAudio = option.substr(kAudioTrack.size()) == "1" ? 1 : 0;
            } else if (next) {
                libvlc_media_add_option(next, option.c_str());
            }
        }
    }
    if (libvlc_media_t* previous = d.media.load()) {
        libvlc_media_stats_t stats{};
        if (libvlc_media_get_stats(previous, &stats)) {
            if (stats.i_displayed_pictures > 0)
                logParts("Pictures of the last media: ", stats.i_displayed_pictures, " shown, lost ",
                         stats.i_lost_pictures,
                         d.hardwareDecoding ? ", decoded by the graphics hardware" : "");
            if (stats.i_played_abuffers > 0 && d.soundLost) {
                logLine("Sound output works again");
                d.soundLost = false;
            }
        }
    }
    if (d.silent) {
        d.silent = false;
        d.releasePlayer();
        if (!d.createPlayer()) {
            logLine("Unable to create the media player (libVLC)");
            if (next) libvlc_media_release(next);
            if (libvlc_media_t* previous = d.media.exchange(nullptr)) libvlc_media_release(previous);
            d.loaded = false;
            return;
        }
    }
    // This stops the previous media and joins its threads; its late events carry the old
    // generation and are dropped.
    d.interruptSound();
    libvlc_media_player_set_media(d.player, next);
    if (libvlc_media_t* previous = d.media.exchange(next)) libvlc_media_release(previous);
    ++d.generation;

    d.loaded = media.has_value();
    d.phase = Impl::Phase::Stopped;
    if (!media) return;  // what is known of the unloaded media stays readable
    d.unopenable = next == nullptr;
    d.stopRequested = false;
    d.played = 0.0f;
    d.timeMs = 0;
    d.lengthMs = -1;
    d.videoTracks.clear();
    d.mostVideoTracks = 0;
    d.streams = 0;
    d.wantedAudio = wantedAudio;
    if (d.unopenable) logParts("Unable to open media: ", media->location);
}

bool VlcMediaPlayer::hasMedia() const { return impl_->loaded; }

void VlcMediaPlayer::play() {
    Impl& d = *impl_;
    if (!isReady() || !d.loaded) return;
    using Phase = Impl::Phase;
    // A media that ended or failed stays so; each playback gets a fresh media.
    if (d.phase == Phase::Ended || d.phase == Phase::Failed) return;
    d.stopRequested = false;
    if (d.sound) d.sound->prepare();
    if (d.unopenable || libvlc_media_player_play(d.player) != 0) {
        d.postFailure();
        return;
    }
    d.setPhase(d.phase == Phase::PausedByRequest ? Phase::Playing
               : d.phase == Phase::Stopped       ? Phase::Opening
                                                 : d.phase);
}

void VlcMediaPlayer::pause() {
    Impl& d = *impl_;
    if (!isReady() || !d.loaded) return;
    if (d.phase != Impl::Phase::Opening && d.phase != Impl::Phase::Playing) return;
    // libVLC takes requests in the order they are made, also while the media still opens.
    d.setPhase(Impl::Phase::PausedByRequest);
    libvlc_media_player_set_pause(d.player, 1);
}

void VlcMediaPlayer::stop() {
    Impl& d = *impl_;
    if (!isReady()) return;
    d.stopRequested = true;
    d.interruptSound();
    libvlc_media_player_stop(d.player);
    if (d.loaded) d.setPhase(Impl::Phase::Stopped);
}

bool VlcMediaPlayer::isPlaying() const {
    return impl_->loaded && (impl_->phase == Impl::Phase::Opening || impl_->phase == Impl::Phase::Playing);
}

PlayerState VlcMediaPlayer::state() const { return Impl::stateOf(impl_->phase); }

bool VlcMediaPlayer::hasEnded() const { return impl_->loaded && impl_->phase == Impl::Phase::Ended; }

float VlcMediaPlayer::position() const { return impl_->played; }

int VlcMediaPlayer::videoTrackCount() const { return impl_->mostVideoTracks; }

std::int64_t VlcMediaPlayer::time() const { return impl_->loaded ? impl_->timeMs : 0; }

std::optional<std::int64_t> VlcMediaPlayer::remainingTime() const {
    const auto total = length();
    if (!total) return std::nullopt;
    return -std::max<std::int64_t>(0, *total - impl_->timeMs);
}

std::optional<std::int64_t> VlcMediaPlayer::length() const {
    const Impl& d = *impl_;
    if (!d.loaded || d.lengthMs <= 0) return std::nullopt;
    return d.lengthMs;
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
    // Without sound the track chosen still counts.
    if (impl_->soundOff()) return impl_->wantedAudioTrack().value_or(-1);
    return libvlc_audio_get_track(impl_->player);
}

void VlcMediaPlayer::setCurrentAudioTrackIndex(int index) {
    Impl& d = *impl_;
    if (!isReady() || !d.loaded) return;
    const std::vector<int> ids = d.audioTracks();
    const auto chosen = std::find(ids.begin(), ids.end(), index);
    if (chosen != ids.end()) d.wantedAudio = static_cast<std::size_t>(chosen - ids.begin());
    if (d.soundOff()) return;
    if (libvlc_audio_set_track(d.player, index) != 0) logParts("Unable to select audio track ", index);
}

void VlcMediaPlayer::setKeyShift(int semitones) {
    if (impl_->sound) impl_->sound->setKeyShift(semitones);
}

void VlcMediaPlayer::setCentreCancel(bool enabled) {
    if (impl_->sound) impl_->sound->setCentreCancel(enabled);
}

}  // namespace vocalis
