#pragma once

#include "catalogue/song_manager.h"
#include "remote/http_routing.h"
#include "thumbnails/thumbnail_manager.h"

namespace vocalis {

// The thumbnail endpoint's answers: the picture of the song whose id is in the path, from
// the thumbnail folder, copying it there from the data file on first request.
class ThumbnailRouting final : public HTTPRouting {
  public:
    ThumbnailRouting(ThumbnailManager& thumbnails, SongManager& songs);

    bool supportsMethod(std::string_view method, std::string_view path) const override;
    std::optional<std::string> filePathForURI(std::string_view uri) const override;
    std::optional<HTTPFileResponse> httpResponseForMethod(std::string_view method,
                                                          std::string_view uri) override;
    int missingResponseStatus() const override { return 500; }
    HTTPHeaders commonHeaders() const override { return {{"Server", "Vocalis Player"}}; }
    bool closesEveryConnection() const override { return true; }

  private:
    ThumbnailManager& thumbnails_;
    SongManager& songs_;
};

// Writes the bytes to a temporary file in the folder of `path` and renames it into place, so a crash
// never leaves a truncated file behind. False when any step fails.
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vocalis
