#include "thumbnails/thumbnail_routing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "remote/http_date.h"
#include "remote/http_text.h"

namespace vocalis {

namespace {

// The request path: the target without its query or fragment.
std::string_view requestPath(std::string_view uri) { return uri.substr(0, uri.find_first_of("?#")); }

}  // namespace

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    // A short name of its own: the final name may already be as long as a name can be.
    const auto slash = path.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".new-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    // Pictures are read by other programs too; mkstemp's 0600 would hide them.
    const bool ok = written == bytes.size() && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

ThumbnailRouting::ThumbnailRouting(ThumbnailManager& thumbnails, SongManager& songs)
    : thumbnails_(thumbnails), songs_(songs) {}

bool ThumbnailRouting::supportsMethod(std::string_view method, std::string_view) const {
    return method == "GET" || method == "HEAD";
}

std::optional<std::string> ThumbnailRouting::filePathForURI(std::string_view uri) const {
    const std::int64_t songId = readLeadingInteger(removeSlashes(requestPath(uri)));
    const auto catalogue = songs_.catalogue();
    if (songId < 0 || songId >= static_cast<std::int64_t>(catalogue->songs.size())) return std::nullopt;
    const std::string folder = thumbnails_.thumbnailDirectory();
    if (folder.empty()) return std::nullopt;
    return folder + "/" + thumbnailFileName(catalogue->songs[static_cast<std::size_t>(songId)]);
}

std::optional<HTTPFileResponse> ThumbnailRouting::httpResponseForMethod(std::string_view,
                                                                        std::string_view uri) {
    const auto path = filePathForURI(uri);
    if (!path) return std::nullopt;
    auto response = HTTPFileResponse::create(*path);
    if (!response) {
        const std::int32_t songId =
            static_cast<std::int32_t>(readLeadingInteger(removeSlashes(requestPath(uri))));
        const auto picture = thumbnails_.getThumbnail(songId);
        if (!picture || !writeFileAtomically(*path, *picture)) return std::nullopt;
        response = HTTPFileResponse::create(*path);
        if (!response) return std::nullopt;
    }
    // Phones show the picture inline; it is not a download.
    response->removeHeader("Content-Disposition");
    response->setHeader("Content-Type", "image/jpeg");
    response->setHeader("Last-Modified", httpDate(static_cast<std::time_t>(response->modificationTime())));
    response->setHeader("ETag", response->entityTag());
    response->setHeader("Cache-Control", "no-cache");
    return response;
}

}  // namespace vocalis
