#pragma once

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "remote/http_file_response.h"
#include "remote/http_range.h"
#include "remote/http_request.h"
#include "remote/http_routing.h"

namespace vocalis {

struct HTTPTimeouts {
    // For each line of a request head, and for writing an answer's head.
    std::chrono::milliseconds headRead{30000};
    std::chrono::milliseconds headWrite{30000};
    // For a whole request head, from its first byte.
    std::chrono::milliseconds headWhole{10000};
    // For a body that sends nothing: a client may read slowly, but not hold its place for ever.
    std::chrono::milliseconds bodyStall{60000};
};

// One client connection: reads request heads line by line, asks the routing for the
// answer and sends it. Runs entirely on the server's connection queue.
class HTTPConnection : public std::enable_shared_from_this<HTTPConnection> {
  public:
    static constexpr std::size_t kMaxLineLength = 8190;  // bytes, CRLF included
    static constexpr int kMaxHeaderLines = 100;
    static constexpr std::size_t kMaxBytesInFlight = 524288;  // body bytes per connection
    static constexpr int kPiecesPerTurn = 8;
    static constexpr std::chrono::milliseconds kLingerTime{2000};

    using DeathHandler = std::function<void(const HTTPConnection*)>;

    HTTPConnection(asio::ip::tcp::socket socket, HTTPRouting& routing, HTTPTimeouts timeouts,
                   DeathHandler onDeath);
    HTTPConnection(const HTTPConnection&) = delete;
    HTTPConnection& operator=(const HTTPConnection&) = delete;

    void start();
    // Closes the socket and announces the end once; safe to call again.
    void close();
    // Since when it has been waiting for a request head that has not come whole (or has been
    // lingering after its last answer); none while a request is being answered.
    std::optional<std::chrono::steady_clock::time_point> waitingSince() const { return waitingSince_; }
    // Since when its answer has sent nothing; none unless it is answering.
    std::optional<std::chrono::steady_clock::time_point> quietSince() const { return quietSince_; }

  private:
    // A piece of an answer's body: literal bytes, or a range of the response's file.
    struct Segment {
        std::string text;
        std::optional<ByteRange> file;
    };

    void readHeadLine();
    void waitForHead();
    void beginHead();
    void endHead();
    void handleLine(const std::string& line);
    void handleHead();
    void sendError(int status, bool closeAfter);
    void sendResponse();
    std::string headText(int status, const HTTPHeaders& fields) const;
    void writeHead(std::string head, bool withBody, bool closeAfter);
    void afterHead();
    void setCorked(bool corked);
    void writeNextSegment();
    void sendFileChunk();
    void sendPieceByCopy(std::size_t piece);
    void waitWritable();
    void finish(bool closeAfter);
    void lingeringClose();
    void discardInput();
    bool keepsAlive() const;

    // The handler of an asynchronous wait or write: does nothing once closed, closes on an
    // error, else runs `step(connection, bytes)`.
    template <typename Step>
    auto continuation(Step step);

    void armTimer(std::chrono::milliseconds delay);
    void disarmTimer();
    void madeProgress() { quietSince_ = std::chrono::steady_clock::now(); }
    void watchBody();
    void armBodyTimer();

    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    asio::steady_timer headTimer_;
    HTTPRouting& routing_;
    HTTPTimeouts timeouts_;
    DeathHandler onDeath_;

    std::string inbox_;
    std::array<char, 8192> readBuffer_{};
    bool lineTimerArmed_ = false;
    std::uint64_t timerGeneration_ = 0;
    std::uint64_t headGeneration_ = 0;
    bool headBegun_ = false;
    std::optional<std::chrono::steady_clock::time_point> waitingSince_;
    std::optional<std::chrono::steady_clock::time_point> quietSince_;

    HTTPRequest request_;
    int headerLines_ = 0;
    std::optional<HTTPFileResponse> response_;
    std::vector<Segment> segments_;
    std::size_t segmentIndex_ = 0;
    std::uint64_t segmentLeft_ = 0;
    std::string headBuffer_;
    std::vector<std::uint8_t> pieceBuffer_;
    bool closeAfterAnswer_ = false;
    bool withBody_ = false;
    bool corked_ = false;
    bool bodyWatched_ = false;
    bool closed_ = false;
};

}  // namespace vocalis
