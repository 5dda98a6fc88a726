// Runs only the HTTP server, so the benchmark scripts can measure it (and its memory) alone:
//   vocalis-http-bench-server files DIR [PORT]            the files of DIR by name ("/name")
//   vocalis-http-bench-server thumbnails DIR COUNT [PORT]  the thumbnail endpoint over songs
//       "s00000" ... with their pictures in DIR/thumbnail ("s00000-.jpg")
// Prints "port N" once listening and serves until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "remote/http_server.h"
#include "thumbnails/thumbnail_manager.h"
#include "thumbnails/thumbnail_server.h"

namespace {

using namespace vocalis;

class FolderRouting final : public HTTPRouting {
  public:
    explicit FolderRouting(std::string folder) : folder_(std::move(folder)) {}
    bool supportsMethod(std::string_view method, std::string_view) const override {
        return method == "GET" || method == "HEAD";
    }
    std::optional<std::string> filePathForURI(std::string_view uri) const override {
        if (uri.size() < 2 || uri.front() != '/' || uri.find('/', 1) != std::string_view::npos ||
            uri.find("..") != std::string_view::npos)
            return std::nullopt;
        return folder_ + std::string(uri);
    }
    std::optional<HTTPFileResponse> httpResponseForMethod(std::string_view, std::string_view uri) override {
        const auto path = filePathForURI(uri);
        return path ? HTTPFileResponse::create(*path) : std::nullopt;
    }

  private:
    std::string folder_;
};

int usage() {
    std::fprintf(stderr, "usage: vocalis-http-bench-server files DIR [PORT] | thumbnails DIR COUNT [PORT]\n");
    return 2;
}

void waitForSignal() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    int received = 0;
    sigwait(&signals, &received);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    // Block the stop signals before any thread starts, so only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const std::string mode = argv[1];
    const std::string dir = argv[2];
    if (mode == "files") {
        FolderRouting routing(dir);
        HTTPServer server(routing);
        server.setPort(argc > 3 ? static_cast<std::uint16_t>(std::atoi(argv[3])) : 0);
        std::string error;
        if (!server.start(&error)) {
            std::fprintf(stderr, "cannot start: %s\n", error.c_str());
            return 1;
        }
        std::printf("port %u\n", server.port());
        std::fflush(stdout);
        waitForSignal();
        server.stop();
        return 0;
    }
    if (mode == "thumbnails" && argc >= 4) {
        const int count = std::atoi(argv[3]);
        std::vector<Song> songs;
        for (int i = 0; i < count; ++i) {
            char title[16];
            std::snprintf(title, sizeof title, "s%05d", i);
            songs.push_back(*songFromPath(dir, std::string(title) + ".mkv"));
        }
        SongManager songManager;
        songManager.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(songs))));
        ThumbnailManager thumbnails(songManager);
        thumbnails.load(dir + "/thumbnail", dir + "/thumbnail.dat");
        ThumbnailServer server(thumbnails, songManager);
        std::string error;
        if (!server.start(argc > 4 ? static_cast<std::uint16_t>(std::atoi(argv[4])) : 0, &error)) {
            std::fprintf(stderr, "cannot start: %s\n", error.c_str());
            return 1;
        }
        std::printf("port %u\n", server.port());
        std::fflush(stdout);
        waitForSignal();
        server.stop();
        thumbnails.unload();
        return 0;
    }
    return usage();
}
