#include "remote/media_service_routing.h"

#include "remote/http_text.h"

namespace vocalis {

namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
    return !suffix.empty() && text.size() >= suffix.size() &&
           text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

MediaServiceRouting::MediaServiceRouting(SongManager& songs, std::string tempFolder,
                                         std::string introClipName, std::string idleClipName)
    : songs_(songs),
      tempFolder_(std::move(tempFolder)),
      introClipName_(std::move(introClipName)),
      idleClipName_(std::move(idleClipName)) {}

bool MediaServiceRouting::supportsMethod(std::string_view method, std::string_view) const {
    return method == "GET" || method == "HEAD";
}

std::optional<std::string> MediaServiceRouting::filePathForURI(std::string_view uri) const {
    if (endsWith(uri, introClipName_)) return tempFolder_ + "/" + introClipName_;
    if (endsWith(uri, idleClipName_)) return tempFolder_ + "/" + idleClipName_;
    const std::int64_t songId = readLeadingInteger(removeSlashes(uri));
    // One snapshot: the catalogue is swapped whole by the main thread.
    const auto catalogue = songs_.catalogue();
    if (songId < 0 || songId >= static_cast<std::int64_t>(catalogue->songs.size())) return std::nullopt;
    if (songId != songs_.currentSongId()) return std::nullopt;
    return std::string(catalogue->songs[static_cast<std::size_t>(songId)].karaokeFile());
}

std::optional<HTTPFileResponse> MediaServiceRouting::httpResponseForMethod(std::string_view,
                                                                           std::string_view uri) {
    const auto path = filePathForURI(uri);
    if (!path) return std::nullopt;
    return HTTPFileResponse::create(*path);
}

}  // namespace vocalis
