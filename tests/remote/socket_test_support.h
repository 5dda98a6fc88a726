#pragma once

// A recording delegate and a raw phone for the phone-server tests: real loopback TCP,
// blocking reads with generous time-outs.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song.h"
#include "catalogue/song_manager.h"
#include "remote/remote_delegate.h"

namespace vocalis::testing {

inline constexpr auto kPatience = std::chrono::seconds(30);

// Records every delegate call as one line, in call order.
class RecordingDelegate final : public RemoteDelegate {
  public:
    void onRemotePlayPause(bool play) override { add(play ? "play" : "pause"); }
    void onRemoteNext() override { add("next"); }
    void onRemoteReplay() override { add("replay"); }
    void onRemoteSwitchAudioTrack() override { add("track"); }
    void onRemoteRes(std::int32_t id) override { add("res " + std::to_string(id)); }
    void onRemoteRes1st(std::int32_t id) override { add("res1st " + std::to_string(id)); }
    void onRemoteVolumeUp() override { add("volume up"); }
    void onRemoteVolumeDown() override { add("volume down"); }
    void onRemoteQueueRemove(std::int32_t p) override { add("remove " + std::to_string(p)); }
    void onRemoteQueueMoveUp(std::int32_t p) override { add("up " + std::to_string(p)); }
    void onRemoteQueueMoveFirst(std::int32_t p) override { add("first " + std::to_string(p)); }
    void onRemoteQueueRequesterName(std::int32_t id, std::string name) override {
        add("name " + std::to_string(id) + " " + name);
    }
    void onRemoteSendMessage(std::string text) override { add("message " + text); }
    void onRemoteSendPicture(std::vector<std::uint8_t> image) override {
        std::lock_guard lock(mutex_);
        pictures_.push_back(std::string(image.begin(), image.end()));
        calls_.push_back("picture " + std::to_string(image.size()));
        changed_.notify_all();
    }
    void onRemoteRecord() override { add("record"); }

    // Waits until at least `count` calls were made and returns them all.
    std::vector<std::string> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPatience, [&] { return calls_.size() >= count; });
        return calls_;
    }
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> pictures() {
        std::lock_guard lock(mutex_);
        return pictures_;
    }

  private:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::vector<std::string> pictures_;
};

// A phone on a plain blocking socket, so the tests see the exact bytes on the wire.
class TestPhone {
  public:
    explicit TestPhone(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~TestPhone() { close(); }
    TestPhone(const TestPhone&) = delete;
    TestPhone& operator=(const TestPhone&) = delete;

    bool connected() const { return connected_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // One write call: on loopback the server reads it as one chunk.
    bool send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Exactly n bytes, or what came before a close or the time-out.
    std::string read(std::size_t n, std::chrono::milliseconds timeout = kPatience) {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < n) {
            if (!waitReadable(deadline)) break;
            char buffer[65536];
            const ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0) {
                closedByPeer_ = true;
                break;
            }
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }

    // Whatever has arrived (up to max bytes), waiting for at least one byte.
    std::string readSome(std::size_t max, std::chrono::milliseconds timeout = kPatience) {
        if (!waitReadable(std::chrono::steady_clock::now() + timeout)) return {};
        std::string out(max, '\0');
        const ssize_t got = ::recv(fd_, out.data(), max, 0);
        if (got <= 0) {
            closedByPeer_ = true;
            return {};
        }
        out.resize(static_cast<std::size_t>(got));
        return out;
    }

    // True once the player has closed the connection (end of stream or reset).
    bool waitClosed(std::chrono::milliseconds timeout = kPatience) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        char buffer[65536];
        while (!closedByPeer_) {
            if (!waitReadable(deadline)) return false;
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) closedByPeer_ = true;
        }
        return true;
    }

    // Every command before this one has been carried out once its reply is back.
    bool sync() {
        static const std::string query{'\x17'};
        static const std::string reply{'\x17', '\x00', '\x00', '\x02', '\xBC'};
        return send(query) && read(5) == reply;
    }

    // As sync, for a connection whose buffer is being dropped: a query that arrives in the
    // same chunk as the dropping bytes is dropped with them, so it is asked again.
    bool syncAfterDrop() {
        static const std::string reply{'\x17', '\x00', '\x00', '\x02', '\xBC'};
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (!send(std::string{'\x17'})) return false;
            const std::string got = read(5, std::chrono::milliseconds(500));
            if (got.empty()) continue;
            return got.size() == 5 ? got == reply : got + read(5 - got.size()) == reply;
        }
        return false;
    }

  private:
    bool waitReadable(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd poll{fd_, POLLIN, 0};
        return ::poll(&poll, 1, static_cast<int>(left.count())) > 0;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool closedByPeer_ = false;
};

// Integers on the wire.
inline std::string be32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return std::string{static_cast<char>(bits >> 24), static_cast<char>(bits >> 16),
                       static_cast<char>(bits >> 8), static_cast<char>(bits)};
}

inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

// A catalogue of `count` songs published into a fresh SongManager.
inline std::shared_ptr<const Catalogue> publishSongs(SongManager& songs, int count) {
    std::vector<Song> list;
    for (int i = 0; i < count; ++i) {
        auto song = songFromPath("/srv/Karaoke/NhacMoi", "Bài hát số " + std::to_string(100000 + i) +
                                                             " - Ca sĩ " + std::to_string(i % 97) + ".mp4");
        if (song) list.push_back(std::move(*song));
    }
    auto catalogue = std::make_shared<const Catalogue>(buildCatalogue(std::move(list)));
    songs.addAll(catalogue);
    return catalogue;
}

}  // namespace vocalis::testing
