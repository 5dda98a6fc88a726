#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vocalis {

// What a phone asks of the player. SocketManager calls these on its own queue
// ("socketQueue"); an implementation only hands the work to the main thread and returns.
// Queue positions count the waiting songs from 0 (position p is queue index p + 1).
class RemoteDelegate {
  public:
    virtual ~RemoteDelegate() = default;

    virtual void onRemotePlayPause(bool play) = 0;                   // commands 4 (play) and 5 (pause)
    virtual void onRemoteNext() = 0;                                 // 7
    virtual void onRemoteReplay() = 0;                               // 20
    virtual void onRemoteSwitchAudioTrack() = 0;                     // 8
    virtual void onRemoteRes(std::int32_t songId) = 0;               // 2: add at the end
    virtual void onRemoteRes1st(std::int32_t songId) = 0;            // 3: add first among the waiting
    virtual void onRemoteVolumeUp() = 0;                             // 16
    virtual void onRemoteVolumeDown() = 0;                           // 17
    virtual void onRemoteQueueRemove(std::int32_t position) = 0;     // 13
    virtual void onRemoteQueueMoveUp(std::int32_t position) = 0;     // 11
    virtual void onRemoteQueueMoveFirst(std::int32_t position) = 0;  // 12
    virtual void onRemoteQueueRequesterName(std::int32_t songId, std::string name) = 0;  // 36
    virtual void onRemoteSendMessage(std::string text) = 0;                              // 18
    // 22: the picture's bytes as sent (any image format); the screen decodes them and
    // drops what does not decode.
    virtual void onRemoteSendPicture(std::vector<std::uint8_t> image) = 0;
    virtual void onRemoteRecord() = 0;  // 48
};

}  // namespace vocalis
