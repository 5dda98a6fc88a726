#pragma once

#include "app/engine_news.h"

namespace vocalis {

class SocketManager;

// Tells every connected phone what the engine announces, and keeps the state a newly
// connected phone is sent (current song, play state, audio track).
class PhoneNews final : public EngineListener {
  public:
    explicit PhoneNews(SocketManager& sockets) : sockets_(sockets) {}

    void queueChanged() override;
    void currentSongChanged(std::int32_t songId) override;
    void playStateChanged(bool playing) override;
    void audioTrackChanged(std::int32_t track) override;

  private:
    SocketManager& sockets_;
};

}  // namespace vocalis
