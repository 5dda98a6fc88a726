#pragma once

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/command_stream.h"

namespace vocalis {

// One phone's TCP connection: its receive buffer and its serial writer. Every member is
// used on the server's queue only. A message is queued as a list of shared pieces (the
// catalogue text is shared, not copied, between phones) and written as one unit, so two
// messages never interleave on the wire.
class PhoneConnection : public std::enable_shared_from_this<PhoneConnection> {
  public:
    using Piece = std::shared_ptr<const std::string>;
    using Message = std::vector<Piece>;
    // Carries out one command; returns whether it went to the delegate (those are paced).
    using CommandHandler = std::function<bool(PhoneConnection&, PhoneCommand&)>;
    using CloseHandler = std::function<void(PhoneConnection&)>;

    // At most `commandsPerSecond` commands a second go to the delegate (0: no limit), in
    // bursts of up to a second's worth; past that the connection stops reading for a while,
    // so a flooding phone is slowed by TCP instead of flooding the main thread.
    PhoneConnection(asio::ip::tcp::socket socket, CommandLimits limits, double commandsPerSecond);

    // Issues the first read; commands and the close come back through the handlers.
    void start(CommandHandler onCommands, CloseHandler onClosed);

    // Queues a message behind those not yet written. A phone that lets more than
    // `maxPending` bytes pile up is not reading: it is disconnected rather than
    // holding memory (and a writer) for ever.
    void send(Message message, std::size_t maxPending);
    void send(std::string bytes, std::size_t maxPending);

    // Closes the socket and reports the close once; later sends are dropped.
    void close();
    bool isOpen() const { return open_; }
    std::size_t pendingBytes() const { return pendingBytes_; }
    const std::string& peer() const { return peer_; }

  private:
    void read();
    // Carries out the buffered commands while the pace allows, then reads on.
    void process();
    void writeNext();

    asio::ip::tcp::socket socket_;
    std::string peer_;
    CommandStream stream_;
    std::unique_ptr<std::array<char, 64 * 1024>> readBuffer_;
    asio::steady_timer paceTimer_;
    double commandsPerSecond_;
    double tokens_;
    std::chrono::steady_clock::time_point lastRefill_ = std::chrono::steady_clock::now();
    std::deque<Message> outgoing_;
    std::size_t pendingBytes_ = 0;
    bool writing_ = false;
    bool open_ = true;
    CommandHandler onCommands_;
    CloseHandler onClosed_;
};

}  // namespace vocalis
