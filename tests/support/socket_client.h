#pragma once

// A blocking loopback TCP client with generous time-outs: tests see the exact bytes on the wire.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "support/eventually.h"

namespace vocalis::testing {

// One parsed answer as a plain client sees it.
struct HttpAnswer {
    int status = 0;
    std::string statusLine;
    std::multimap<std::string, std::string> fields;  // names in lower case
    std::string body;

    std::optional<std::string> field(const std::string& lowerName) const {
        const auto it = fields.find(lowerName);
        return it == fields.end() ? std::nullopt : std::optional(it->second);
    }
};

class RawClient {
  public:
    // `from`: the local address to connect from (e.g. "127.0.0.2"), else the system's choice.
    explicit RawClient(std::uint16_t port, const char* from = nullptr) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (from && ::inet_pton(AF_INET, from, &address.sin_addr) == 1)
            ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // A fixed receive buffer: the system no longer grows it as the client reads.
    void setReceiveBuffer(int bytes) { ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }
    // One write call, which blocks until all is sent: on loopback the server reads it as one chunk.
    bool send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Exactly n bytes (or what came before a close or the time-out); `some`: what has come, up to n.
    std::string read(std::size_t n, std::chrono::milliseconds timeout = kPatience, bool some = false) {
        fillTo(some ? 1 : n, timeout);
        return take(n);
    }
    // Reads one answer; the body is read by its Content-Length unless `headOnly`.
    std::optional<HttpAnswer> readAnswer(bool headOnly = false) {
        std::size_t end;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
            if (!fill(deadline)) return std::nullopt;
        HttpAnswer answer;
        const std::string head = take(end + 4);
        answer.statusLine = head.substr(0, head.find("\r\n"));
        answer.status = std::stoi(answer.statusLine.substr(9, 3));
        for (std::size_t at = answer.statusLine.size() + 2, lineEnd; (lineEnd = head.find("\r\n", at)) != at;
             at = lineEnd + 2) {
            const std::string line = head.substr(at, lineEnd - at);
            const auto colon = line.find(':');
            std::string name = line.substr(0, colon);
            for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const auto value = line.find_first_not_of(' ', colon + 1);
            answer.fields.emplace(name, value == std::string::npos ? "" : line.substr(value));
        }
        const std::size_t length = headOnly ? 0 : std::stoull(answer.field("content-length").value_or("0"));
        if (!fillTo(length, kPatience)) return std::nullopt;
        answer.body = take(length);
        return answer;
    }
    // True when the peer closes or resets within the time-out; what it sent goes to unexpected().
    bool waitClosed(std::chrono::milliseconds timeout = kPatience) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!closedByPeer_) {
            const std::size_t before = buffer_.size();
            if (!fill(deadline) && !closedByPeer_) return false;
            unexpected_.append(buffer_, before);
            buffer_.resize(before);
        }
        return true;
    }
    const std::string& unexpected() const { return unexpected_; }

  private:
    bool fillTo(std::size_t count, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (buffer_.size() < count)
            if (!fill(deadline)) return false;
        return true;
    }
    // Receives once; false on a close, a reset or the deadline.
    bool fill(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd poller{fd_, POLLIN, 0};
        if (closedByPeer_ || left.count() <= 0 || ::poll(&poller, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        closedByPeer_ = n <= 0;
        if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
        return n > 0;
    }
    std::string take(std::size_t n) {
        std::string out = buffer_.substr(0, n);
        buffer_.erase(0, out.size());
        return out;
    }

    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool closedByPeer_ = false;
    std::string buffer_, unexpected_;
};

// One request on a fresh connection and its answer, without a body when it answers a HEAD.
inline HttpAnswer ask(std::uint16_t port, const std::string& request) {
    RawClient client(port);
    return client.send(request) ? client.readAnswer(request.starts_with("HEAD")).value_or(HttpAnswer{})
                                : HttpAnswer{};
}

// Known bytes: byte i is 'A' + i % 26.
inline std::string patternBytes(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

}  // namespace vocalis::testing
