#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "base/serial_queue.h"
#include "remote/http_connection.h"
#include "remote/http_routing.h"

namespace vocalis {

// A small HTTP/1.1 file server. Listening runs on its "HTTPServer" queue; every connection's
// reading, parsing and writing runs on one shared "HTTPConnection" queue. The routing
// decides what is answered and must outlive the server.
class HTTPServer {
  public:
    static constexpr std::size_t kDefaultMaxConnections = 256;

    explicit HTTPServer(HTTPRouting& routing, HTTPTimeouts timeouts = {},
                        std::size_t maxConnections = kDefaultMaxConnections);
    ~HTTPServer();
    HTTPServer(const HTTPServer&) = delete;
    HTTPServer& operator=(const HTTPServer&) = delete;

    // Set before start(); 0 picks a free port, which port() tells afterwards.
    void setPort(std::uint16_t port) { port_ = port; }
    std::uint16_t port() const { return port_; }

    // Listens on every local address. On failure returns false with the reason in `error`.
    bool start(std::string* error = nullptr);
    // Closes the listening socket and every connection. Safe to call more than once.
    void stop();
    bool isRunning() const { return running_; }
    std::size_t connectionCount() const;

  private:
    void accept();
    void admit(const std::shared_ptr<HTTPConnection>& connection);
    void connectionDidDie(const HTTPConnection* connection);

    HTTPRouting& routing_;
    HTTPTimeouts timeouts_;
    std::size_t maxConnections_;
    std::atomic<std::uint16_t> port_{0};
    std::atomic<bool> running_{false};

    std::unique_ptr<SerialQueue> serverQueue_;
    std::unique_ptr<SerialQueue> connectionQueue_;
    std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
    std::unique_ptr<asio::steady_timer> retryTimer_;

    mutable std::mutex connectionsMutex_;
    std::unordered_map<const HTTPConnection*, std::shared_ptr<HTTPConnection>> connections_;
};

}  // namespace vocalis
