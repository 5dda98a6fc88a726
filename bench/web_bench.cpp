// The browser remote under load: the search endpoint over 100,000 songs with 20 clients at
// once (keep-alive connections, as a page's fetches are), and one change reaching 50 open
// WebSockets. Prints the percentiles; goals: search p50 under 5 ms and p99 under 20 ms, the
// last WebSocket under 50 ms.
//
// usage: bench_web [SONGS] [CLIENTS] [REQUESTS_PER_CLIENT]
#include <algorithm>
#include <atomic>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "base/virtual_scheduler.h"
#include "catalogue/catalogue.h"
#include "web/web_remote.h"

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
    void windowDidBecomeMain() override {}
    void setEqualizer(double, const std::optional<std::vector<float>>&) override {}
    void setHasScoring(bool) override {}
    void setRandom(bool, std::int32_t, std::optional<std::string>) override {}
    bool isLibraryLoaded() const override { return true; }
    ThumbnailTool thumbnailTool() const override { return {}; }
    void setIsCreateThumbnail(bool) override {}
};

std::shared_ptr<Catalogue> makeCatalogue(int count) {
    std::mt19937 random(7);
    std::vector<Song> songs;
    songs.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
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

void searchClient(std::uint16_t port, int requests, unsigned seed, std::vector<double>& out,
                  std::atomic<int>& failed) {
    asio::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    std::mt19937 random(seed);
    beast::flat_buffer buffer;
    for (int i = 0; i < requests; ++i) {
        http::request<http::empty_body> request{
            http::verb::get, std::string("/api/songs?q=") + kQueries[random() % std::size(kQueries)], 11};
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

    // 1. Search: every client at once, each on its own keep-alive connection.
    std::vector<std::vector<double>> times(static_cast<std::size_t>(clients));
    std::atomic<int> failed{0};
    {
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c)
            threads.emplace_back(searchClient, web.port(), requests, static_cast<unsigned>(c),
                                 std::ref(times[c]), std::ref(failed));
        for (auto& thread : threads) thread.join();
    }
    std::vector<double> all;
    for (const auto& list : times) all.insert(all.end(), list.begin(), list.end());
    std::printf(
        "search: %d songs, %d clients x %d requests: p50 %.2f ms, p99 %.2f ms, max %.2f ms, %d failed\n",
        songs.getCount(), clients, requests, percentile(all, 0.5), percentile(all, 0.99),
        percentile(all, 1.0), failed.load());

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
    return failed.load() == 0 ? 0 : 1;
}
