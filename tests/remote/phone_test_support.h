#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song.h"
#include "catalogue/song_manager.h"
#include "remote/remote_delegate.h"
#include "remote/socket_manager.h"
#include "support/socket_client.h"

namespace vocalis::testing {

// Records every delegate call as one line, in call order; a picture's line holds its bytes.
class RecordingDelegate final : public RemoteDelegate {
  public:
    void onRemotePlayPause(bool play) override { add(play ? "play" : "pause"); }
    void onRemoteNext() override { add("next"); }
    void onRemoteReplay() override { add("replay"); }
    void onRemoteSwitchAudioTrack() override { add("track"); }
    void onRemoteRes(std::int32_t id) override { add("res " + std::to_string(id)); }
    void onRemoteRes1st(std::int32_t id) override { add("res1st " + std::to_string(id)); }
    void onRemoteVolumeUp() override { add("volume up"); }
    void onRemoteVolumeDown() override { add("volume down"); }
    void onRemoteQueueRemove(std::int32_t p) override { add("remove " + std::to_string(p)); }
    void onRemoteQueueMoveUp(std::int32_t p) override { add("up " + std::to_string(p)); }
    void onRemoteQueueMoveFirst(std::int32_t p) override { add("first " + std::to_string(p)); }
    void onRemoteQueueRequesterName(std::int32_t id, std::string name) override {
        add("name " + std::to_string(id) + " " + name);
    }
    void onRemoteSendMessage(std::string text) override { add("message " + text); }
    void onRemoteSendPicture(std::vector<std::uint8_t> image) override {
        add("picture " + std::string(image.begin(), image.end()));
    }
    void onRemoteRecord() override { add("record"); }

    // Waits until at least `count` calls were made and returns them all.
    std::vector<std::string> waitFor(std::size_t count = 0) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPatience, [&] { return calls_.size() >= count; });
        return calls_;
    }

  private:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
};

// Every command before this one has run once its reply is back.
inline bool sync(RawClient& phone) {
    return phone.send("\x17") && phone.read(5) == std::string("\x17\0\0\x02\xBC", 5);
}

// As the main thread does: the current song, the play state, the audio track and the queue.
inline void announce(SocketManager& server, std::int32_t song, bool playing, std::uint8_t track) {
    server.setCurrentSongId(song);
    server.notifyCurrentSong();
    server.setIsPlaying(playing);
    server.notifyPlayState();
    server.setCurrentAudioTrack(track);
    server.notifyAudioTrack();
    server.notifyQueue();
}

inline std::string bytes(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

// A catalogue of `count` songs published into a fresh SongManager.
inline std::shared_ptr<const Catalogue> publishSongs(SongManager& songs, int count) {
    std::vector<Song> list;
    for (int i = 0; i < count; ++i)
        list.push_back(*songFromPath(
            "/srv/Karaoke/NhacMoi",
            "Bài hát số " + std::to_string(100000 + i) + " - Ca sĩ " + std::to_string(i % 97) + ".mp4"));
    auto catalogue = std::make_shared<const Catalogue>(buildCatalogue(std::move(list)));
    songs.addAll(catalogue);
    return catalogue;
}

}  // namespace vocalis::testing
