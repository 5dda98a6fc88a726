#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <thread>

#include "base/preferences.h"
#include "catalogue/song_manager.h"
#include "remote/discovery_protocol.h"
#include "remote/discovery_responder.h"
#include "remote/phone_test_support.h"
#include "remote/socket_manager.h"
#include "remote/wire_protocol.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace vocalis {
namespace {

using testing::bytes;
using testing::RawClient;
using testing::sync;
using Strings = std::vector<std::string>;

// Sends the query and expects exactly these bytes back.
void expectReply(RawClient& phone, const std::string& query, const std::string& expected) {
    ASSERT_TRUE(phone.send(query));
    EXPECT_EQ(phone.read(expected.size()), expected);
}

// The test thread plays the main thread: it sets the properties and notifies.
class PhoneServer : public ::testing::Test {
  protected:
    void SetUp() override {
        server.initWithData(catalogue->text, catalogue->md5);
        server.setDelegate(&delegate);
        ASSERT_TRUE(server.start(0));
    }
    std::string catalogueReply(const std::string& queueText, std::uint8_t audioTrack) {
        return wire::catalogueMessage(catalogue->text, 12, audioTrack) + wire::queueMessage(queueText);
    }
    // vocalis-remote against this phone server, or with only the given arguments.
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

TEST_F(PhoneServer, QueriesAndNotificationsGoByteForByteAPictureWholeAndABrokenPhoneIsClosedAlone) {
    RawClient phone(server.port()), second(server.port());
    expectReply(phone, bytes({23, 27, 41}),
                bytes({0x17, 0, 0, 0x02, 0xBC, 0x1B, 0, 0, 0, 0x0A, 0x29, 0, 0, 0, 0x20}) + catalogue->md5);
    expectReply(phone, bytes({81, 80}), bytes({0x26, 0xFF, 0xFF, 0xFF, 0xFF, 0x1F, 0}));
    server.setCurrentSongId(258);
    server.setIsPlaying(true);
    expectReply(phone, bytes({81, 80}), bytes({0x26, 0, 0, 1, 2, 0x1F, 1}));
    // The first catalogue reply, before any queue notification, carries the empty queue.
    expectReply(phone, bytes({1}), catalogueReply("", 0));

    // Every phone gets each notification; the queue is as the main thread last announced it.
    for (int id : {2, 4, 0}) songs.queueAdd(*songs.getSong(id));
    ASSERT_TRUE(testing::eventually([&] { return server.connectionCount() == 2; }));
    testing::announce(server, 3, true, 1);
    const std::string all = bytes({0x26, 0, 0, 0, 3, 0x1F, 1, 0x08, 1, 0x0E, 0, 0, 0, 3}) + "4 0";
    expectReply(phone, "", all);
    expectReply(second, "", all);
    expectReply(phone, bytes({1}), catalogueReply("4 0", 1));

    // A picture larger than 16 MiB (a phone's photo) arrives whole.
    const std::string picture = testing::patternBytes(16 * 1024 * 1024 + 64 * 1024);
    ASSERT_TRUE(phone.send(wire::sendPictureCommand(picture)));
    ASSERT_TRUE(sync(phone));
    EXPECT_TRUE(delegate.waitFor() == Strings{"picture " + picture});

    // A negative length leaves no way to find the next command: that phone is closed.
    RawClient negative(server.port());
    ASSERT_TRUE(negative.send(bytes({22, 0xFF, 0xFF, 0xFF, 0xFB, 16})));
    EXPECT_TRUE(negative.waitClosed());
    EXPECT_TRUE(sync(phone));
    EXPECT_EQ(delegate.waitFor().size(), 1u);

    SocketManager rival(songs);
    EXPECT_FALSE(rival.start(server.port()));
    server.stop();
    EXPECT_TRUE(phone.waitClosed());
}

TEST_F(PhoneServer, APhoneThatNeverReadsIsClosedWhileTheOthersGetEveryNotification) {
    // Replies larger than the socket buffers.
    SongManager bigSongs;
    auto big = testing::publishSongs(bigSongs, 40000);
    for (int id = 0; id < 2000; ++id) bigSongs.queueAdd(*bigSongs.getSong(id));
    SocketManager bigServer(bigSongs);
    bigServer.initWithData(big->text, big->md5);
    ASSERT_TRUE(bigServer.start(0));
    const std::string notification = wire::queueMessage(bigSongs.getQueueIdsString());
    RawClient reader(bigServer.port()), stuck(bigServer.port());
    ASSERT_TRUE(reader.send(bytes({1})));
    const std::string reply = wire::catalogueMessage(big->text, 40000, 0) + notification;
    EXPECT_TRUE(reader.read(reply.size()) == reply);
    ASSERT_TRUE(testing::eventually([&] { return bigServer.connectionCount() == 2; }));
    // Far more than the kernel's buffers and the pending-bytes bound together.
    constexpr int kNotifications = 3000;
    const std::size_t total = notification.size() * kNotifications;
    std::atomic<std::size_t> received{0};
    std::thread drain([&] {
        for (std::string got = "-"; received < total && !got.empty(); received += got.size())
            got = reader.read(std::min<std::size_t>(1 << 20, total - received), testing::kPatience, true);
    });
    // The reader may lag by a few dozen notifications, well inside the bound.
    for (int i = 0; i < kNotifications; ++i) {
        bigServer.notifyQueue();
        const std::size_t lagAllowed = notification.size() * static_cast<std::size_t>(std::max(0, i - 40));
        testing::eventually([&] { return received >= lagAllowed; });
    }
    drain.join();
    EXPECT_EQ(received.load(), total);
    EXPECT_TRUE(stuck.waitClosed());
    EXPECT_TRUE(sync(reader));
}

TEST_F(PhoneServer, HundredsOfConnectionsAreCappedAndAFreedPlaceIsTakenAgain) {
    std::vector<std::unique_ptr<RawClient>> phones;
    for (int i = 0; i < 200; ++i) phones.push_back(std::make_unique<RawClient>(server.port()));
    std::size_t served = 0, refused = 0;
    for (auto& phone : phones) sync(*phone) ? ++served : refused += phone->waitClosed();
    EXPECT_EQ(served, SocketManager::kMaxConnections);
    EXPECT_EQ(served + refused, 200u);
    phones.clear();
    ASSERT_TRUE(testing::eventually([&] { return server.connectionCount() == 0; }));
    RawClient again(server.port());
    EXPECT_TRUE(sync(again));
}

TEST_F(PhoneServer, AFloodIsPacedWhileOtherPhonesAreServed) {
    // 200 commands a second: 2000 commands need at least nine seconds.
    server.setCommandRate(200);
    RawClient flooder(server.port()), other(server.port());
    std::string flood;
    for (int i = 0; i < 2000; ++i) flood += wire::intCommand(wire::kRemove, i);
    ASSERT_TRUE(flooder.send(flood));
    ASSERT_TRUE(other.send(bytes({7})));
    ASSERT_TRUE(sync(other));
    const auto early = delegate.waitFor(1);
    EXPECT_NE(std::find(early.begin(), early.end(), "next"), early.end());
    EXPECT_LT(early.size(), 2000u);
    // Nothing is lost: the flood goes on in order at its pace.
    Strings removes = delegate.waitFor(early.size() + 300);
    std::erase(removes, "next");
    ASSERT_GE(removes.size(), 300u);
    for (std::size_t i = 0; i < removes.size(); ++i) EXPECT_EQ(removes[i], "remove " + std::to_string(i));
}

TEST_F(PhoneServer, TheToolPrintsWhatThePlayerAnswersAndEachNotificationAndSendsEachCommand) {
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

    // The earlier queries' connections gone first, so that the one counted is the watcher's.
    ASSERT_TRUE(testing::eventually([&] { return server.connectionCount() == 0; }));
    std::string watched;
    std::thread watcher([&] { watched = output({"watch", "--seconds", "6"}); });
    ASSERT_TRUE(testing::eventually([&] { return server.connectionCount() == 1; }));
    songs.queueDelete(0);
    testing::announce(server, 9, true, 1);
    watcher.join();
    EXPECT_EQ(watched, "current\t9\nstate\tplaying\ntrack\t1\nqueue\t0\n");

    // Its commands reach the delegate; bad usage says why.
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
                       "track", "volume up", "volume down", "record", "message Scoring Off",
                       "picture " + picture, "name 7 Hùng"}));

    for (const Strings& bad : {Strings{"add"}, Strings{"add", "seven"}, Strings{"frobnicate"},
                               Strings{"picture", dir / "missing.jpg"}}) {
        const auto result = remote(bad);
        EXPECT_EQ(result.status, 2) << bad[0];
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(delegate.waitFor().size(), commands.size());
}

TEST_F(PhoneServer, DiscoveryAnswersProbesAFloodGivesFewShortLogLinesAndTheToolFailsInOneLine) {
    // Text after the prefix is fine; other letter case, a short prefix and non-UTF-8 bytes are no probe.
    EXPECT_TRUE(discovery::isProbe("Vocalis Remote v2.1 hello"));
    for (const std::string_view bad : {"vocalis remote", "Vocalis Remot", "VOCALIS REMOTE",
                                       "Vocalis Remote\xff\xfe", "Vocalis Remote\xc3", ""})
        EXPECT_FALSE(discovery::isProbe(bad)) << bad;

    MemoryPreferences preferences;
    // A clock that moves only when told, so the count of lines does not depend on speed.
    std::atomic<std::int64_t> now{0};
    DiscoveryResponder responder(
        preferences, [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(now.load())); });
    ASSERT_TRUE(responder.start(0));
    DiscoveryResponder second(preferences);
    EXPECT_FALSE(second.start(responder.port()));
    asio::io_context io;
    asio::ip::udp::socket phone(io, {asio::ip::address_v4::loopback(), 0});
    // Big datagrams, and big probes with a line break that would forge a line.
    const std::string probe = "Vocalis Remote\nforged" + std::string(60000, 'x'), other(60000, 'y');
    ::testing::internal::CaptureStderr();
    for (int second = 0; second < 2; ++second, now += 1) {
        // The name is read for every probe, ";" and all.
        const std::string name = second == 0 ? "" : "Phòng 3; VIP";
        preferences.setString("KEY_DEVICE_NAME", name);
        for (int i = 0; i < 20; ++i) {
            for (const std::string& payload : {other, probe})
                phone.send_to(asio::buffer(payload), {asio::ip::address_v4::loopback(), responder.port()});
            pollfd ready{phone.native_handle(), POLLIN, 0};
            std::string answer(2048, '\0');
            answer.resize(::poll(&ready, 1, 30000) > 0 ? phone.receive(asio::buffer(answer)) : 0);
            EXPECT_EQ(answer, "Vocalis Player macOS;" + name + ";700");
        }
    }
    EXPECT_EQ(phone.available(), 0u) << "only probes are answered";
    const auto lines = testing::splitText(::testing::internal::GetCapturedStderr(), '\n');
    for (const auto& line : lines) {
        EXPECT_TRUE(line.starts_with("udpSocket didReceiveData: ")) << line;
        EXPECT_LE(line.size(), 200u);
    }
    // A burst of a second's lines, then a second's more.
    EXPECT_EQ(lines.size(), 2 * static_cast<std::size_t>(DiscoveryResponder::kLogLinesPerSecond));

    const Strings discover = {"discover",  "--host", "127.0.0.1", "--port", std::to_string(responder.port()),
                              "--timeout", "1"};
    const auto found = remote(discover, false);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "127.0.0.1\tVocalis Player macOS;Phòng 3; VIP;700\n");
    responder.stop();
    const auto none = remote(discover, false);
    // Refused where the stopped server was; a listener that never accepts never answers.
    server.stop();
    const auto refused = remote({"md5"});
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
