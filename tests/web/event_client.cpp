#include "web/event_client.h"

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

namespace vocalis::testing {

namespace beast = boost::beast;
namespace asio = boost::asio;

struct EventClient::Socket {
    asio::io_context io;
    beast::websocket::stream<beast::tcp_stream> ws{io};
    beast::flat_buffer buffer;
    bool reading = false;
    std::optional<beast::error_code> result;
};

EventClient::EventClient(std::uint16_t port) : socket_(std::make_unique<Socket>()) {
    auto& layer = beast::get_lowest_layer(socket_->ws);
    layer.expires_after(std::chrono::seconds(10));
    layer.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    socket_->ws.handshake("127.0.0.1", "/api/events");
    layer.expires_never();
}

EventClient::~EventClient() = default;

std::optional<nlohmann::json> EventClient::until(const std::function<bool(const nlohmann::json&)>& test) {
    Socket& s = *socket_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        // A read that timed out stays pending for the next call.
        if (!s.reading) {
            s.reading = true;
            s.buffer.clear();
            s.ws.async_read(s.buffer, [&s](beast::error_code error, std::size_t) {
                s.reading = false;
                s.result = error;
            });
        }
        s.io.restart();
        s.io.run_until(deadline);
        if (!s.result || *s.result) return std::nullopt;
        s.result.reset();
        auto state = nlohmann::json::parse(beast::buffers_to_string(s.buffer.data()));
        if (!test || test(state)) return state;
    }
}

}  // namespace vocalis::testing
