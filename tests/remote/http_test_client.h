#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>

namespace vocalis::testing {

// One parsed answer as a plain client sees it.
struct HttpAnswer {
    int status = 0;
    std::string statusLine;
    std::multimap<std::string, std::string> fields;  // names in lower case
    std::string body;

    std::optional<std::string> field(const std::string& lowerName) const {
        const auto it = fields.find(lowerName);
        if (it == fields.end()) return std::nullopt;
        return it->second;
    }
};

// A blocking loopback TCP client with generous time-outs, for talking raw HTTP.
class RawClient {
  public:
    explicit RawClient(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    bool send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads one answer; the body is read by its Content-Length unless `headOnly`.
    std::optional<HttpAnswer> readAnswer(bool headOnly = false) {
        std::size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
            if (!fill()) return std::nullopt;
        HttpAnswer answer;
        const std::string head = buffer_.substr(0, end + 2);
        buffer_.erase(0, end + 4);
        std::size_t lineStart = 0;
        bool first = true;
        while (lineStart < head.size()) {
            const std::size_t lineEnd = head.find("\r\n", lineStart);
            const std::string line = head.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 2;
            if (first) {
                answer.statusLine = line;
                answer.status = std::stoi(line.substr(9, 3));
                first = false;
                continue;
            }
            const auto colon = line.find(':');
            std::string name = line.substr(0, colon);
            for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            answer.fields.emplace(name, value);
        }
        if (headOnly) return answer;
        const auto length = answer.field("content-length");
        const std::size_t bodyLength = length ? std::stoull(*length) : 0;
        while (buffer_.size() < bodyLength)
            if (!fill()) return std::nullopt;
        answer.body = buffer_.substr(0, bodyLength);
        buffer_.erase(0, bodyLength);
        return answer;
    }

    // True when the peer closes (or resets) the connection within the time-out, having
    // sent nothing more.
    bool waitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd poller{fd_, POLLIN, 0};
            if (::poll(&poller, 1, 100) <= 0) continue;
            char byte[4096];
            const ssize_t n = ::recv(fd_, byte, sizeof byte, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
            if (n > 0) unexpected_.append(byte, static_cast<std::size_t>(n));
        }
        return false;
    }
    // Receives until at least `count` bytes beyond the last answer are buffered.
    bool readAtLeast(std::size_t count) {
        while (buffer_.size() < count)
            if (!fill()) return false;
        return true;
    }
    // Bytes received while waiting for the close.
    const std::string& unexpected() const { return unexpected_; }
    // Whatever is buffered beyond the last answer read.
    const std::string& pending() const { return buffer_; }

  private:
    bool fill() {
        pollfd poller{fd_, POLLIN, 0};
        if (::poll(&poller, 1, 20000) <= 0) return false;
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
    std::string unexpected_;
};

// Sends the request, reads the first `bytes` of the answer and hangs up with the rest unread,
// as a seeking media player does.
inline bool leaveMidBody(std::uint16_t port, const std::string& request, std::size_t bytes = 65536) {
    RawClient client(port);
    return client.send(request) && client.readAtLeast(bytes);
}

// Polls the condition until it holds or the time-out passes.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// A small file of known bytes: byte i is 'A' + i % 26.
inline std::string patternBytes(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

}  // namespace vocalis::testing
