#pragma once

#include <cstdint>
#include <string>

#include "catalogue/song_manager.h"
#include "remote/http_server.h"
#include "remote/media_service_routing.h"

namespace vocalis {

// The HTTP service through which the media player reads the start-up and idle clips and
// the current ".vcv" song (files are sent as they are stored).
class LocalMediaService {
  public:
    static constexpr std::uint16_t kDefaultPort = 6767;

    LocalMediaService(SongManager& songs, std::string tempFolder, std::string introClipName,
                      std::string idleClipName, HTTPTimeouts timeouts = {});
    LocalMediaService(const LocalMediaService&) = delete;
    LocalMediaService& operator=(const LocalMediaService&) = delete;

    // Port 0 picks a free port. A failure is logged as "Error starting HTTP Server: ..."
    // and returned; the clips and ".vcv" songs then fail to open like unreadable media.
    bool start(std::uint16_t port = kDefaultPort, std::string* error = nullptr);
    void stop();
    bool isRunning() const { return server_.isRunning(); }
    std::uint16_t port() const { return server_.port(); }

    // The addresses the engine opens.
    std::string clipURL(const std::string& clipName) const;
    std::string songURL(std::int32_t songId) const;

  private:
    MediaServiceRouting routing_;
    HTTPServer server_;
};

}  // namespace vocalis
