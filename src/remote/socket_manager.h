#pragma once

#include <asio/ip/tcp.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/serial_queue.h"
#include "remote/command_stream.h"
#include "remote/phone_connection.h"
#include "remote/remote_delegate.h"
#include "remote/wire_protocol.h"

namespace vocalis {

class SongManager;

// The phone server. Connections are accepted, read and answered on "socketQueue"; every
// command that is not a query goes to the delegate, which posts it to the main thread.
// The engine sets the plain properties and calls the notify operations on the main thread.
class SocketManager {
  public:
    static constexpr std::size_t kMaxConnections = 64;
    // A phone's unsent bytes may reach this many catalogue replies (and never less than
    // kMinPendingBytes) before it is disconnected.
    static constexpr std::size_t kPendingCatalogueReplies = 3;
    static constexpr std::size_t kMinPendingBytes = 1024 * 1024;
    // Commands a second one phone may hand to the delegate (a thumb taps a few a second);
    // a flood is slowed to this pace by not reading, nothing is dropped.
    static constexpr double kCommandsPerSecond = 1000;

    static SocketManager& getInstance();
    explicit SocketManager(SongManager& songs);
    ~SocketManager();
    SocketManager(const SocketManager&) = delete;
    SocketManager& operator=(const SocketManager&) = delete;

    // The catalogue snapshot phones receive: the text copied, or shared with its owner
    // (the player's catalogue keeps it anyway, and it is megabytes).
    void initWithData(std::string catalogueText, std::string md5);
    void initWithData(std::shared_ptr<const std::string> catalogueText, std::string md5);
    void setDelegate(RemoteDelegate* delegate) { delegate_.store(delegate, std::memory_order_release); }

    // Listens on all local IPv4 addresses (0: an ephemeral port, see port()). A failure is
    // logged and leaves the remote control off. Call on the main thread.
    bool start(std::uint16_t port = wire::kDefaultPort);
    // Closes the listening socket, then every connection.
    void stop();
    std::uint16_t port() const { return port_.load(); }
    std::size_t connectionCount() const;
    // The cap on simultaneous phones (kMaxConnections unless changed before start).
    void setMaxConnections(std::size_t count) { maxConnections_.store(count); }
    // The pace of delegate commands for connections accepted from now on (0: no limit).
    void setCommandRate(double perSecond) { commandRate_.store(perSecond); }

    // Set by the engine on the main thread before it notifies.
    void setIsPlaying(bool value) { isPlaying_.store(value); }
    void setCurrentAudioTrack(std::uint8_t value) { currentAudioTrack_.store(value); }
    void setCurrentSongId(std::int32_t value) { currentSongId_.store(value); }
    bool isPlaying() const { return isPlaying_.load(); }
    std::uint8_t currentAudioTrack() const { return currentAudioTrack_.load(); }
    std::int32_t currentSongId() const { return currentSongId_.load(); }

    // Main thread: each sends one message to every open connection.
    void notifyPlayState();
    void notifyAudioTrack();
    // Also takes the queue text that later catalogue replies carry.
    void notifyQueue();
    void notifyCurrentSong();

  private:
    struct Snapshot {
        std::shared_ptr<const std::string> text = std::make_shared<const std::string>();
        std::int32_t songCount = 0;
        std::string md5;
    };

    // Runs the task on socketQueue and waits for it (or runs it at once when already there).
    void runOnQueue(const std::function<void()>& task);
    void accept();
    void onAccepted(asio::ip::tcp::socket socket);
    // Returns whether the command went to the delegate.
    bool carryOut(PhoneConnection& connection, PhoneCommand& command);
    void sendCatalogue(PhoneConnection& connection);
    void broadcast(std::string message);
    std::size_t maxPending() const;
    std::shared_ptr<const Snapshot> snapshot() const;

    SongManager& songs_;
    SerialQueue socketQueue_{"socketQueue"};
    std::optional<asio::ip::tcp::acceptor> serverSocket_;  // socketQueue only
    std::atomic<std::uint16_t> port_{0};
    std::atomic<std::size_t> maxConnections_{kMaxConnections};
    std::atomic<double> commandRate_{kCommandsPerSecond};

    // Guards clientSockets_; the read path runs on socketQueue, which alone changes it.
    mutable std::mutex clientsMutex_;
    std::vector<std::shared_ptr<PhoneConnection>> clientSockets_;

    mutable std::mutex dataMutex_;
    std::shared_ptr<const Snapshot> snapshot_ = std::make_shared<const Snapshot>();
    std::string queueText_;

    std::atomic<RemoteDelegate*> delegate_{nullptr};
    std::atomic<bool> isPlaying_{false};
    std::atomic<std::uint8_t> currentAudioTrack_{0};
    std::atomic<std::int32_t> currentSongId_{-1};
};

}  // namespace vocalis
