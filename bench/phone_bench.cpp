// The phone server under load, each figure beside a peer measured in the same run: a plain
// blocking POSIX socket doing the same transfer with no protocol at all (the floor that
// loopback TCP allows on this machine).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song.h"
#include "catalogue/song_manager.h"
#include "remote/remote_delegate.h"
#include "remote/socket_manager.h"
#include "remote/wire_protocol.h"

namespace {

using namespace vocalis;

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect");
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("send");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void readExactly(int fd, std::size_t size) {
    static thread_local std::vector<char> buffer(1 << 20);
    while (size > 0) {
        const ssize_t n = ::recv(fd, buffer.data(), std::min(size, buffer.size()), 0);
        if (n <= 0) throw std::runtime_error("recv");
        size -= static_cast<std::size_t>(n);
    }
}

// A listening socket for the peer, on an ephemeral loopback port.
struct PeerListener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    std::uint16_t port = 0;
    PeerListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 512);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~PeerListener() { ::close(fd); }
    int accept() const {
        const int client = ::accept(fd, nullptr, nullptr);
        int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return client;
    }
};

std::shared_ptr<const Catalogue> makeCatalogue(int count) {
    std::vector<Song> songs;
    songs.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto song = songFromPath("/media/usb/Karaoke/NhacTre", "Tình khúc mùa đông số " + std::to_string(i) +
                                                                   " - Ca sĩ Nguyễn Văn " +
                                                                   std::to_string(i % 1000) + ".mkv");
        songs.push_back(std::move(*song));
    }
    return std::make_shared<const Catalogue>(buildCatalogue(std::move(songs)));
}

const Catalogue& bigCatalogue() {
    static const auto catalogue = makeCatalogue(100000);
    return *catalogue;
}

class CountingDelegate final : public RemoteDelegate {
  public:
    std::atomic<std::uint64_t> count{0};
    void onRemotePlayPause(bool) override { ++count; }
    void onRemoteNext() override { ++count; }
    void onRemoteReplay() override { ++count; }
    void onRemoteSwitchAudioTrack() override { ++count; }
    void onRemoteRes(std::int32_t) override { ++count; }
    void onRemoteRes1st(std::int32_t) override { ++count; }
    void onRemoteVolumeUp() override { ++count; }
    void onRemoteVolumeDown() override { ++count; }
    void onRemoteQueueRemove(std::int32_t) override { ++count; }
    void onRemoteQueueMoveUp(std::int32_t) override { ++count; }
    void onRemoteQueueMoveFirst(std::int32_t) override { ++count; }
    void onRemoteQueueRequesterName(std::int32_t, std::string) override { ++count; }
    void onRemoteSendMessage(std::string) override { ++count; }
    void onRemoteSendPicture(std::vector<std::uint8_t>) override { ++count; }
    void onRemoteRecord() override { ++count; }
};

// --- 1. the catalogue reply for 100,000 songs to one phone ---------------------

void BM_CatalogueReply100k(benchmark::State& state) {
    const Catalogue& catalogue = bigCatalogue();
    SongManager songs;
    SocketManager server(songs);
    server.initWithData(catalogue.text, catalogue.md5);
    server.start(0);
    const int phone = connectTo(server.port());
    const std::size_t reply = wire::catalogueMessage(catalogue.text, 100000, 0).size() + 5;
    const char request = wire::kCatalogueRequest;
    for (auto _ : state) {
        sendAll(phone, &request, 1);
        readExactly(phone, reply);
    }
    ::close(phone);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply));
    state.counters["reply_MB"] = static_cast<double>(reply) / 1e6;
}
BENCHMARK(BM_CatalogueReply100k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_Peer_CatalogueReply100k(benchmark::State& state) {
    const Catalogue& catalogue = bigCatalogue();
    const std::string reply = wire::catalogueMessage(catalogue.text, 100000, 0) + wire::queueMessage("");
    PeerListener listener;
    std::thread peer([&] {
        const int client = listener.accept();
        char request;
        while (::recv(client, &request, 1, 0) == 1) sendAll(client, reply.data(), reply.size());
        ::close(client);
    });
    const int phone = connectTo(listener.port);
    const char request = wire::kCatalogueRequest;
    for (auto _ : state) {
        sendAll(phone, &request, 1);
        readExactly(phone, reply.size());
    }
    ::close(phone);
    peer.join();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_Peer_CatalogueReply100k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// --- 2. one notification to 100 phones: until the last phone has its bytes ------

constexpr int kPhones = 100;

void BM_NotifyFanout100(benchmark::State& state) {
    SongManager songs;
    SocketManager server(songs);
    server.setMaxConnections(kPhones);  // above the venue cap of 64, as asked of this figure
    server.start(0);
    std::vector<int> phones;
    for (int i = 0; i < kPhones; ++i) phones.push_back(connectTo(server.port()));
    while (server.connectionCount() != kPhones) std::this_thread::yield();
    std::int32_t id = 0;
    for (auto _ : state) {
        server.setCurrentSongId(++id);
        server.notifyCurrentSong();
        for (int phone : phones) readExactly(phone, 5);
    }
    for (int phone : phones) ::close(phone);
}
BENCHMARK(BM_NotifyFanout100)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(3);

void BM_Peer_NotifyFanout100(benchmark::State& state) {
    PeerListener listener;
    std::vector<int> phones, served;
    for (int i = 0; i < kPhones; ++i) {
        phones.push_back(connectTo(listener.port));
        served.push_back(listener.accept());
    }
    // The peer writes from its own thread, as the server writes from its queue.
    std::atomic<int> round{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        int seen = 0;
        while (!done) {
            const int now = round.load();
            if (now == seen) {
                std::this_thread::yield();
                continue;
            }
            seen = now;
            const std::string message = wire::currentSongMessage(now);
            for (int fd : served) sendAll(fd, message.data(), message.size());
        }
    });
    for (auto _ : state) {
        ++round;
        for (int phone : phones) readExactly(phone, 5);
    }
    done = true;
    writer.join();
    for (int fd : phones) ::close(fd);
    for (int fd : served) ::close(fd);
}
BENCHMARK(BM_Peer_NotifyFanout100)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(3);

// --- 3. commands per second through one connection ------------------------------

constexpr int kCommands = 100000;

std::string commandBatch() {
    std::string batch;
    for (int i = 0; i < kCommands; ++i) batch += wire::intCommand(wire::kAddSong, i);
    return batch;
}

void BM_CommandsOneConnection(benchmark::State& state) {
    SongManager songs;
    SocketManager server(songs);
    CountingDelegate delegate;
    server.setDelegate(&delegate);
    server.setCommandRate(0);  // the server's own speed, not the pace it grants one phone
    server.start(0);
    const int phone = connectTo(server.port());
    const std::string batch = commandBatch();
    std::uint64_t expected = 0;
    for (auto _ : state) {
        sendAll(phone, batch.data(), batch.size());
        expected += kCommands;
        while (delegate.count.load() < expected) std::this_thread::yield();
    }
    ::close(phone);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kCommands);
}
BENCHMARK(BM_CommandsOneConnection)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_Peer_CommandsOneConnection(benchmark::State& state) {
    PeerListener listener;
    std::atomic<std::uint64_t> received{0};
    std::thread peer([&] {
        const int client = listener.accept();
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            received += static_cast<std::uint64_t>(n);
        }
        ::close(client);
    });
    const int phone = connectTo(listener.port);
    const std::string batch = commandBatch();
    std::uint64_t expected = 0;
    for (auto _ : state) {
        sendAll(phone, batch.data(), batch.size());
        expected += batch.size();
        while (received.load() < expected) std::this_thread::yield();
    }
    ::close(phone);
    peer.join();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kCommands);
}
BENCHMARK(BM_Peer_CommandsOneConnection)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
