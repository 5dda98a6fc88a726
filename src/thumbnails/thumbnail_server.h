#pragma once

#include <cstdint>
#include <string>

#include "remote/http_server.h"
#include "thumbnails/thumbnail_routing.h"

namespace vocalis {

// The HTTP endpoint from which phones fetch song pictures by id ("/<id>"). Every answer
// closes its connection; a song without a picture is answered 500.
class ThumbnailServer {
  public:
    static constexpr std::uint16_t kDefaultPort = 6768;

    ThumbnailServer(ThumbnailManager& thumbnails, SongManager& songs, HTTPTimeouts timeouts = {});
    ThumbnailServer(const ThumbnailServer&) = delete;
    ThumbnailServer& operator=(const ThumbnailServer&) = delete;

    // Port 0 picks a free port. A failure is returned, not logged.
    bool start(std::uint16_t port = kDefaultPort, std::string* error = nullptr);
    void stop() { server_.stop(); }
    bool isRunning() const { return server_.isRunning(); }
    std::uint16_t port() const { return server_.port(); }

  private:
    ThumbnailRouting routing_;
    HTTPServer server_;
};

}  // namespace vocalis
