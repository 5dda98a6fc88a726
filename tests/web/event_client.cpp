#include "web/event_client.h"

#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

namespace vocalis::testing {

namespace beast = boost::beast;
namespace asio = boost::asio;

struct EventClient::Socket {
    asio::io_context io;
    beast::websocket::stream<beast::tcp_stream> ws{io};
};

EventClient::EventClient(std::uint16_t port) : socket_(std::make_unique<Socket>()) {
    auto& layer = beast::get_lowest_layer(socket_->ws);
    layer.expires_after(std::chrono::seconds(10));
    layer.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    socket_->ws.handshake("127.0.0.1", "/api/events");
}

EventClient::~EventClient() = default;

std::optional<nlohmann::json> EventClient::until(const std::function<bool(const nlohmann::json&)>& test) {
    // A read that runs out of time closes the connection: every later call fails at once.
    beast::get_lowest_layer(socket_->ws).expires_after(std::chrono::seconds(10));
    for (beast::flat_buffer buffer;; buffer.clear()) {
        beast::error_code result;
        socket_->ws.async_read(buffer, [&result](beast::error_code error, std::size_t) { result = error; });
        socket_->io.restart();
        socket_->io.run();
        if (result) return std::nullopt;
        auto state = nlohmann::json::parse(beast::buffers_to_string(buffer.data()));
        if (!test || test(state)) return state;
    }
}

}  // namespace vocalis::testing
