#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vocalis {

// One request as the browser page and scripts send it.
struct WebRequest {
    std::string method;  // "GET", "POST", ...
    std::string target;  // path and query
    std::string body;
    std::string pin;  // the X-Vocalis-Pin header, empty without one
};

struct WebReply {
    unsigned status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::string body;
};

// What the server asks of the player. `handle` is called on the server's worker threads,
// several at once; `reply` may be called later, from any thread, exactly once. The rest is
// called on the server's I/O thread.
class WebHandler {
  public:
    virtual ~WebHandler() = default;
    virtual void handle(WebRequest request, std::function<void(WebReply)> reply) = 0;
    // The body limit for a request to that target (bigger for pictures).
    virtual std::size_t bodyLimit(const std::string& method, const std::string& target) const = 0;
    // The text a WebSocket on /api/events is sent when it opens.
    virtual std::string currentEvent() const = 0;
};

// Boost.Asio stays inside the server's own file: a file that also sees standalone Asio (the
// rest of the player's networking) cannot include both.
//
// HTTP/1.1 and WebSocket on one port: one I/O thread of its own, and requests answered on a
// few worker threads (one per core) so that searches run side by side. WebSockets on /api/events get
// every broadcast text; one that cannot keep up skips to the newest, since each text is a
// whole state.
class WebServer {
  public:
    static constexpr std::size_t kMaxConnections = 256;

    explicit WebServer(WebHandler& handler);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens on every interface (on loopback only with `loopbackOnly`); false and a reason
    // when the port cannot be had.
    bool start(std::uint16_t port, std::string* error, bool loopbackOnly = false);
    void stop();
    std::uint16_t port() const { return port_; }

    // From the thread that starts and stops the server.
    void broadcast(std::string text);

    struct Shared;

  private:
    WebHandler& handler_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

}  // namespace vocalis
