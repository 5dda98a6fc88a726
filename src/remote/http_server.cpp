#include "remote/http_server.h"

#include <chrono>
#include <future>
#include <optional>
#include <vector>

#include "base/close_on_exec.h"
#include "base/log.h"

namespace vocalis {

namespace {

// Runs the task on the queue and waits for it.
void runOn(SerialQueue& queue, Task task) {
    std::promise<void> done;
    auto finished = done.get_future();
    queue.post([&task, &done] {
        task();
        done.set_value();
    });
    finished.wait();
}

// A dual-stack listener sees IPv4 peers as ::ffff:a.b.c.d.
asio::ip::address unmapped(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return address;
}

}  // namespace

bool isLoopbackPeer(const asio::ip::address& address) { return unmapped(address).is_loopback(); }

HTTPServer::HTTPServer(HTTPRouting& routing, HTTPTimeouts timeouts, std::size_t maxConnections)
    : routing_(routing), timeouts_(timeouts), maxConnections_(maxConnections) {}

HTTPServer::~HTTPServer() { stop(); }

bool HTTPServer::start(std::string* error) {
    if (running_) return true;
    serverQueue_ = std::make_unique<SerialQueue>("HTTPServer");
    connectionQueue_ = std::make_unique<SerialQueue>("HTTPConnection");
    acceptor_ = std::make_unique<asio::ip::tcp::acceptor>(serverQueue_->context());
    retryTimer_ = std::make_unique<asio::steady_timer>(serverQueue_->context());
    asio::error_code code;
    auto listen = [&](const asio::ip::tcp& protocol) {
        code.clear();
        acceptor_->open(protocol, code);
        if (code) return false;
        closeOnExec(acceptor_->native_handle());
        if (protocol == asio::ip::tcp::v6()) acceptor_->set_option(asio::ip::v6_only(false), code);
        acceptor_->set_option(asio::socket_base::reuse_address(true), code);
        acceptor_->bind(asio::ip::tcp::endpoint(protocol, port_), code);
        if (!code) acceptor_->listen(asio::socket_base::max_listen_connections, code);
        if (code) {
            asio::error_code ignored;
            acceptor_->close(ignored);
        }
        return !code;
    };
    // Both address families through one socket where the system has IPv6, else IPv4 alone.
    if (!listen(asio::ip::tcp::v6()) && !listen(asio::ip::tcp::v4())) {
        if (error) *error = code.message();
        acceptor_.reset();
        retryTimer_.reset();
        serverQueue_.reset();
        connectionQueue_.reset();
        return false;
    }
    port_ = acceptor_->local_endpoint().port();
    running_ = true;
    serverQueue_->post([this] { accept(); });
    return true;
}

void HTTPServer::accept() {
    acceptor_->async_accept(connectionQueue_->context(),
                            [this](const asio::error_code& error, asio::ip::tcp::socket socket) {
                                if (error == asio::error::operation_aborted || !acceptor_->is_open()) return;
                                if (error) {
                                    // Out of descriptors and the like: try again shortly rather than spin.
                                    retryTimer_->expires_after(std::chrono::milliseconds(100));
                                    retryTimer_->async_wait([this](const asio::error_code& timerError) {
                                        if (!timerError) accept();
                                    });
                                    return;
                                }
                                closeOnExec(socket.native_handle());
                                Admitted newcomer{nullptr, fromOwnPeer(socket)};
                                newcomer.connection = std::make_shared<HTTPConnection>(
                                    std::move(socket), routing_, timeouts_,
                                    [this](const HTTPConnection* dead) { connectionDidDie(dead); });
                                connectionQueue_->post([this, newcomer] { admit(newcomer); });
                                accept();
                            });
}

bool HTTPServer::fromOwnPeer(const asio::ip::tcp::socket& socket) const {
    asio::error_code error;
    const auto peer = socket.remote_endpoint(error);
    return !error && isOwnPeer_(unmapped(peer.address()));
}

// On the connection queue, where every connection's state changes, so the choice sees each
// connection as it is.
void HTTPServer::admit(const Admitted& newcomer) {
    std::shared_ptr<HTTPConnection> evicted;
    bool full = false;
    {
        std::lock_guard lock(connectionsMutex_);
        full = connections_.size() >= maxConnections_;
        if (full) evicted = placeFor(newcomer);
    }
    if (full && !evicted) {
        newcomer.connection->close();
        return;
    }
    if (evicted) evicted->close();
    {
        std::lock_guard lock(connectionsMutex_);
        connections_.emplace(newcomer.connection.get(), newcomer);
    }
    newcomer.connection->start();
}

std::shared_ptr<HTTPConnection> HTTPServer::placeFor(const Admitted& newcomer) const {
    std::shared_ptr<HTTPConnection> waiting, quiet;
    std::optional<std::chrono::steady_clock::time_point> waitingSince, quietSince;
    for (const auto& [key, entry] : connections_) {
        const auto since = entry.connection->waitingSince();
        if (since && (!waitingSince || *since < *waitingSince)) {
            waitingSince = since;
            waiting = entry.connection;
        }
        const auto silent = entry.ownPeer ? std::nullopt : entry.connection->quietSince();
        if (silent && (!quietSince || *silent < *quietSince)) {
            quietSince = silent;
            quiet = entry.connection;
        }
    }
    if (waiting) return waiting;
    return newcomer.ownPeer ? quiet : nullptr;
}

void HTTPServer::connectionDidDie(const HTTPConnection* connection) {
    std::lock_guard lock(connectionsMutex_);
    connections_.erase(connection);
}

std::size_t HTTPServer::connectionCount() const {
    std::lock_guard lock(connectionsMutex_);
    return connections_.size();
}

void HTTPServer::stop() {
    if (!running_.exchange(false)) return;
    runOn(*serverQueue_, [this] {
        asio::error_code ignored;
        acceptor_->close(ignored);
        retryTimer_->cancel();
    });
    runOn(*connectionQueue_, [this] {
        std::vector<std::shared_ptr<HTTPConnection>> open;
        {
            std::lock_guard lock(connectionsMutex_);
            for (const auto& entry : connections_) open.push_back(entry.second.connection);
        }
        for (const auto& connection : open) connection->close();
        std::lock_guard lock(connectionsMutex_);
        connections_.clear();
    });
    serverQueue_->stop();
    connectionQueue_->stop();
    acceptor_.reset();
    retryTimer_.reset();
    serverQueue_.reset();
    connectionQueue_.reset();
}

}  // namespace vocalis
