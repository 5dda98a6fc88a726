#include "web/web_server.h"

#include <pthread.h>

#include <array>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "base/close_on_exec.h"
#include "base/log.h"

namespace vocalis {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kHeadTime = std::chrono::seconds(10);
// A 32 MiB picture over a venue's crowded Wi-Fi.
constexpr auto kBodyTime = std::chrono::seconds(120);
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kHeadBytes = 16 * 1024;
constexpr std::size_t kEventMessageBytes = 4096;  // the page sends nothing but control frames

class EventSession;

// At least two, so that one long answer never holds up every other.
std::size_t workerCount() { return std::max(2u, std::thread::hardware_concurrency()); }

}  // namespace

// Members are destroyed in reverse order: the io_context goes before the counters, and the
// sessions its pending work still holds go with it. The workers are joined by stop().
struct WebServer::Shared {
    explicit Shared(WebHandler& handler) : handler(handler) {}
    WebHandler& handler;
    std::size_t connections = 0;                      // server thread only
    std::vector<std::weak_ptr<EventSession>> events;  // server thread only
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    // Requests are answered here, beside the I/O thread: a search takes milliseconds.
    asio::thread_pool workers{workerCount()};
};

namespace {

using Shared = WebServer::Shared;

// Counts a connection for as long as its session lives.
class Counted {
  public:
    explicit Counted(Shared& shared) : shared_(shared) { ++shared_.connections; }
    ~Counted() { --shared_.connections; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

  private:
    Shared& shared_;
};

class EventSession final : public std::enable_shared_from_this<EventSession> {
  public:
    EventSession(tcp::socket socket, Shared& shared)
        : counted_(shared), shared_(shared), ws_(std::move(socket)) {}

    void run(http::request<http::string_body> request) {
        beast::get_lowest_layer(ws_).expires_never();
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(kEventMessageBytes);
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (error) return;
            self->shared_.events.push_back(self);
            self->send(self->shared_.handler.currentEvent());
            self->read();
        });
    }

    // The newest text replaces one still waiting: each is a whole state.
    void send(std::string text) {
        if (closed_) return;
        if (writing_) {
            pending_ = std::move(text);
            return;
        }
        writing_ = true;
        current_ = std::move(text);
        ws_.text(true);
        ws_.async_write(asio::buffer(current_),
                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                            self->writing_ = false;
                            if (error) {
                                self->closed_ = true;
                                return;
                            }
                            if (self->pending_) {
                                std::string next = std::move(*self->pending_);
                                self->pending_.reset();
                                self->send(std::move(next));
                            }
                        });
    }

  private:
    // Reading answers pings and sees the close; what a page sends is dropped.
    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) {
                self->closed_ = true;
                return;
            }
            self->buffer_.clear();
            self->read();
        });
    }

    Counted counted_;
    Shared& shared_;
    websocket::stream<beast::tcp_stream> ws_;
    beast::flat_buffer buffer_;
    std::string current_;
    std::optional<std::string> pending_;
    bool writing_ = false;
    bool closed_ = false;
};

class HttpSession final : public std::enable_shared_from_this<HttpSession> {
  public:
    HttpSession(tcp::socket socket, Shared& shared, std::weak_ptr<Shared> weak)
        : counted_(shared), shared_(shared), weak_(std::move(weak)), stream_(std::move(socket)) {}

    void readHead() {
        parser_.emplace();
        parser_->header_limit(kHeadBytes);
        // The limit depends on the target, so it is checked once the head is in.
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        stream_.expires_after(kHeadTime);
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, std::size_t) { self->onHead(error); });
    }

  private:
    void onHead(beast::error_code error) {
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == asio::error::operation_aborted || error == asio::error::connection_reset)
            return;
        if (error) return answerAndClose(400, "bad request");
        const auto& head = parser_->get();
        if (websocket::is_upgrade(head)) {
            if (head.target() != "/api/events") return answerAndClose(404, "not found");
            std::make_shared<EventSession>(stream_.release_socket(), shared_)->run(parser_->release());
            return;
        }
        const std::size_t limit =
            shared_.handler.bodyLimit(std::string(head.method_string()), std::string(head.target()));
        if (const auto length = parser_->content_length(); length && *length > limit)
            return answerAndClose(413, "too large");
        parser_->body_limit(limit);
        stream_.expires_after(kBodyTime);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, std::size_t) { self->onRequest(error); });
    }

    void onRequest(beast::error_code error) {
        if (error == http::error::body_limit) return answerAndClose(413, "too large");
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == asio::error::operation_aborted || error == asio::error::connection_reset)
            return;
        if (error) return answerAndClose(400, "bad request");
        stream_.expires_never();
        auto message = parser_->release();
        keepAlive_ = message.keep_alive();
        version_ = message.version();
        WebRequest request{std::string(message.method_string()), std::string(message.target()),
                           std::move(message.body()), std::string(message["X-Vocalis-Pin"])};
        auto shared = weak_.lock();
        if (!shared) return;
        asio::post(shared->workers,
                   [shared, self = shared_from_this(), request = std::move(request)]() mutable {
                       self->answer(shared, std::move(request));
                   });
    }

    // On a worker thread. A reply keeps the server's parts alive, so the session it holds
    // goes before them even when the reply comes after stop().
    void answer(const std::shared_ptr<Shared>& shared, WebRequest request) {
        shared->handler.handle(
            std::move(request), [shared, self = shared_from_this()](WebReply reply) mutable {
                asio::post(shared->io, [self = std::move(self), reply = std::move(reply)]() mutable {
                    self->write(std::move(reply));
                });
            });
    }

    void answerAndClose(unsigned status, std::string text) {
        keepAlive_ = false;
        WebReply reply;
        reply.status = status;
        reply.contentType = "application/json; charset=utf-8";
        reply.body = "{\"error\": \"" + text + "\"}";
        write(std::move(reply));
    }

    void write(WebReply reply) {
        response_.emplace(static_cast<http::status>(reply.status), version_);
        response_->set(http::field::server, "Vocalis Player");
        response_->set(http::field::content_type, reply.contentType);
        response_->set(http::field::cache_control, "no-store");
        response_->set("X-Content-Type-Options", "nosniff");
        if (reply.contentType.starts_with("text/html"))
            response_->set("Content-Security-Policy",
                           "default-src 'self'; img-src * data: blob:; connect-src 'self' ws: wss:; "
                           "object-src 'none'; base-uri 'none'; frame-ancestors 'none'");
        response_->body() = std::move(reply.body);
        response_->keep_alive(keepAlive_);
        response_->prepare_payload();
        stream_.expires_after(kBodyTime);
        http::async_write(stream_, *response_,
                          [self = shared_from_this()](beast::error_code error, std::size_t) {
                              self->response_.reset();
                              if (error) return;
                              if (self->keepAlive_)
                                  self->readHead();
                              else
                                  self->linger();
                          });
    }

    // Closes after the answer has gone, reading what the peer still sends for a moment so a
    // reset never overtakes the answer.
    void linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kLingerTime);
        drain();
    }
    void drain() {
        stream_.async_read_some(asio::buffer(drain_),
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (!error) self->drain();
                                });
    }

    Counted counted_;
    Shared& shared_;
    std::weak_ptr<Shared> weak_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    std::array<char, 16 * 1024> drain_{};
    bool keepAlive_ = false;
    unsigned version_ = 11;
};

void accept(const std::shared_ptr<Shared>& shared) {
    std::weak_ptr<Shared> weak = shared;
    shared->acceptor.async_accept([weak](beast::error_code error, tcp::socket socket) {
        auto shared = weak.lock();
        if (!shared || error == asio::error::operation_aborted) return;
        // Past the cap a newcomer is closed at once; those already in keep their place.
        if (!error) closeOnExec(socket.native_handle());
        if (!error && shared->connections < WebServer::kMaxConnections)
            std::make_shared<HttpSession>(std::move(socket), *shared, weak)->readHead();
        accept(shared);
    });
}

}  // namespace

WebServer::WebServer(WebHandler& handler) : handler_(handler) {}

WebServer::~WebServer() { stop(); }

bool WebServer::start(std::uint16_t port, std::string* error, bool loopbackOnly) {
    stop();
    auto shared = std::make_shared<Shared>(handler_);
    try {
        const tcp::endpoint endpoint(loopbackOnly ? asio::ip::address(asio::ip::address_v4::loopback())
                                                  : asio::ip::address(asio::ip::address_v4::any()),
                                     port);
        shared->acceptor.open(endpoint.protocol());
        closeOnExec(shared->acceptor.native_handle());
        shared->acceptor.set_option(asio::socket_base::reuse_address(true));
        shared->acceptor.bind(endpoint);
        shared->acceptor.listen(asio::socket_base::max_listen_connections);
        port_ = shared->acceptor.local_endpoint().port();
    } catch (const boost::system::system_error& failure) {
        if (error) *error = failure.what();
        return false;
    }
    accept(shared);
    shared_ = shared;
    thread_ = std::thread([shared] {
        pthread_setname_np(pthread_self(), "web");
        shared->io.run();
    });
    return true;
}

void WebServer::stop() {
    if (!shared_) return;
    shared_->io.stop();
    if (thread_.joinable()) thread_.join();
    // Requests in hand are answered into the stopped io_context and dropped with it.
    shared_->workers.join();
    shared_.reset();
    port_ = 0;
}

void WebServer::broadcast(std::string text) {
    const std::shared_ptr<Shared> shared = shared_;
    if (!shared) return;
    std::weak_ptr<Shared> weak = shared;
    asio::post(shared->io, [weak, text = std::move(text)] {
        auto shared = weak.lock();
        if (!shared) return;
        std::erase_if(shared->events, [&](const std::weak_ptr<EventSession>& event) {
            auto session = event.lock();
            if (session) session->send(text);
            return !session;
        });
    });
}

}  // namespace vocalis
