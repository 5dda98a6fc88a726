// The media player reading clips and ".vcv" songs over HTTP, as it does from the local
// media service. A plain Python file server on an ephemeral loopback port stands in here.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "app/media/vlc_media_player.h"
#include "app/media_samples.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

extern char** environ;

namespace vocalis {
namespace {

using testing::DelegateRecorder;
using testing::pumpUntil;
using testing::TempDir;

// `python3 -m http.server` on 127.0.0.1, port chosen by the system; stopped on destruction.
class FileServer {
  public:
    explicit FileServer(const std::string& folder) {
        const std::string python = testing::findProgram("python3");
        if (python.empty()) return;
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {python,   "-u",        "-m",          "http.server", "0",
                                         "--bind", "127.0.0.1", "--directory", folder};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // Its first line names the port: "Serving HTTP on 127.0.0.1 port 41234 (...)".
        std::string line;
        pollfd poller{out[0], POLLIN, 0};
        while (pid_ > 0 && line.find('\n') == std::string::npos && ::poll(&poller, 1, 30000) > 0) {
            char c[256];
            const ssize_t n = ::read(out[0], c, sizeof c);
            if (n <= 0) break;
            line.append(c, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        std::smatch match;
        if (std::regex_search(line, match, std::regex("port ([0-9]+)"))) port_ = std::stoi(match[1]);
    }
    ~FileServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

TEST(MediaHttpTest, PlaysClipsAndVcvSongsByAddress) {
    TempDir dir;
    std::string clip;
    ASSERT_NO_FATAL_FAILURE(clip = testing::makeVideo(dir / "intro.mp4", 2));
    // A ".vcv" song is served as it is stored; the service names songs by id, without any
    // extension, so the player must recognise the content itself.
    std::filesystem::copy_file(clip, dir / "song.vcv");
    std::filesystem::copy_file(clip, dir / "7");

    FileServer server(dir.path());
    ASSERT_GT(server.port(), 0) << "the file server did not start";

    VirtualScheduler scheduler;
    testing::FrameRecorder sink({64, 36});
    VlcPlayerOptions options;
    options.arguments = VlcMediaPlayer::headlessArguments();
    options.videoSink = &sink;
    VlcMediaPlayer player(scheduler, options);
    DelegateRecorder delegate(player);
    player.setDelegate(&delegate);

    auto playToEnd = [&](const std::string& path, std::vector<std::string> mediaOptions) {
        delegate.states.clear();
        player.setMedia(Media::url(server.url(path), std::move(mediaOptions)));
        player.play();
        EXPECT_TRUE(pumpUntil(scheduler, [&] {
            return delegate.saw(PlayerState::Error) || delegate.saw(PlayerState::Paused);
        })) << path;
        return player.state();
    };

    EXPECT_EQ(playToEnd("/intro.mp4", {}), PlayerState::Paused);
    EXPECT_EQ(player.videoTrackCount(), 1);
    EXPECT_EQ(player.position(), 1.0f);

    EXPECT_EQ(playToEnd("/7", {":audio-track=1"}), PlayerState::Paused);
    EXPECT_EQ(player.videoTrackCount(), 1);

    EXPECT_EQ(playToEnd("/song.vcv", {":audio-track=0"}), PlayerState::Paused);
    EXPECT_EQ(player.videoTrackCount(), 1);
    ASSERT_NE(sink.last(), nullptr);
    EXPECT_EQ(sink.last()->width, 64);

    // An address the service refuses is an unreadable media: an error, nothing played.
    EXPECT_EQ(playToEnd("/8", {}), PlayerState::Error);
    player.setMedia(std::nullopt);
    EXPECT_EQ(player.position(), 0.0f);
    EXPECT_EQ(player.videoTrackCount(), 0);
}

}  // namespace
}  // namespace vocalis
