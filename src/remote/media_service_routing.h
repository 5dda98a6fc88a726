#pragma once

#include <string>

#include "catalogue/song_manager.h"
#include "remote/http_routing.h"

namespace vocalis {

// The local media service's routing: the two clips by the end of the request target, and
// the current song by id; nothing else.
class MediaServiceRouting final : public HTTPRouting {
  public:
    MediaServiceRouting(SongManager& songs, std::string tempFolder, std::string introClipName,
                        std::string idleClipName);

    bool supportsMethod(std::string_view method, std::string_view path) const override;
    std::optional<std::string> filePathForURI(std::string_view uri) const override;
    std::optional<HTTPFileResponse> httpResponseForMethod(std::string_view method,
                                                          std::string_view uri) override;

  private:
    SongManager& songs_;
    std::string tempFolder_;
    std::string introClipName_;
    std::string idleClipName_;
};

}  // namespace vocalis
