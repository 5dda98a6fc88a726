#pragma once

#include <array>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "base/preferences.h"
#include "base/serial_queue.h"
#include "remote/discovery_protocol.h"

namespace vocalis {

// Answers the phones' UDP probes (sent to the host or to the broadcast address) with the
// player's name, the stored device name and the protocol number. Runs on its own queue.
class DiscoveryResponder {
  public:
    explicit DiscoveryResponder(Preferences& preferences);
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

    Preferences& preferences_;
    SerialQueue queue_{"discovery"};
    std::optional<asio::ip::udp::socket> udpSocket_;  // queue only
    std::unique_ptr<std::array<char, 65536>> buffer_ = std::make_unique<std::array<char, 65536>>();
    asio::ip::udp::endpoint sender_;
    std::atomic<std::uint16_t> port_{0};
};

}  // namespace vocalis
