#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "base/serial_queue.h"
#include "remote/http_connection.h"
#include "remote/http_routing.h"

namespace vocalis {

// Loopback (127.0.0.0/8, ::1), also in its IPv4-mapped form: where the player's own libVLC comes from.
bool isLoopbackPeer(const asio::ip::address& address);

// A small HTTP/1.1 file server. Listening runs on its "HTTPServer" queue; every connection's
// reading, parsing and writing runs on one shared "HTTPConnection" queue. The routing
// decides what is answered and must outlive the server.
//
// Connections are capped. At the cap a newcomer takes the place of the connection that has
// waited longest for a request head; with none waiting, a newcomer from one of the player's own
// peers takes the place of the stranger's answer that has sent nothing for the longest, and any
// other newcomer is refused. So clients that stop reading never lock the player out.
class HTTPServer {
  public:
    static constexpr std::size_t kDefaultMaxConnections = 256;
    // Tells the player's own peers; IPv4 peers are given as IPv4 addresses.
    using PeerTest = std::function<bool(const asio::ip::address&)>;

    explicit HTTPServer(HTTPRouting& routing, HTTPTimeouts timeouts = {},
                        std::size_t maxConnections = kDefaultMaxConnections);
    ~HTTPServer();
    HTTPServer(const HTTPServer&) = delete;
    HTTPServer& operator=(const HTTPServer&) = delete;

    // Set before start(); 0 picks a free port, which port() tells afterwards.
    void setPort(std::uint16_t port) { port_ = port; }
    std::uint16_t port() const { return port_; }
    // Set before start(); loopback peers unless set.
    void setOwnPeerTest(PeerTest isOwnPeer) { isOwnPeer_ = std::move(isOwnPeer); }

    // Listens on every local address. On failure returns false with the reason in `error`.
    bool start(std::string* error = nullptr);
    // Closes the listening socket and every connection. Safe to call more than once.
    void stop();
    bool isRunning() const { return running_; }
    std::size_t connectionCount() const;

  private:
    struct Admitted {
        std::shared_ptr<HTTPConnection> connection;
        bool ownPeer = false;
    };

    void accept();
    bool fromOwnPeer(const asio::ip::tcp::socket& socket) const;
    void admit(const Admitted& newcomer);
    std::shared_ptr<HTTPConnection> placeFor(const Admitted& newcomer) const;
    void connectionDidDie(const HTTPConnection* connection);

    HTTPRouting& routing_;
    HTTPTimeouts timeouts_;
    std::size_t maxConnections_;
    PeerTest isOwnPeer_ = isLoopbackPeer;
    std::atomic<std::uint16_t> port_{0};
    std::atomic<bool> running_{false};

    std::unique_ptr<SerialQueue> serverQueue_;
    std::unique_ptr<SerialQueue> connectionQueue_;
    std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
    std::unique_ptr<asio::steady_timer> retryTimer_;

    mutable std::mutex connectionsMutex_;
    std::unordered_map<const HTTPConnection*, Admitted> connections_;
};

}  // namespace vocalis
