#pragma once

#include <array>
#include <asio/ip/tcp.hpp>
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
    using CommandHandler = std::function<void(PhoneConnection&, std::vector<PhoneCommand>)>;
    using CloseHandler = std::function<void(PhoneConnection&)>;

    PhoneConnection(asio::ip::tcp::socket socket, CommandLimits limits);

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
    void writeNext();

    asio::ip::tcp::socket socket_;
    std::string peer_;
    CommandStream stream_;
    std::unique_ptr<std::array<char, 64 * 1024>> readBuffer_;
    std::deque<Message> outgoing_;
    std::size_t pendingBytes_ = 0;
    bool writing_ = false;
    bool open_ = true;
    CommandHandler onCommands_;
    CloseHandler onClosed_;
};

}  // namespace vocalis
