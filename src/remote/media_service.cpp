#include "remote/media_service.h"

#include "base/log.h"

namespace vocalis {

LocalMediaService::LocalMediaService(SongManager& songs, std::string tempFolder, std::string introClipName,
                                     std::string idleClipName, HTTPTimeouts timeouts)
    : routing_(songs, std::move(tempFolder), std::move(introClipName), std::move(idleClipName)),
      server_(routing_, timeouts) {}

bool LocalMediaService::start(std::uint16_t port, std::string* error) {
    server_.setPort(port);
    std::string reason;
    if (server_.start(&reason)) return true;
    logParts("Error starting HTTP Server: ", reason);
    if (error) *error = reason;
    return false;
}

void LocalMediaService::stop() { server_.stop(); }

std::string LocalMediaService::clipURL(const std::string& clipName) const {
    return "http://127.0.0.1:" + std::to_string(port()) + "/" + clipName;
}

std::string LocalMediaService::songURL(std::int32_t songId) const {
    return "http://127.0.0.1:" + std::to_string(port()) + "/" + std::to_string(songId);
}

}  // namespace vocalis
