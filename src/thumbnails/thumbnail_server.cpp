#include "thumbnails/thumbnail_server.h"

namespace vocalis {

ThumbnailServer::ThumbnailServer(ThumbnailManager& thumbnails, SongManager& songs, HTTPTimeouts timeouts)
    : routing_(thumbnails, songs), server_(routing_, timeouts) {}

bool ThumbnailServer::start(std::uint16_t port, std::string* error) {
    server_.setPort(port);
    return server_.start(error);
}

}  // namespace vocalis
