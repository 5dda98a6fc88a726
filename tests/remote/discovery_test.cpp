#include <gtest/gtest.h>
#include <poll.h>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <sstream>

#include "base/preferences.h"
#include "remote/discovery_protocol.h"
#include "remote/discovery_responder.h"
#include "remote/phone_test_support.h"

namespace vocalis {
namespace {

// A phone's UDP socket on an ephemeral port.
struct Phone {
    void send(const std::string& payload, std::uint16_t port) {
        socket.send_to(asio::buffer(payload), {asio::ip::address_v4::loopback(), port});
    }
    // The next datagram and the port it came from.
    std::pair<std::string, std::uint16_t> receive() {
        pollfd ready{socket.native_handle(), POLLIN, 0};
        if (::poll(&ready, 1, std::chrono::milliseconds(testing::kPatience).count()) <= 0) return {};
        std::string datagram(2048, '\0');
        asio::ip::udp::endpoint from;
        datagram.resize(socket.receive_from(asio::buffer(datagram), from));
        return {datagram, from.port()};
    }
    std::string ask(const std::string& probe, std::uint16_t port) {
        send(probe, port);
        return receive().first;
    }

    asio::io_context io;
    asio::ip::udp::socket socket{io, {asio::ip::address_v4::loopback(), 0}};
};

TEST(DiscoveryResponder, AnswersProbesWithTheStoredNameReadEachTimeAndFailsOnATakenPort) {
    MemoryPreferences preferences;
    preferences.setString("KEY_DEVICE_NAME", "Phòng 3; VIP");
    DiscoveryResponder responder(preferences);
    ASSERT_TRUE(responder.start(0));
    // Text after the prefix is fine; the name is read again for every probe, ";" and all.
    Phone phone;
    phone.send("Vocalis Remote v2.1 hello", responder.port());
    EXPECT_EQ(phone.receive(),
              std::pair(std::string("Vocalis Player macOS;Phòng 3; VIP;700"), responder.port()));
    // Other letter case, a short prefix and non-UTF-8 bytes get no answer; the next reply is the good
    // probe's.
    for (const std::string& bad :
         {std::string("vocalis remote"), std::string("Vocalis Remot"), std::string("VOCALIS REMOTE"),
          std::string("Vocalis Remote\xff\xfe", 16), std::string("Vocalis Remote\xc3", 15), std::string()})
        phone.send(bad, responder.port());
    preferences.setString("KEY_DEVICE_NAME", "after");
    EXPECT_EQ(phone.ask("Vocalis Remote", responder.port()), "Vocalis Player macOS;after;700");

    DiscoveryResponder second(preferences);
    EXPECT_FALSE(second.start(responder.port()));
    responder.stop();
    EXPECT_TRUE(second.start(0));
}

TEST(DiscoveryResponder, AFloodOfBigDatagramsGivesFewShortLogLines) {
    MemoryPreferences preferences;
    // A clock that moves only when told, so the count of lines does not depend on speed.
    std::atomic<std::int64_t> now{0};
    DiscoveryResponder responder(
        preferences, [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(now.load())); });
    ASSERT_TRUE(responder.start(0));
    Phone phone;
    // Big datagrams, and big probes with a line break that would forge a line.
    const std::string probe = "Vocalis Remote\nforged" + std::string(60000, 'x'), other(60000, 'y');
    ::testing::internal::CaptureStderr();
    for (int second = 0; second < 2; ++second, now += 1)
        for (int i = 0; i < 20; ++i) {
            phone.send(other, responder.port());
            EXPECT_EQ(phone.ask(probe, responder.port()), "Vocalis Player macOS;;700");
        }
    std::istringstream log(::testing::internal::GetCapturedStderr());
    std::size_t lines = 0;
    for (std::string line; std::getline(log, line); ++lines) {
        EXPECT_TRUE(line.starts_with("udpSocket didReceiveData: ")) << line;
        EXPECT_LE(line.size(), 200u);
    }
    // A burst of a second's lines, then a second's more.
    EXPECT_EQ(lines, 2 * static_cast<std::size_t>(DiscoveryResponder::kLogLinesPerSecond));
}

}  // namespace
}  // namespace vocalis
