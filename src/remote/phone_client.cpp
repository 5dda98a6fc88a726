#include "remote/phone_client.h"

#include <algorithm>
#include <array>
#include <asio/connect.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <functional>

#include "remote/discovery_protocol.h"

namespace vocalis {

bool PhoneClient::runFor(Duration timeout, bool& done) {
    context_.restart();
    context_.run_for(timeout);
    if (done) return true;
    // Time is up: cancel and let the aborted handler run before the buffers go.
    std::error_code ignored;
    socket_.cancel(ignored);
    context_.restart();
    context_.run();
    return false;
}

bool PhoneClient::connect(const std::string& host, std::uint16_t port, Duration timeout) {
    peer_ = host + ":" + std::to_string(port);
    std::error_code error;
    asio::ip::tcp::resolver resolver(context_);
    const auto endpoints = resolver.resolve(host, std::to_string(port), error);
    if (error) {
        error_ = "cannot resolve " + host + ": " + error.message();
        return false;
    }
    bool done = false;
    std::error_code result;
    asio::async_connect(socket_, endpoints, [&](const std::error_code& e, const asio::ip::tcp::endpoint&) {
        result = e;
        done = true;
    });
    if (!runFor(timeout, done)) {
        error_ = "no answer from " + peer_ + " (timed out connecting)";
        return false;
    }
    if (result) {
        error_ = "cannot connect to " + peer_ + ": " + result.message();
        return false;
    }
    socket_.set_option(asio::ip::tcp::no_delay(true), error);
    return true;
}

bool PhoneClient::send(const std::string& bytes, Duration timeout) {
    bool done = false;
    std::error_code result;
    asio::async_write(socket_, asio::buffer(bytes), [&](const std::error_code& e, std::size_t) {
        result = e;
        done = true;
    });
    if (!runFor(timeout, done)) {
        error_ = "the player at " + peer_ + " does not take what is sent (timed out)";
        return false;
    }
    if (result) {
        error_ = "sending to " + peer_ + " failed: " + result.message();
        return false;
    }
    return true;
}

std::optional<PlayerMessage> PhoneClient::receive(Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::array<char, 65536> buffer;
    timedOut_ = false;
    while (nextReady_ >= ready_.size()) {
        ready_.clear();
        nextReady_ = 0;
        if (closed_) {
            error_ = "the player at " + peer_ + " closed the connection";
            return std::nullopt;
        }
        const auto left = std::chrono::duration_cast<Duration>(deadline - std::chrono::steady_clock::now());
        if (left <= Duration::zero()) {
            timedOut_ = true;
            error_ = "no answer from " + peer_ + " (timed out)";
            return std::nullopt;
        }
        bool done = false;
        std::error_code result;
        std::size_t length = 0;
        socket_.async_read_some(asio::buffer(buffer), [&](const std::error_code& e, std::size_t n) {
            result = e;
            length = n;
            done = true;
        });
        if (!runFor(left, done)) {
            timedOut_ = true;
            error_ = "no answer from " + peer_ + " (timed out)";
            return std::nullopt;
        }
        if (result) {
            closed_ = true;
            continue;
        }
        ready_ = stream_.feed(std::string_view(buffer.data(), length));
        if (stream_.broken()) {
            error_ = "the player at " + peer_ + " sent bytes that are not a message";
            return std::nullopt;
        }
    }
    return std::move(ready_[nextReady_++]);
}

std::optional<PlayerMessage> PhoneClient::receive(std::uint8_t code, Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<Duration>(deadline - std::chrono::steady_clock::now());
        auto message = receive(std::max(left, Duration::zero()));
        if (!message || message->code == code) return message;
    }
}

void PhoneClient::finish(Duration timeout) {
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    while (!closed_ && receive(timeout)) {
    }
}

std::optional<std::vector<DiscoveryAnswer>> discoverPlayers(const std::string& host, std::uint16_t port,
                                                            std::chrono::milliseconds timeout,
                                                            std::string& error) {
    asio::io_context context;
    asio::ip::udp::socket socket(context);
    std::error_code e;
    const auto address = asio::ip::make_address_v4(host, e);
    if (e) {
        error = "not an IPv4 address: " + host;
        return std::nullopt;
    }
    socket.open(asio::ip::udp::v4(), e);
    if (!e) socket.set_option(asio::socket_base::broadcast(true), e);
    if (!e) socket.bind(asio::ip::udp::endpoint(asio::ip::udp::v4(), 0), e);
    const std::string probe(discovery::kProbePrefix);
    if (!e) socket.send_to(asio::buffer(probe), asio::ip::udp::endpoint(address, port), 0, e);
    if (e) {
        error = "cannot send the probe to " + host + ":" + std::to_string(port) + ": " + e.message();
        return std::nullopt;
    }
    std::vector<DiscoveryAnswer> answers;
    std::array<char, 65536> buffer;
    asio::ip::udp::endpoint sender;
    std::function<void()> receive = [&] {
        socket.async_receive_from(asio::buffer(buffer), sender, [&](const std::error_code& r, std::size_t n) {
            if (r) return;
            answers.push_back({sender.address().to_string(), std::string(buffer.data(), n)});
            receive();
        });
    };
    receive();
    context.run_for(timeout);
    socket.close(e);
    context.restart();
    context.run();
    return answers;
}

}  // namespace vocalis
