// The browser remote under load: the search endpoint over 100,000 songs with 20 clients at
// once (keep-alive connections, as a page's fetches are), against nginx serving a static
// answer of the same size to the same clients in the same run, and one change reaching 50
// open WebSockets. Prints the percentiles; goals: search p50 under 5 ms and p99 under 20 ms,
// the last WebSocket under 50 ms.
//
// Songs come from bench/out/songs.txt (bench/make_song_tree.py --list) when it is there.
//
// usage: bench_web [SONGS] [CLIENTS] [REQUESTS_PER_CLIENT]
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "base/virtual_scheduler.h"
#include "catalogue/catalogue.h"
#include "song_list.h"
#include "web/web_remote.h"

extern char** environ;

using namespace vocalis;
namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kWords[] = {"anh",  "em",    "yêu",  "người", "tình",  "mùa", "xuân", "thu",
                              "hạ",   "đông",  "đêm",  "nắng",  "mưa",   "gió", "biển", "sông",
                              "hoa",  "trăng", "sao",  "quê",   "hương", "mẹ",  "nhớ",  "thương",
                              "buồn", "vui",   "hạnh", "phúc",  "phố",   "cũ"};
const char* const kSingers[] = {"Mỹ Tâm", "Đàm Vĩnh Hưng", "Hà Anh Tuấn", "Thu Minh", "Quang Lê", "Lệ Quyên"};

// Answers the engine's questions the way an idle player would; the bench measures the server.
class IdleEngine final : public EngineControl {
  public:
    void issue(Command, CommandSource) override {}
    void addListener(EngineListener*) override {}
    void removeListener(EngineListener*) override {}
    bool isPlaying() const override { return true; }
    std::optional<std::string> requesterName(std::int32_t) const override { return std::nullopt; }
    std::int32_t songKey(std::int32_t) const override { return 0; }
    bool fairTurns() const override { return false; }
    void windowDidBecomeMain(Millis) override {}
    void setEqualizer(double, const std::optional<std::vector<float>>&) override {}
    void setHasScoring(bool) override {}
    void setRandom(bool, std::int32_t, std::optional<std::string>) override {}
    bool isLibraryLoaded() const override { return true; }
    bool takesGuestCommands() const override { return true; }
    ThumbnailTool thumbnailTool() const override { return {}; }
    void setIsCreateThumbnail(bool) override {}
};

std::shared_ptr<Catalogue> makeCatalogue(int count) {
    std::mt19937 random(7);
    std::vector<Song> songs;
    songs.reserve(static_cast<std::size_t>(count));
    const auto paths = benchSongPaths();
    for (const auto& path : paths) {
        if (songs.size() == static_cast<std::size_t>(count)) break;
        if (auto song = songFromPath("/media/usb/Karaoke", path)) songs.push_back(std::move(*song));
    }
    for (int i = static_cast<int>(songs.size()); i < count; ++i) {
        std::string title;
        const int words = 2 + static_cast<int>(random() % 4);
        for (int w = 0; w < words; ++w)
            title += std::string(w ? " " : "") + kWords[random() % std::size(kWords)];
        const std::string path =
            title + " " + std::to_string(i) + " - " + kSingers[random() % std::size(kSingers)] + ".mp4";
        if (auto song = songFromPath("/media/usb/Karaoke", path)) songs.push_back(std::move(*song));
    }
    return std::make_shared<Catalogue>(buildCatalogue(std::move(songs)));
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

// What a guest types: initials, word starts, words with their marks (URL-encoded by hand).
const char* const kQueries[] = {"a",  "em",         "hnmt",     "tinh", "m%C3%B9a", "nho", "xuan", "hoa",
                                "pc", "buon%20vui", "my%20tam", "ty",   "sao",      "h",   "th",   "thuong"};

// Each client's targets, drawn once so that both servers get the very same requests.
using Targets = std::vector<std::vector<std::string>>;

Targets commonKeywords(int clients, int requests) {
    Targets targets(static_cast<std::size_t>(clients));
    for (int c = 0; c < clients; ++c) {
        std::mt19937 random(static_cast<unsigned>(c));
        for (int i = 0; i < requests; ++i)
            targets[c].push_back(std::string("/api/songs?q=") + kQueries[random() % std::size(kQueries)]);
    }
    return targets;
}

// A guest after a song of the list types its initials one letter at a time.
Targets typedInitials(const SongManager& songs, int clients, int requests) {
    Targets targets(static_cast<std::size_t>(clients));
    for (int c = 0; c < clients; ++c) {
        std::mt19937 random(1000 + static_cast<unsigned>(c));
        while (targets[c].size() < static_cast<std::size_t>(requests)) {
            const Song& song = *songs.getSong(static_cast<std::int32_t>(random() % songs.getCount()));
            const std::size_t letters = std::min<std::size_t>(song.titleShortcut().size(), 5);
            for (std::size_t n = 1; n <= letters && targets[c].size() < static_cast<std::size_t>(requests);
                 ++n)
                targets[c].push_back("/api/songs?q=" + std::string(song.titleShortcut().substr(0, n)));
        }
    }
    return targets;
}

void searchClient(std::uint16_t port, const std::vector<std::string>& targets, std::vector<double>& out,
                  std::atomic<int>& failed) {
    asio::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    beast::flat_buffer buffer;
    for (const std::string& target : targets) {
        http::request<http::empty_body> request{http::verb::get, target, 11};
        request.set(http::field::host, "127.0.0.1");
        http::response<http::string_body> response;
        const auto start = Clock::now();
        beast::error_code error;
        http::write(stream, request, error);
        if (!error) http::read(stream, buffer, response, error);
        out.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (error || response.result_int() != 200) ++failed;
    }
}

struct Latency {
    double p50 = 0, p99 = 0, max = 0;
    int failed = 0;
};

// Every client at once, each on its own keep-alive connection.
Latency measure(std::uint16_t port, const Targets& targets) {
    std::vector<std::vector<double>> times(targets.size());
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (std::size_t c = 0; c < targets.size(); ++c)
        threads.emplace_back(searchClient, port, std::cref(targets[c]), std::ref(times[c]), std::ref(failed));
    for (auto& thread : threads) thread.join();
    std::vector<double> all;
    for (const auto& list : times) all.insert(all.end(), list.begin(), list.end());
    return {percentile(all, 0.5), percentile(all, 0.99), percentile(all, 1.0), failed.load()};
}

std::string fetch(std::uint16_t port, const std::string& target) {
    asio::io_context io;
    beast::tcp_stream stream(io);
    beast::error_code error;
    stream.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port), error);
    http::request<http::empty_body> request{http::verb::get, target, 11};
    request.set(http::field::host, "127.0.0.1");
    http::response<http::string_body> response;
    beast::flat_buffer buffer;
    if (!error) http::write(stream, request, error);
    if (!error) http::read(stream, buffer, response, error);
    return error ? std::string() : response.body();
}

std::uint16_t freePort() {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    return acceptor.local_endpoint().port();
}

// nginx answering every /api/songs request with one file, one worker per core, no logs.
class Nginx {
  public:
    Nginx(const std::string& answer, std::size_t bodyBytes) : folder_(makeFolder()), port_(freePort()) {
        std::ofstream(folder_ / "answer.json") << answer;
        std::ofstream(folder_ / "nginx.conf")
            << (getuid() == 0 ? "user root;\n" : "") << "worker_processes auto;\ndaemon off;\n"
            << "pid " << (folder_ / "nginx.pid").string() << ";\nerror_log "
            << (folder_ / "error.log").string()
            << ";\nevents { worker_connections 1024; }\nhttp {\n  access_log off;\n"
            << "  client_body_temp_path " << folder_.string() << "; proxy_temp_path " << folder_.string()
            << "; fastcgi_temp_path " << folder_.string() << "; uwsgi_temp_path " << folder_.string()
            << "; scgi_temp_path " << folder_.string() << ";\n  server {\n    listen 127.0.0.1:" << port_
            << ";\n    root " << folder_.string() << ";\n    location /api/songs {\n"
            << "      default_type application/json;\n      try_files /answer.json =404;\n    }\n  }\n}\n";
        const std::string conf = (folder_ / "nginx.conf").string(), prefix = folder_.string();
        std::vector<char*> argv{const_cast<char*>("/usr/sbin/nginx"), const_cast<char*>("-c"),
                                const_cast<char*>(conf.c_str()),      const_cast<char*>("-p"),
                                const_cast<char*>(prefix.c_str()),    nullptr};
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
        for (int i = 0; i < 100 && pid_ > 0 && fetch(port_, "/api/songs").size() != bodyBytes; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Nginx() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(folder_);
    }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    bool ready() const { return pid_ > 0 && fetch(port_, "/api/songs").size() > 0; }
    std::uint16_t port() const { return port_; }

  private:
    static std::filesystem::path makeFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "vocalis-web-bench-XXXXXX").string();
        return ::mkdtemp(name.data()) ? std::filesystem::path(name) : std::filesystem::path();
    }

    std::filesystem::path folder_;
    std::uint16_t port_;
    pid_t pid_ = -1;
};

void report(const char* what, const Latency& ours, const Latency& peer) {
    std::printf("  %-26s ours p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms  (%d failed)\n", what, ours.p50,
                ours.p99, ours.max, ours.failed);
    std::printf("  %-26s nginx p50 %5.2f ms  p99 %6.2f ms  max %6.2f ms  (%d failed)\n", "", peer.p50,
                peer.p99, peer.max, peer.failed);
    std::printf("  %-26s ratio ours/nginx: p50 %.2f, p99 %.2f\n", "", ours.p50 / peer.p50,
                ours.p99 / peer.p99);
}

}  // namespace

int main(int argc, char** argv) {
    const int songCount = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int clients = argc > 2 ? std::atoi(argv[2]) : 20;
    const int requests = argc > 3 ? std::atoi(argv[3]) : 500;

    SongManager songs;
    songs.addAll(makeCatalogue(songCount));
    VirtualScheduler mainThread;
    IdleEngine engine;
    WebRemote web(mainThread, songs, engine, {0, "", 6768, true});
    std::string error;
    if (!web.start(&error)) {
        std::fprintf(stderr, "bench_web: %s\n", error.c_str());
        return 1;
    }

    // 1. Search, ours against nginx serving one page of 50 songs (the answer to "a") as a
    //    file; each mix runs nginx first, then ours on a cache as empty as at the start.
    const std::string answer = fetch(web.port(), "/api/songs?q=a");
    Nginx nginx(answer, answer.size());
    if (!nginx.ready()) {
        std::fprintf(stderr, "bench_web: nginx (/usr/sbin/nginx, scripts/bootstrap.sh) did not start\n");
        return 1;
    }
    std::printf("search: %d songs, %d clients x %d requests, nginx's answer %zu bytes\n", songs.getCount(),
                clients, requests, answer.size());
    int failed = 0;
    const std::pair<const char*, Targets> mixes[] = {
        {"16 common keywords:", commonKeywords(clients, requests)},
        {"initials typed letter by letter:", typedInitials(songs, clients, requests)}};
    for (const auto& [what, targets] : mixes) {
        const Latency peer = measure(nginx.port(), targets);
        WebRemote fresh(mainThread, songs, engine, {0, "", 6768, true});
        if (!fresh.start(&error)) return 1;
        const Latency ours = measure(fresh.port(), targets);
        report(what, ours, peer);
        failed += ours.failed + peer.failed;
    }

    // 2. One change reaching 50 open pages: from the news on the engine's thread to the last
    //    page's read, 30 rounds.
    constexpr int kPages = 50;
    asio::io_context io;
    std::vector<std::unique_ptr<beast::websocket::stream<beast::tcp_stream>>> pages;
    for (int i = 0; i < kPages; ++i) {
        auto page = std::make_unique<beast::websocket::stream<beast::tcp_stream>>(io);
        beast::get_lowest_layer(*page).connect(
            asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), web.port()));
        page->handshake("127.0.0.1", "/api/events");
        beast::flat_buffer first;
        page->read(first);  // the state on connect
        pages.push_back(std::move(page));
    }
    std::vector<double> lasts;
    songs.queueAdd(*songs.getSong(0));  // the head: the waiting songs are what changes
    for (int round = 0; round < 30; ++round) {
        // A different state each round: a song waits or leaves the queue.
        if (round % 2 == 0)
            songs.queueAdd(*songs.getSong(round + 1));
        else
            songs.queueDelete(1);
        std::atomic<int> received{0};
        std::vector<beast::flat_buffer> buffers(kPages);
        Clock::time_point last{};
        for (int i = 0; i < kPages; ++i)
            pages[static_cast<std::size_t>(i)]->async_read(buffers[static_cast<std::size_t>(i)],
                                                           [&](beast::error_code, std::size_t) {
                                                               ++received;
                                                               last = Clock::now();
                                                           });
        const auto start = Clock::now();
        web.queueChanged();
        io.restart();
        io.run_for(std::chrono::seconds(5));
        if (received != kPages) {
            std::fprintf(stderr, "bench_web: only %d pages heard of round %d\n", received.load(), round);
            return 1;
        }
        lasts.push_back(std::chrono::duration<double, std::milli>(last - start).count());
    }
    std::printf("events: a change to %d WebSockets, to the last one: p50 %.2f ms, max %.2f ms (30 rounds)\n",
                kPages, percentile(lasts, 0.5), percentile(lasts, 1.0));
    web.stop();
    return failed == 0 ? 0 : 1;
}
