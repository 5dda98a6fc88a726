#include "remote/socket_manager.h"

#include <algorithm>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <future>

#include "base/close_on_exec.h"
#include "base/log.h"
#include "catalogue/song_manager.h"

namespace vocalis {

SocketManager& SocketManager::getInstance() {
    static SocketManager instance(SongManager::getInstance());
    return instance;
}

SocketManager::SocketManager(SongManager& songs) : songs_(songs) {}

SocketManager::~SocketManager() {
    stop();
    socketQueue_.stop();
    // Handlers still queued hold connections whose sockets belong to the queue's context.
    std::lock_guard lock(clientsMutex_);
    clientSockets_.clear();
}

void SocketManager::initWithData(std::string catalogueText, std::string md5) {
    initWithData(std::make_shared<const std::string>(std::move(catalogueText)), std::move(md5));
}

void SocketManager::initWithData(std::shared_ptr<const std::string> catalogueText, std::string md5) {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->songCount = wire::countRecords(*catalogueText);
    snapshot->text = std::move(catalogueText);
    snapshot->md5 = std::move(md5);
    std::lock_guard lock(dataMutex_);
    snapshot_ = std::move(snapshot);
}

std::shared_ptr<const SocketManager::Snapshot> SocketManager::snapshot() const {
    std::lock_guard lock(dataMutex_);
    return snapshot_;
}

void SocketManager::runOnQueue(const std::function<void()>& task) {
    if (socketQueue_.runningInQueue()) {
        task();
        return;
    }
    std::promise<void> done;
    socketQueue_.post([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

bool SocketManager::start(std::uint16_t port) {
    {
        // The queue as it stands when phones may first connect; notifyQueue keeps it current.
        const std::string queueText = songs_.getQueueIdsString();
        std::lock_guard lock(dataMutex_);
        queueText_ = queueText;
    }
    bool started = false;
    runOnQueue([&] {
        if (serverSocket_) {
            started = true;
            return;
        }
        asio::ip::tcp::acceptor acceptor(socketQueue_.context());
        const asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v4(), port);
        std::error_code error;
        acceptor.open(endpoint.protocol(), error);
        if (!error) closeOnExec(acceptor.native_handle());
        if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
        if (!error) acceptor.bind(endpoint, error);
        if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
        if (error) {
            logParts("Error starting phone server on port ", port, ": ", error.message());
            return;
        }
        port_.store(acceptor.local_endpoint(error).port());
        serverSocket_.emplace(std::move(acceptor));
        accept();
        started = true;
    });
    return started;
}

void SocketManager::stop() {
    runOnQueue([this] {
        if (serverSocket_) {
            std::error_code ignored;
            serverSocket_->close(ignored);
            serverSocket_.reset();
        }
        std::vector<std::shared_ptr<PhoneConnection>> open;
        {
            std::lock_guard lock(clientsMutex_);
            open = clientSockets_;
        }
        for (auto& connection : open) connection->close();
    });
    port_.store(0);
}

std::size_t SocketManager::connectionCount() const {
    std::lock_guard lock(clientsMutex_);
    return clientSockets_.size();
}

void SocketManager::accept() {
    serverSocket_->async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !serverSocket_) return;
        if (!error) {
            closeOnExec(socket.native_handle());
            onAccepted(std::move(socket));
            accept();
            return;
        }
        // Running out of descriptors must not end accepting for good, nor spin.
        logParts("Phone server accept failed: ", error.message());
        auto timer =
            std::make_shared<asio::steady_timer>(socketQueue_.context(), std::chrono::milliseconds(100));
        timer->async_wait([this, timer](const std::error_code& waited) {
            if (!waited && serverSocket_) accept();
        });
    });
}

void SocketManager::onAccepted(asio::ip::tcp::socket socket) {
    auto connection =
        std::make_shared<PhoneConnection>(std::move(socket), CommandLimits{}, commandRate_.load());
    {
        std::lock_guard lock(clientsMutex_);
        if (clientSockets_.size() >= maxConnections_.load()) {
            logParts("Too many phones connected; refusing ", connection->peer());
            connection->close();
            return;
        }
        clientSockets_.push_back(connection);
    }
    connection->start(
        [this](PhoneConnection& from, PhoneCommand& command) { return carryOut(from, command); },
        [this](PhoneConnection& closed) {
            std::lock_guard lock(clientsMutex_);
            std::erase_if(clientSockets_, [&](const auto& c) { return c.get() == &closed; });
        });
}

std::size_t SocketManager::maxPending() const {
    const auto data = snapshot();
    const std::size_t reply = data->text->size() + 64;
    return std::max(kMinPendingBytes, kPendingCatalogueReplies * reply);
}

void SocketManager::sendCatalogue(PhoneConnection& connection) {
    const auto data = snapshot();
    std::string queueText;
    {
        std::lock_guard lock(dataMutex_);
        queueText = queueText_;
    }
    std::string tail = wire::catalogueTrailer(currentAudioTrack_.load());
    tail += wire::queueMessage(queueText);
    // The catalogue and the queue that follows it go out as one unit.
    PhoneConnection::Message message{std::make_shared<const std::string>(wire::catalogueHeader(
                                         static_cast<std::int32_t>(data->text->size()), data->songCount)),
                                     data->text, std::make_shared<const std::string>(std::move(tail))};
    connection.send(std::move(message), maxPending());
}

bool SocketManager::carryOut(PhoneConnection& connection, PhoneCommand& command) {
    RemoteDelegate* const delegate = delegate_.load(std::memory_order_acquire);
    switch (command.code) {
        case wire::kCatalogueRequest:
            sendCatalogue(connection);
            return false;
        case wire::kNumberQuery23:
        case wire::kNumberQuery27:
            connection.send(wire::numberMessage(command.code), maxPending());
            return false;
        case wire::kChecksumRequest:
            connection.send(wire::checksumMessage(snapshot()->md5), maxPending());
            return false;
        case wire::kPlayStateRequest:
            connection.send(wire::playStateMessage(isPlaying_.load()), maxPending());
            return false;
        case wire::kCurrentSongRequest:
            connection.send(wire::currentSongMessage(currentSongId_.load()), maxPending());
            return false;
        case wire::kTone:
            logParts("Tone ", command.value);
            return true;  // paced like a command, so a flood cannot flood the log
        default:
            break;
    }
    if (!delegate) return false;
    switch (command.code) {
        case wire::kAddSong:
            delegate->onRemoteRes(command.value);
            break;
        case wire::kAddSongFirst:
            delegate->onRemoteRes1st(command.value);
            break;
        case wire::kPlay:
            delegate->onRemotePlayPause(true);
            break;
        case wire::kPause:
            delegate->onRemotePlayPause(false);
            break;
        case wire::kNext:
            delegate->onRemoteNext();
            break;
        case wire::kSwitchAudioTrack:
            delegate->onRemoteSwitchAudioTrack();
            break;
        case wire::kMoveUp:
            delegate->onRemoteQueueMoveUp(command.value);
            break;
        case wire::kMoveFirst:
            delegate->onRemoteQueueMoveFirst(command.value);
            break;
        case wire::kRemove:
            delegate->onRemoteQueueRemove(command.value);
            break;
        case wire::kVolumeUp:
            delegate->onRemoteVolumeUp();
            break;
        case wire::kVolumeDown:
            delegate->onRemoteVolumeDown();
            break;
        case wire::kSendMessage:
            delegate->onRemoteSendMessage(std::move(command.text));
            break;
        case wire::kReplay:
            delegate->onRemoteReplay();
            break;
        case wire::kSendPicture:
            delegate->onRemoteSendPicture(std::move(command.picture));
            break;
        case wire::kRequesterName:
            delegate->onRemoteQueueRequesterName(command.value, std::move(command.text));
            break;
        case wire::kRecord:
            delegate->onRemoteRecord();
            break;
        default:
            return false;  // fillers
    }
    return true;
}

void SocketManager::broadcast(std::string bytes) {
    auto message = std::make_shared<const std::string>(std::move(bytes));
    std::vector<std::shared_ptr<PhoneConnection>> open;
    {
        std::lock_guard lock(clientsMutex_);
        open = clientSockets_;
    }
    if (open.empty()) return;
    // The connections' writers live on socketQueue: the bytes join each phone's queue
    // there, behind any reply already queued, in list order.
    socketQueue_.post([this, message, open = std::move(open)] {
        const std::size_t limit = maxPending();
        for (const auto& connection : open) connection->send(PhoneConnection::Message{message}, limit);
    });
}

void SocketManager::notifyPlayState() { broadcast(wire::playStateMessage(isPlaying_.load())); }

void SocketManager::notifyAudioTrack() { broadcast(wire::audioTrackMessage(currentAudioTrack_.load())); }

void SocketManager::notifyCurrentSong() { broadcast(wire::currentSongMessage(currentSongId_.load())); }

void SocketManager::notifyQueue() {
    std::string queueText = songs_.getQueueIdsString();
    std::string message = wire::queueMessage(queueText);
    {
        std::lock_guard lock(dataMutex_);
        queueText_ = std::move(queueText);
    }
    broadcast(std::move(message));
}

}  // namespace vocalis
