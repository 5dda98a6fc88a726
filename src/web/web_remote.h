#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/engine_control.h"
#include "base/preferences.h"
#include "base/scheduler.h"
#include "catalogue/song_manager.h"
#include "web/guest_routes.h"
#include "web/search_cache.h"
#include "web/web_server.h"
#include "web/web_state.h"

namespace vocalis {

struct WebRemoteConfig {
    std::uint16_t port = 6790;
    std::optional<std::string> pin;  // for the run (empty: none); unset: the stored one
    std::uint16_t thumbnailPort = 6768;
    bool loopbackOnly = false;  // tests
    // The operator's stored PIN (KEY_WEB_PIN), read at each command so that a change in the
    // settings counts at once. No PIN at all: everyone may do everything.
    const Preferences* settings = nullptr;
    GuestRecords* guestRecords = nullptr;  // none without a store
};

// The browser remote: the page, the JSON interface and the live events. Reads are answered
// from a snapshot the engine's news keeps; commands go through the engine's one command path,
// held to the phones' conditions, and are answered with the state once they have run.
class WebRemote final : public EngineListener, private WebHandler {
  public:
    static constexpr std::size_t kTextBodyBytes = 64 * 1024;
    static constexpr std::size_t kPictureBytes = 32 * 1024 * 1024;
    static constexpr std::size_t kPageSongs = 50;
    static constexpr std::size_t kMaxPageSongs = 200;
    // Some twenty full result lists of a 100,000-song catalogue.
    static constexpr std::size_t kSearchCacheBytes = 8 * 1024 * 1024;

    // `mainThread` runs the engine's thread.
    WebRemote(Scheduler& mainThread, SongManager& songs, EngineControl& engine, WebRemoteConfig config);
    ~WebRemote() override;

    // The engine's thread: listens to the news and opens the port.
    bool start(std::string* error);
    void stop();
    std::uint16_t port() const { return server_.port(); }

    void queueChanged() override { refresh(); }
    void currentSongChanged(std::int32_t songId) override;
    void songLengthKnown(std::int32_t songId, std::int64_t milliseconds) override;
    void playTimeChanged(std::int64_t milliseconds) override;
    void playStateChanged(bool playing) override;
    void audioTrackChanged(std::int32_t track) override;
    void requesterNameChanged(std::int32_t, const std::string&) override { refresh(); }
    void keyChanged(std::int32_t, std::int32_t) override { refresh(); }
    void scoreShown(const std::optional<SongScore>& score) override {
        score_ = score;
        refresh();
    }

  private:
    // A check and a command on the engine's thread: 0 when the command was issued, else the
    // status to answer.
    using Step = std::function<unsigned()>;
    using Reply = std::function<void(WebReply)>;

    void handle(WebRequest request, Reply reply) override;
    std::size_t bodyLimit(const std::string& method, const std::string& target) const override;
    std::string currentEvent() const override;

    void handlePost(const std::string& path, WebRequest request, Reply reply);
    void runStep(Step step, Reply reply);
    void refresh();
    std::shared_ptr<const WebSnapshot> snapshot() const;
    std::string pin() const;

    Scheduler& mainThread_;
    SongManager& songs_;
    EngineControl& engine_;
    WebRemoteConfig config_;
    bool playing_ = false;
    std::int32_t track_ = 0;
    std::int32_t timesFor_ = -1;  // the song the position and length are of
    std::optional<std::int64_t> positionMs_;
    std::optional<std::int64_t> lengthMs_;
    std::optional<SongScore> score_;
    bool listening_ = false;
    mutable std::mutex mutex_;
    std::shared_ptr<const WebSnapshot> snapshot_;
    SearchCache searches_{kSearchCacheBytes};
    GuestRoutes guests_{config_.guestRecords};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    WebServer server_{*this};
};

}  // namespace vocalis
