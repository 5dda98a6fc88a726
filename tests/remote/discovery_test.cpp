#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "base/preferences.h"
#include "remote/discovery_protocol.h"
#include "remote/discovery_responder.h"
#include "remote/phone_test_support.h"

namespace vocalis {
namespace {

// A phone's UDP socket on an ephemeral port.
class ProbeSocket {
  public:
    ProbeSocket() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    ~ProbeSocket() { ::close(fd_); }

    bool sendTo(const std::string& payload, in_addr_t address, std::uint16_t port) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = address;
        return ::sendto(fd_, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(payload.size());
    }

    // The next datagram and its sender's port.
    std::optional<std::pair<std::string, std::uint16_t>> receive() {
        pollfd poll{fd_, POLLIN, 0};
        if (::poll(&poll, 1, static_cast<int>(std::chrono::milliseconds(testing::kPatience).count())) <= 0)
            return std::nullopt;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) return std::nullopt;
        return std::pair{std::string(buffer, static_cast<std::size_t>(n)), ntohs(from.sin_port)};
    }

  private:
    int fd_;
};

const in_addr_t kLoopback = htonl(INADDR_LOOPBACK);

TEST(DiscoveryResponder, AnswersProbesWithTheStoredNameReadEachTime) {
    MemoryPreferences preferences;
    preferences.registerDefaults({{"KEY_DEVICE_NAME", std::string("karaoke")}});
    DiscoveryResponder responder(preferences);
    ASSERT_TRUE(responder.start(0));
    ProbeSocket phone;

    ASSERT_TRUE(phone.sendTo("Vocalis Remote", kLoopback, responder.port()));
    auto reply = phone.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->first, "Vocalis Player macOS;karaoke;700");
    EXPECT_EQ(reply->second, responder.port());

    // Text after the prefix is fine; the name is read again for every probe, ";" and all.
    preferences.setString("KEY_DEVICE_NAME", "Phòng 3; VIP");
    ASSERT_TRUE(phone.sendTo("Vocalis Remote v2.1 hello", kLoopback, responder.port()));
    reply = phone.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->first, "Vocalis Player macOS;Phòng 3; VIP;700");

    // Other letter case, a short prefix and bytes that are not UTF-8 get no answer: the
    // next datagram to come back answers the good probe sent after them.
    for (const std::string& bad :
         {std::string("vocalis remote"), std::string("Vocalis Remot"), std::string("VOCALIS REMOTE"),
          std::string("Vocalis Remote\xff\xfe", 16), std::string("Vocalis Remote\xc3", 15), std::string()})
        ASSERT_TRUE(phone.sendTo(bad, kLoopback, responder.port()));
    preferences.setString("KEY_DEVICE_NAME", "after");
    ASSERT_TRUE(phone.sendTo("Vocalis Remote", kLoopback, responder.port()));
    reply = phone.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->first, "Vocalis Player macOS;after;700");
}

TEST(DiscoveryResponder, AFloodOfBigDatagramsGivesFewShortLogLines) {
    MemoryPreferences preferences;
    // A clock that moves only when told, so the count of lines does not depend on speed.
    std::atomic<std::int64_t> now{0};
    DiscoveryResponder responder(
        preferences, [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(now.load())); });
    ASSERT_TRUE(responder.start(0));
    ProbeSocket phone;
    // Big datagrams that are not probes, and big probes with a line break that would forge
    // a line; each probe is answered, so all before it were handled when the reply comes.
    const std::string probe = "Vocalis Remote\nforged" + std::string(60000, 'x');
    const std::string other(60000, 'y');
    ::testing::internal::CaptureStderr();
    for (int second = 0; second < 2; ++second) {
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(phone.sendTo(i % 2 ? probe : other, kLoopback, responder.port()));
            if (i % 2 == 0) continue;
            const auto reply = phone.receive();
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->first, "Vocalis Player macOS;;700");
        }
        now += 1;
    }
    const std::string log = ::testing::internal::GetCapturedStderr();
    std::size_t lines = 0;
    for (std::size_t at = 0, end; at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        const std::string_view line(log.data() + at, end - at);
        EXPECT_TRUE(line.starts_with("udpSocket didReceiveData: ")) << line;
        EXPECT_LE(line.size(), 200u);
        ++lines;
    }
    // A burst of a second's lines, then a second's more.
    EXPECT_EQ(lines, 2 * static_cast<std::size_t>(DiscoveryResponder::kLogLinesPerSecond));
}

TEST(DiscoveryResponder, APortTakenByAnotherProgramLeavesDiscoveryOff) {
    MemoryPreferences preferences;
    DiscoveryResponder first(preferences);
    ASSERT_TRUE(first.start(0));
    DiscoveryResponder second(preferences);
    EXPECT_FALSE(second.start(first.port()));
    EXPECT_EQ(second.port(), 0);
    // The first still answers; with no stored name the field is empty.
    ProbeSocket phone;
    ASSERT_TRUE(phone.sendTo("Vocalis Remote", kLoopback, first.port()));
    const auto reply = phone.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->first, "Vocalis Player macOS;;700");
    first.stop();
    EXPECT_TRUE(second.start(0));
}

}  // namespace
}  // namespace vocalis
