#include "remote/http_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <asio/buffer.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include "remote/http_boundary.h"
#include "remote/http_date.h"
#include "remote/http_status.h"
#include "remote/http_text.h"

namespace vocalis {

HTTPConnection::HTTPConnection(asio::ip::tcp::socket socket, HTTPRouting& routing, HTTPTimeouts timeouts,
                               DeathHandler onDeath)
    : socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      headTimer_(socket_.get_executor()),
      routing_(routing),
      timeouts_(timeouts),
      onDeath_(std::move(onDeath)) {}

void HTTPConnection::start() {
    asio::error_code ignored;
    // Reads and writes are tried at once and only wait when the socket is not ready.
    socket_.non_blocking(true, ignored);
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    waitForHead();
}

void HTTPConnection::close() {
    if (closed_) return;
    closed_ = true;
    disarmTimer();
    endHead();
    waitingSince_.reset();
    quietSince_.reset();
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    if (response_) response_->abort();
    response_.reset();
    if (onDeath_) onDeath_(this);
}

template <typename Step>
auto HTTPConnection::continuation(Step step) {
    return [self = shared_from_this(), step = std::move(step)](const asio::error_code& error,
                                                               std::size_t bytes = 0) {
        if (self->closed_) return;
        if (error) {
            self->close();
            return;
        }
        step(*self, bytes);
    };
}

void HTTPConnection::armTimer(std::chrono::milliseconds delay) {
    const std::uint64_t generation = ++timerGeneration_;
    timer_.expires_after(delay);
    timer_.async_wait([self = shared_from_this(), generation](const asio::error_code& error) {
        if (!error && generation == self->timerGeneration_) self->close();
    });
}

void HTTPConnection::disarmTimer() {
    ++timerGeneration_;
    lineTimerArmed_ = false;
    timer_.cancel();
}

// Starts the first time a body waits for its client, so an answer sent at once costs no timer.
// The wait is moved on only when it comes due, so a piece sent costs no timer work either; a
// body that has sent nothing for the whole stall time closes its connection.
void HTTPConnection::watchBody() {
    if (bodyWatched_) return;
    bodyWatched_ = true;
    armBodyTimer();
}

void HTTPConnection::armBodyTimer() {
    const std::uint64_t generation = ++timerGeneration_;
    timer_.expires_at(*quietSince_ + timeouts_.bodyStall);
    timer_.async_wait([self = shared_from_this(), generation](const asio::error_code& error) {
        if (error || generation != self->timerGeneration_ || !self->quietSince_) return;
        if (std::chrono::steady_clock::now() - *self->quietSince_ >= self->timeouts_.bodyStall)
            self->close();
        else
            self->armBodyTimer();
    });
}

// --- reading the head ----------------------------------------------------------------

void HTTPConnection::waitForHead() {
    waitingSince_ = std::chrono::steady_clock::now();
    readHeadLine();
}

// Each line has its own time-out, but so does the head as a whole once it has begun, or a
// client sending a line now and then would hold its connection for the time of 100 lines.
void HTTPConnection::beginHead() {
    headBegun_ = true;
    const std::uint64_t generation = ++headGeneration_;
    headTimer_.expires_after(timeouts_.headWhole);
    headTimer_.async_wait([self = shared_from_this(), generation](const asio::error_code& error) {
        if (!error && generation == self->headGeneration_) self->close();
    });
}

void HTTPConnection::endHead() {
    if (!headBegun_) return;
    headBegun_ = false;
    ++headGeneration_;
    headTimer_.cancel();
}

void HTTPConnection::readHeadLine() {
    for (;;) {
        if (closed_) return;
        if (!headBegun_ && !inbox_.empty()) beginHead();
        const auto end = inbox_.find("\r\n");
        if (end != std::string::npos) {
            if (lineTimerArmed_) disarmTimer();
            const std::string line = inbox_.substr(0, end);
            inbox_.erase(0, end + 2);
            handleLine(line);
            return;
        }
        // The inbox never holds more than one line's worth, so a full inbox is an overlong line.
        if (inbox_.size() >= kMaxLineLength) {
            lingeringClose();
            return;
        }
        const std::size_t room = std::min(readBuffer_.size(), kMaxLineLength - inbox_.size());
        asio::error_code error;
        const std::size_t bytes = socket_.read_some(asio::buffer(readBuffer_.data(), room), error);
        if (error == asio::error::would_block) break;
        if (error) {
            close();
            return;
        }
        inbox_.append(readBuffer_.data(), bytes);
    }
    if (!lineTimerArmed_) {
        armTimer(timeouts_.headRead);
        lineTimerArmed_ = true;
    }
    socket_.async_wait(asio::socket_base::wait_read,
                       continuation([](HTTPConnection& self, std::size_t) { self.readHeadLine(); }));
}

void HTTPConnection::handleLine(const std::string& line) {
    const HTTPRequest::Feed fed = request_.feedLine(line);
    if (fed != HTTPRequest::Feed::NeedMore) {
        endHead();
        waitingSince_.reset();
    }
    switch (fed) {
        case HTTPRequest::Feed::Rejected:
            sendError(400, true);
            return;
        case HTTPRequest::Feed::NeedMore:
            if (++headerLines_ > kMaxHeaderLines) {
                lingeringClose();
                return;
            }
            readHeadLine();
            return;
        case HTTPRequest::Feed::Complete:
            handleHead();
            return;
    }
}

void HTTPConnection::handleHead() {
    const std::string& method = request_.method();
    const std::string& uri = request_.uri();
    const auto contentLength = request_.header("Content-Length");
    if (method == "GET" || method == "HEAD") {
        if (contentLength) {
            const auto length = readUnsignedDecimal(*contentLength);
            if (!length || *length != 0) {
                sendError(400, true);
                return;
            }
        }
    } else if (method == "POST" || method == "PUT") {
        const auto encoding = request_.header("Transfer-Encoding");
        const bool chunked = encoding && equalsIgnoringCase(*encoding, "chunked");
        if (!chunked && !(contentLength && readUnsignedDecimal(*contentLength))) {
            sendError(400, true);
            return;
        }
    }
    const std::string_view path = std::string_view(uri).substr(0, uri.find('?'));
    if (!routing_.supportsMethod(method, path)) {
        sendError(405, true);
        return;
    }
    const std::string& version = request_.version();
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        sendError(505, !keepsAlive());
        return;
    }
    response_ = routing_.httpResponseForMethod(method, uri);
    if (!response_) {
        sendError(routing_.missingResponseStatus(), !keepsAlive());
        return;
    }
    sendResponse();
}

bool HTTPConnection::keepsAlive() const {
    if (routing_.closesEveryConnection()) return false;
    const auto connection = request_.header("Connection");
    if (request_.version() == "HTTP/1.1") return !(connection && equalsIgnoringCase(*connection, "close"));
    if (request_.version() == "HTTP/1.0") return connection && equalsIgnoringCase(*connection, "keep-alive");
    return false;
}

// --- answering -----------------------------------------------------------------------

std::string HTTPConnection::headText(int status, const HTTPHeaders& fields) const {
    std::string head =
        "HTTP/1.1 " + std::to_string(status) + " " + std::string(httpReasonPhrase(status)) + "\r\n";
    // Whatever a file name or a routing puts into a field, it can never end the line early.
    auto append = [&head](std::string_view text) {
        for (const char c : text) head.push_back(c == '\r' || c == '\n' ? ' ' : c);
    };
    auto add = [&head, &append](std::string_view name, std::string_view value) {
        append(name);
        head.append(": ");
        append(value);
        head.append("\r\n");
    };
    for (const auto& [name, value] : fields) add(name, value);
    add("Date", httpDateNow());
    add("Accept-Ranges", "bytes");
    if (response_)
        for (const auto& [name, value] : response_->httpHeaders()) add(name, value);
    for (const auto& [name, value] : routing_.commonHeaders()) add(name, value);
    if (routing_.closesEveryConnection()) add("Connection", "Close");
    head.append("\r\n");
    return head;
}

void HTTPConnection::sendError(int status, bool closeAfter) {
    response_.reset();
    HTTPHeaders fields{{"Content-Length", "0"}};
    if (closeAfter && (status == 400 || status == 405) && !routing_.closesEveryConnection())
        fields.emplace_back("Connection", "close");
    writeHead(headText(status, fields), false, closeAfter);
}

void HTTPConnection::sendResponse() {
    const std::uint64_t total = response_->contentLength();
    const auto rangeField = request_.header("Range");
    const auto ranges = rangeField ? parseRangeField(*rangeField, total) : std::nullopt;
    segments_.clear();
    HTTPHeaders fields;
    int status = 200;
    if (!ranges) {
        fields.emplace_back("Content-Length", std::to_string(total));
        segments_.push_back({{}, ByteRange{0, total}});
    } else if (ranges->size() == 1) {
        status = 206;
        const ByteRange& range = ranges->front();
        fields.emplace_back("Content-Length", std::to_string(range.length));
        fields.emplace_back("Content-Range", contentRangeText(range, total));
        segments_.push_back({{}, range});
    } else {
        status = 206;
        const std::string boundary = makeUUIDText();
        std::uint64_t length = 0;
        for (const ByteRange& range : *ranges) {
            Segment partHead{
                "\r\n--" + boundary + "\r\nContent-Range: " + contentRangeText(range, total) + "\r\n\r\n",
                {}};
            length += partHead.text.size() + range.length;
            segments_.push_back(std::move(partHead));
            segments_.push_back({{}, range});
        }
        Segment closing{"\r\n--" + boundary + "--\r\n", {}};
        length += closing.text.size();
        segments_.push_back(std::move(closing));
        fields.emplace_back("Content-Type", "multipart/byteranges; boundary=" + boundary);
        fields.emplace_back("Content-Length", std::to_string(length));
    }
    const bool withBody = request_.method() != "HEAD" && total > 0;
    writeHead(headText(status, fields), withBody, !keepsAlive());
}

void HTTPConnection::writeHead(std::string head, bool withBody, bool closeAfter) {
    closeAfterAnswer_ = closeAfter;
    withBody_ = withBody;
    madeProgress();
    headBuffer_ = std::move(head);
    // Hold the head back until the first body bytes join it in one segment.
    if (withBody) setCorked(true);
    asio::error_code error;
    const std::size_t written = socket_.write_some(asio::buffer(headBuffer_), error);
    if (error && error != asio::error::would_block) {
        close();
        return;
    }
    if (!error && written == headBuffer_.size()) {
        afterHead();
        return;
    }
    headBuffer_.erase(0, error ? 0 : written);
    armTimer(timeouts_.headWrite);
    asio::async_write(socket_, asio::buffer(headBuffer_), continuation([](HTTPConnection& self, std::size_t) {
                          self.disarmTimer();
                          self.afterHead();
                      }));
}

void HTTPConnection::afterHead() {
    if (!withBody_) {
        finish(closeAfterAnswer_);
        return;
    }
    segmentIndex_ = 0;
    segmentLeft_ = 0;
    madeProgress();
    writeNextSegment();
}

void HTTPConnection::setCorked(bool corked) {
    if (corked_ == corked) return;
    corked_ = corked;
    const int value = corked ? 1 : 0;
    ::setsockopt(socket_.native_handle(), IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

void HTTPConnection::writeNextSegment() {
    if (closed_) return;
    if (segmentIndex_ >= segments_.size()) {
        finish(closeAfterAnswer_);
        return;
    }
    Segment& segment = segments_[segmentIndex_];
    if (segment.file) {
        if (!response_ || !response_->setOffset(segment.file->start)) {
            close();
            return;
        }
        segmentLeft_ = segment.file->length;
        sendFileChunk();
        return;
    }
    watchBody();
    asio::async_write(socket_, asio::buffer(segment.text),
                      continuation([](HTTPConnection& self, std::size_t) {
                          self.madeProgress();
                          ++self.segmentIndex_;
                          self.writeNextSegment();
                      }));
}

// Body bytes go in pieces of at most kMaxBytesInFlight, each only once the socket can take
// more, so a connection never holds more than that much of the body outside the file.
void HTTPConnection::sendFileChunk() {
    if (closed_) return;
    if (segmentLeft_ == 0) {
        ++segmentIndex_;
        writeNextSegment();
        return;
    }
    // Pieces go to the socket while it takes them (a few per turn, so other connections on
    // the queue get their share), then the connection waits until it can take more.
    for (int turn = 0; turn < kPiecesPerTurn && segmentLeft_ > 0; ++turn) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(segmentLeft_, kMaxBytesInFlight));
        const auto result = response_->sendToSocket(socket_.native_handle(), piece);
        switch (result.status) {
            case HTTPFileResponse::SendStatus::Sent:
                segmentLeft_ -= result.bytes;
                madeProgress();
                continue;
            case HTTPFileResponse::SendStatus::WouldBlock:
                waitWritable();
                return;
            case HTTPFileResponse::SendStatus::Failed:
                close();
                return;
            case HTTPFileResponse::SendStatus::Unsupported:
                sendPieceByCopy(piece);
                return;
        }
    }
    if (segmentLeft_ == 0) {
        ++segmentIndex_;
        writeNextSegment();
    } else {
        waitWritable();
    }
}

void HTTPConnection::sendPieceByCopy(std::size_t piece) {
    // Files that cannot be spliced into a socket are read into one bounded buffer.
    pieceBuffer_ = response_->readDataOfLength(piece);
    if (pieceBuffer_.empty()) {
        close();
        return;
    }
    watchBody();
    asio::async_write(socket_, asio::buffer(pieceBuffer_),
                      continuation([](HTTPConnection& self, std::size_t bytes) {
                          self.madeProgress();
                          self.segmentLeft_ -= bytes;
                          self.pieceBuffer_.clear();
                          self.sendFileChunk();
                      }));
}

void HTTPConnection::waitWritable() {
    watchBody();
    socket_.async_wait(asio::socket_base::wait_write,
                       continuation([](HTTPConnection& self, std::size_t) { self.sendFileChunk(); }));
}

void HTTPConnection::finish(bool closeAfter) {
    setCorked(false);
    quietSince_.reset();
    if (bodyWatched_) {
        bodyWatched_ = false;
        disarmTimer();
    }
    if (closeAfter) {
        lingeringClose();
        return;
    }
    request_ = HTTPRequest{};
    response_.reset();
    segments_.clear();
    segmentIndex_ = 0;
    segmentLeft_ = 0;
    headerLines_ = 0;
    // Through the queue, so a client sending many requests at once never deepens the stack.
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->waitForHead(); });
}

// Closing a socket with unread input resets the connection, and the reset can overtake the
// answer still on its way (a refused body, the next request of a client we close on). So
// every close after an answer ends our side after its last byte, drops what the client
// still sends, and closes at the client's end or after a short grace time.
void HTTPConnection::lingeringClose() {
    if (closed_) return;
    endHead();
    waitingSince_ = std::chrono::steady_clock::now();
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    armTimer(std::min<std::chrono::milliseconds>(kLingerTime, timeouts_.headRead));
    discardInput();
}

void HTTPConnection::discardInput() {
    for (;;) {
        if (closed_) return;
        asio::error_code error;
        socket_.read_some(asio::buffer(readBuffer_), error);
        if (error == asio::error::would_block) break;
        if (error) {
            close();
            return;
        }
    }
    socket_.async_wait(asio::socket_base::wait_read,
                       continuation([](HTTPConnection& self, std::size_t) { self.discardInput(); }));
}

}  // namespace vocalis
