#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "remote/message_stream.h"

namespace vocalis {

// A phone's side of one connection, blocking with time-outs: for the command-line remote
// and for tests. Failures leave a one-line reason in error().
class PhoneClient {
  public:
    using Duration = std::chrono::milliseconds;

    bool connect(const std::string& host, std::uint16_t port, Duration timeout);
    bool send(const std::string& bytes, Duration timeout);
    // The next message from the player; nothing on time-out, close or a broken stream.
    std::optional<PlayerMessage> receive(Duration timeout);
    // The next message with that code, skipping notifications in between.
    std::optional<PlayerMessage> receive(std::uint8_t code, Duration timeout);
    // Stops sending and waits for the player to close, so that nothing sent is lost
    // to a reset.
    void finish(Duration timeout);
    bool closedByPeer() const { return closed_; }
    // The last receive ran out of time (rather than meeting a close or a broken stream).
    bool timedOut() const { return timedOut_; }
    const std::string& error() const { return error_; }

  private:
    // Runs the started operation until it completes or the time is up.
    bool runFor(Duration timeout, bool& done);

    asio::io_context context_;
    asio::ip::tcp::socket socket_{context_};
    MessageStream stream_;
    std::vector<PlayerMessage> ready_;
    std::size_t nextReady_ = 0;
    std::string peer_;
    std::string error_;
    bool closed_ = false;
    bool timedOut_ = false;
};

// Sends a discovery probe and collects the replies that come within the time-out:
// each as the sender's address and the reply text.
struct DiscoveryAnswer {
    std::string address;
    std::string text;
};
std::optional<std::vector<DiscoveryAnswer>> discoverPlayers(const std::string& host, std::uint16_t port,
                                                            std::chrono::milliseconds timeout,
                                                            std::string& error);

}  // namespace vocalis
