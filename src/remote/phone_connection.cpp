#include "remote/phone_connection.h"

#include <algorithm>
#include <asio/write.hpp>

#include "base/log.h"

namespace vocalis {

namespace {

std::size_t sizeOf(const PhoneConnection::Message& message) {
    std::size_t size = 0;
    for (const auto& piece : message) size += piece->size();
    return size;
}

}  // namespace

PhoneConnection::PhoneConnection(asio::ip::tcp::socket socket, CommandLimits limits, double commandsPerSecond)
    : socket_(std::move(socket)),
      stream_(limits),
      readBuffer_(std::make_unique<std::array<char, 64 * 1024>>()),
      paceTimer_(socket_.get_executor()),
      commandsPerSecond_(commandsPerSecond),
      tokens_(commandsPerSecond) {
    std::error_code error;
    const auto endpoint = socket_.remote_endpoint(error);
    peer_ = error ? std::string("unknown")
                  : endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
    // Notifications are a few bytes each; phones should see them at once.
    socket_.set_option(asio::ip::tcp::no_delay(true), error);
}

void PhoneConnection::start(CommandHandler onCommands, CloseHandler onClosed) {
    onCommands_ = std::move(onCommands);
    onClosed_ = std::move(onClosed);
    read();
}

void PhoneConnection::read() {
    socket_.async_read_some(asio::buffer(*readBuffer_),
                            [self = shared_from_this()](const std::error_code& error, std::size_t length) {
                                if (!self->open_) return;
                                if (error) {
                                    self->close();
                                    return;
                                }
                                self->stream_.append(std::string_view(self->readBuffer_->data(), length));
                                self->process();
                            });
}

void PhoneConnection::process() {
    using Clock = std::chrono::steady_clock;
    while (open_) {
        if (commandsPerSecond_ > 0 && tokens_ < 1) {
            const auto now = Clock::now();
            const double elapsed = std::chrono::duration<double>(now - lastRefill_).count();
            tokens_ = std::min(commandsPerSecond_, tokens_ + elapsed * commandsPerSecond_);
            lastRefill_ = now;
            if (tokens_ < 1) {
                const auto wait = std::chrono::duration<double>((1 - tokens_) / commandsPerSecond_);
                paceTimer_.expires_after(std::chrono::duration_cast<Clock::duration>(wait) +
                                         std::chrono::milliseconds(1));
                paceTimer_.async_wait([self = shared_from_this()](const std::error_code& error) {
                    if (!error && self->open_) self->process();
                });
                return;
            }
        }
        auto command = stream_.next();
        if (!command) break;
        if (onCommands_ && onCommands_(*this, *command)) tokens_ -= 1;
    }
    // Nothing that follows a negative length can be read as commands.
    if (stream_.broken()) close();
    if (open_) read();
}

void PhoneConnection::send(std::string bytes, std::size_t maxPending) {
    send(Message{std::make_shared<const std::string>(std::move(bytes))}, maxPending);
}

void PhoneConnection::send(Message message, std::size_t maxPending) {
    if (!open_) return;
    const std::size_t size = sizeOf(message);
    if (pendingBytes_ + size > maxPending) {
        logParts("Phone ", peer_, " is not reading (", pendingBytes_, " bytes unsent); disconnecting");
        close();
        return;
    }
    pendingBytes_ += size;
    outgoing_.push_back(std::move(message));
    if (!writing_) writeNext();
}

void PhoneConnection::writeNext() {
    if (!open_ || outgoing_.empty()) {
        writing_ = false;
        return;
    }
    writing_ = true;
    std::vector<asio::const_buffer> buffers;
    buffers.reserve(outgoing_.front().size());
    for (const auto& piece : outgoing_.front()) buffers.emplace_back(asio::buffer(*piece));
    // Asio writes 64 KiB per system call unless told otherwise; a catalogue of 100,000
    // songs is 18 MB, so let each call take what the socket will.
    const auto largeWrites = [](const std::error_code& error, std::size_t) -> std::size_t {
        return error ? 0 : std::size_t{16} << 20;
    };
    asio::async_write(socket_, buffers, largeWrites,
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          if (!self->open_) return;
                          if (error) {
                              self->close();
                              return;
                          }
                          self->pendingBytes_ -= sizeOf(self->outgoing_.front());
                          self->outgoing_.pop_front();
                          self->writeNext();
                      });
}

void PhoneConnection::close() {
    if (!open_) return;
    open_ = false;
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    paceTimer_.cancel();
    // The pieces of a write in flight stay alive until its handler has run; they go
    // with the connection.
    pendingBytes_ = 0;
    // The command handler stays: close() may be running inside it.
    if (auto onClosed = std::move(onClosed_)) onClosed(*this);
}

}  // namespace vocalis
