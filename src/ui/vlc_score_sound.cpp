#include "ui/vlc_score_sound.h"

#include <unistd.h>
#include <vlc/vlc.h>

#include "base/log.h"

namespace vocalis {

namespace {

constexpr int kVolumePercent = 60;  // 0.6

}  // namespace

struct VlcScoreSound::Impl {
    std::string file;
    std::vector<std::string> arguments;
    libvlc_instance_t* instance = nullptr;
    libvlc_media_player_t* player = nullptr;
    bool failedToStart = false;

    bool start() {
        if (instance) return true;
        if (failedToStart) return false;
        std::vector<const char*> argv;
        argv.reserve(arguments.size() + 2);
        argv.push_back("--no-video");
        argv.push_back("--quiet");
        for (const auto& argument : arguments) argv.push_back(argument.c_str());
        instance = libvlc_new(static_cast<int>(argv.size()), argv.data());
        if (!instance) {
            failedToStart = true;
            logLine("Score sound: libVLC did not start");
            return false;
        }
        player = libvlc_media_player_new(instance);
        if (!player) {
            libvlc_release(instance);
            instance = nullptr;
            failedToStart = true;
            return false;
        }
        return true;
    }

    ~Impl() {
        if (player) {
            libvlc_media_player_stop(player);
            libvlc_media_player_release(player);
        }
        if (instance) libvlc_release(instance);
    }
};

VlcScoreSound::VlcScoreSound(std::string soundFile, std::vector<std::string> vlcArguments)
    : impl_(std::make_unique<Impl>()) {
    impl_->file = std::move(soundFile);
    impl_->arguments = std::move(vlcArguments);
}

VlcScoreSound::~VlcScoreSound() = default;

bool VlcScoreSound::play() {
    Impl& d = *impl_;
    if (d.file.empty() || ::access(d.file.c_str(), R_OK) != 0) return false;
    if (!d.start()) return false;
    libvlc_media_player_stop(d.player);
    libvlc_media_t* media = libvlc_media_new_path(d.instance, d.file.c_str());
    if (!media) return false;
    libvlc_media_player_set_media(d.player, media);
    libvlc_media_release(media);
    libvlc_audio_set_volume(d.player, kVolumePercent);
    return libvlc_media_player_play(d.player) == 0;
}

void VlcScoreSound::stop() {
    if (impl_->player) libvlc_media_player_stop(impl_->player);
}

bool VlcScoreSound::isPlaying() const {
    return impl_->player && libvlc_media_player_is_playing(impl_->player);
}

}  // namespace vocalis
