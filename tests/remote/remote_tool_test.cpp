#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "base/preferences.h"
#include "catalogue/song_manager.h"
#include "remote/discovery_responder.h"
#include "remote/phone_test_support.h"
#include "remote/socket_manager.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace vocalis {
namespace {

using testing::programPath;
using testing::runProgram;
using Strings = std::vector<std::string>;

class RemoteTool : public ::testing::Test {
  protected:
    void SetUp() override {
        catalogue = testing::publishSongs(songs, 12);
        server.initWithData(catalogue->text, catalogue->md5);
        server.setDelegate(&delegate);
        ASSERT_TRUE(server.start(0));
        port = std::to_string(server.port());
    }

    testing::ProgramResult remote(Strings args) {
        args.insert(args.begin(), {"--host", "127.0.0.1", "--port", port});
        return runProgram(programPath("vocalis-remote"), args);
    }

    SongManager songs;
    std::shared_ptr<const Catalogue> catalogue;
    testing::RecordingDelegate delegate;
    SocketManager server{songs};
    std::string port;
};

TEST_F(RemoteTool, QueriesPrintWhatThePlayerAnswers) {
    auto result = remote({"md5"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, catalogue->md5 + "\n");

    result = remote({"catalogue"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out == catalogue->text);

    songs.queueAdd(*songs.getSong(5));
    songs.queueAdd(*songs.getSong(11));
    songs.queueAdd(*songs.getSong(0));
    server.notifyQueue();
    result = remote({"queue"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "11\n0\n");

    server.setCurrentSongId(5);
    server.setIsPlaying(true);
    EXPECT_EQ(remote({"current"}).out, "5\n");
    EXPECT_EQ(remote({"state"}).out, "playing\n");
    server.setIsPlaying(false);
    EXPECT_EQ(remote({"state"}).out, "paused\n");
}

TEST_F(RemoteTool, CommandsReachTheDelegate) {
    testing::TempDir dir;
    const std::string picture("\xff\xd8\xff\xe0 jpeg-ish \0 bytes", 20);
    const std::string file = dir.write("face.jpg", picture);
    const std::vector<Strings> commands = {{"add", "7"},      {"add-first", "3"},
                                           {"remove", "1"},   {"up", "2"},
                                           {"first", "4"},    {"play"},
                                           {"pause"},         {"next"},
                                           {"replay"},        {"track"},
                                           {"volume-up"},     {"volume-down"},
                                           {"record"},        {"message", "Scoring Off"},
                                           {"picture", file}, {"name", "7", "Hùng"}};
    for (const auto& command : commands) {
        const auto result = remote(command);
        EXPECT_EQ(result.status, 0) << command[0] << ": " << result.err;
    }
    EXPECT_EQ(delegate.waitFor(commands.size()),
              (Strings{"res 7", "res1st 3", "remove 1", "up 2", "first 4", "play", "pause", "next", "replay",
                       "track", "volume up", "volume down", "record", "message Scoring Off", "picture 20",
                       "name 7 Hùng"}));
    EXPECT_EQ(delegate.picture(), picture);

    // Bad usage changes nothing and says why.
    for (const Strings& bad : {Strings{"add"}, Strings{"add", "seven"}, Strings{"frobnicate"},
                               Strings{"picture", dir / "missing.jpg"}}) {
        const auto result = remote(bad);
        EXPECT_EQ(result.status, 2) << bad[0];
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(delegate.waitFor().size(), commands.size());
}

TEST_F(RemoteTool, WatchPrintsEachNotification) {
    testing::ProgramResult result;
    std::thread watcher([&] { result = remote({"watch", "--seconds", "6"}); });
    testing::eventually([&] { return server.connectionCount() > 0; });
    server.setCurrentSongId(9);
    server.notifyCurrentSong();
    server.setIsPlaying(true);
    server.notifyPlayState();
    server.setCurrentAudioTrack(1);
    server.notifyAudioTrack();
    songs.queueAdd(*songs.getSong(9));
    songs.queueAdd(*songs.getSong(2));
    songs.queueAdd(*songs.getSong(4));
    server.notifyQueue();
    watcher.join();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "current\t9\nstate\tplaying\ntrack\t1\nqueue\t2 4\n");
}

TEST_F(RemoteTool, DiscoverListsThePlayersThatAnswer) {
    MemoryPreferences preferences;
    preferences.setString("KEY_DEVICE_NAME", "Phòng 3");
    DiscoveryResponder responder(preferences);
    ASSERT_TRUE(responder.start(0));
    const std::string probePort = std::to_string(responder.port());
    auto result = runProgram(programPath("vocalis-remote"),
                             {"discover", "--host", "127.0.0.1", "--port", probePort, "--timeout", "1"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "127.0.0.1\tVocalis Player macOS;Phòng 3;700\n");

    responder.stop();
    result = runProgram(programPath("vocalis-remote"),
                        {"discover", "--host", "127.0.0.1", "--port", probePort, "--timeout", "0.5"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "vocalis-remote: no player answered\n");
}

TEST_F(RemoteTool, FailuresAreOneLineAndANonZeroStatus) {
    // A refused connection.
    server.stop();
    auto result = remote({"md5"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("cannot connect"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());

    // A listener that accepts and never answers.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    result = runProgram(programPath("vocalis-remote"),
                        {"--port", std::to_string(ntohs(address.sin_port)), "--timeout", "0.5", "state"});
    ::close(fd);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("timed out"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace vocalis
