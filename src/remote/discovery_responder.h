#pragma once

#include <array>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/preferences.h"
#include "base/serial_queue.h"
#include "base/token_bucket.h"
#include "remote/discovery_protocol.h"

namespace vocalis {

// Answers the phones' UDP probes (sent to the host or to the broadcast address) with the
// player's name, the stored device name and the protocol number. Runs on its own queue.
class DiscoveryResponder {
  public:
    using Clock = TokenBucket::Clock;
    // Anyone on the network can send datagrams: at most this many are logged a second
    // (in bursts of as many), each as one short line; the rest are counted.
    static constexpr double kLogLinesPerSecond = 5;

    // `clock` paces the log lines.
    explicit DiscoveryResponder(Preferences& preferences,
                                std::function<Clock::time_point()> clock = Clock::now);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    // Binds all local IPv4 addresses (0: an ephemeral port, see port()). A port taken by
    // another program is logged and leaves discovery off.
    bool start(std::uint16_t port = discovery::kDefaultPort);
    void stop();
    std::uint16_t port() const { return port_.load(); }

  private:
    void runOnQueue(const std::function<void()>& task);
    void receive();
    void answer(std::size_t length);
    void log(std::string_view payload);

    Preferences& preferences_;
    std::function<Clock::time_point()> clock_;
    TokenBucket logLines_;       // queue only
    std::size_t notLogged_ = 0;  // datagrams since the last line that were not logged
    SerialQueue queue_{"discovery"};
    std::optional<asio::ip::udp::socket> udpSocket_;  // queue only
    std::unique_ptr<std::array<char, 65536>> buffer_ = std::make_unique<std::array<char, 65536>>();
    asio::ip::udp::endpoint sender_;
    std::atomic<std::uint16_t> port_{0};
};

}  // namespace vocalis
