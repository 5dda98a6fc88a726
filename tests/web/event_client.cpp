#include "web/event_client.h"

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

namespace vocalis::testing {

namespace beast = boost::beast;
namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;

struct EventClient::Socket {
    asio::io_context io;
    beast::websocket::stream<beast::tcp_stream> ws{io};
    beast::flat_buffer buffer;
    bool reading = false, done = false, failed = false;
};

EventClient::EventClient(std::uint16_t port) : socket_(std::make_unique<Socket>()) {
    auto& layer = beast::get_lowest_layer(socket_->ws);
    layer.expires_after(std::chrono::seconds(10));
    layer.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    socket_->ws.handshake("127.0.0.1", "/api/events");
    layer.expires_never();
}

EventClient::~EventClient() = default;

std::optional<nlohmann::json> EventClient::next(std::chrono::milliseconds timeout) {
    Socket& s = *socket_;
    if (!s.reading) {
        s.reading = true;
        s.buffer.clear();
        s.ws.async_read(s.buffer, [&s](beast::error_code error, std::size_t) {
            s.reading = false;
            s.failed = static_cast<bool>(error);
            s.done = true;
        });
    }
    s.io.restart();
    s.io.run_for(timeout);
    if (!s.done || s.failed) return std::nullopt;
    s.done = false;
    return nlohmann::json::parse(beast::buffers_to_string(s.buffer.data()));
}

std::optional<nlohmann::json> EventClient::until(const std::function<bool(const nlohmann::json&)>& test) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (auto state = next(); state;
         state = next(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())))
        if (test(*state)) return state;
    return std::nullopt;
}

}  // namespace vocalis::testing
