#include <gtest/gtest.h>

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
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

using Strings = std::vector<std::string>;

class RemoteTool : public ::testing::Test {
  protected:
    void SetUp() override {
        server.initWithData(catalogue->text, catalogue->md5);
        server.setDelegate(&delegate);
        ASSERT_TRUE(server.start(0));
    }
    // vocalis-remote against the test's phone server, or with only the given arguments.
    testing::ProgramResult remote(Strings args, bool toServer = true) {
        if (toServer)
            args.insert(args.begin(), {"--host", "127.0.0.1", "--port", std::to_string(server.port())});
        return testing::runProgram(testing::programPath("vocalis-remote"), args);
    }
    std::string output(const Strings& args) {
        const auto result = remote(args);
        EXPECT_EQ(result.status, 0) << args[0] << ": " << result.err;
        return result.out;
    }

    SongManager songs;
    std::shared_ptr<const Catalogue> catalogue = testing::publishSongs(songs, 12);
    testing::RecordingDelegate delegate;
    SocketManager server{songs};
};

TEST_F(RemoteTool, QueriesPrintWhatThePlayerAnswersAndWatchPrintsEachNotification) {
    EXPECT_EQ(output({"md5"}), catalogue->md5 + "\n");
    EXPECT_TRUE(output({"catalogue"}) == catalogue->text);
    for (int id : {5, 11, 0}) songs.queueAdd(*songs.getSong(id));
    server.notifyQueue();
    EXPECT_EQ(output({"queue"}), "11\n0\n");
    server.setCurrentSongId(5);
    server.setIsPlaying(true);
    EXPECT_EQ(output({"current"}), "5\n");
    EXPECT_EQ(output({"state"}), "playing\n");
    server.setIsPlaying(false);
    EXPECT_EQ(output({"state"}), "paused\n");

    std::string watched;
    std::thread watcher([&] { watched = output({"watch", "--seconds", "6"}); });
    ASSERT_TRUE(testing::eventually([&] { return server.connectionCount() > 0; }));
    songs.queueDelete(0);
    testing::announce(server, 9, true, 1);
    watcher.join();
    EXPECT_EQ(watched, "current\t9\nstate\tplaying\ntrack\t1\nqueue\t0\n");
}

TEST_F(RemoteTool, CommandsReachTheDelegateAndBadUsageSaysWhy) {
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
    for (const auto& command : commands) output(command);
    EXPECT_EQ(delegate.waitFor(commands.size()),
              (Strings{"res 7", "res1st 3", "remove 1", "up 2", "first 4", "play", "pause", "next", "replay",
                       "track", "volume up", "volume down", "record", "message Scoring Off", "picture 20",
                       "name 7 Hùng"}));
    EXPECT_EQ(delegate.picture(), picture);

    for (const Strings& bad : {Strings{"add"}, Strings{"add", "seven"}, Strings{"frobnicate"},
                               Strings{"picture", dir / "missing.jpg"}}) {
        const auto result = remote(bad);
        EXPECT_EQ(result.status, 2) << bad[0];
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(delegate.waitFor().size(), commands.size());
}

TEST_F(RemoteTool, DiscoverListsThePlayersThatAnswerAndFailuresAreOneLineAndANonZeroStatus) {
    MemoryPreferences preferences;
    preferences.setString("KEY_DEVICE_NAME", "Phòng 3");
    DiscoveryResponder responder(preferences);
    ASSERT_TRUE(responder.start(0));
    const Strings discover = {"discover",  "--host", "127.0.0.1", "--port", std::to_string(responder.port()),
                              "--timeout", "1"};
    const auto found = remote(discover, false);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "127.0.0.1\tVocalis Player macOS;Phòng 3;700\n");
    responder.stop();
    const auto none = remote(discover, false);
    // Refused where the stopped server was; a listener that never accepts never answers.
    server.stop();
    const auto refused = remote({"md5"});
    asio::io_context io;
    const asio::ip::tcp::acceptor listener(io, {asio::ip::address_v4::loopback(), 0});
    const auto silent = remote(
        {"--port", std::to_string(listener.local_endpoint().port()), "--timeout", "0.5", "state"}, false);
    for (const auto& [result, reason] :
         {std::pair{none, "no player answered"}, {refused, "cannot connect"}, {silent, "timed out"}}) {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

}  // namespace
}  // namespace vocalis
