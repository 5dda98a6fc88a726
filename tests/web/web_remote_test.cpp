#include "web/web_remote.h"

#include <atomic>
#include <future>
#include <sstream>
#include <thread>

#include "app/engine_harness.h"
#include "catalogue/catalogue.h"
#include "store/store.h"
#include "store/store_writer.h"
#include "support/socket_client.h"
#include "web/event_client.h"
#include "web/search_cache.h"
#include "web/web_address.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using nlohmann::json;
using Ids = std::vector<std::int32_t>;

namespace {

const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4",
                                      "Hạnh Nhân Mùa Thu - Hà.mp4", "Em Ơi - Hà.mp4"};

// The engine with its browser remote on a loopback port, and the guests' records when given a store;
// with a play folder the engine keeps what plays there. Without a PIN for the run, the operator's
// stored one counts.
struct Web {
    explicit Web(std::vector<std::string> songs = kSongs, std::optional<std::string> pin = std::nullopt,
                 std::optional<Store> store = std::nullopt, const std::string& playFolder = {})
        : h(std::move(songs), "false", nullptr, playFolder),
          writer(store ? std::make_unique<StoreWriter>(std::move(*store), h.clock) : nullptr),
          records(writer ? std::make_unique<GuestRecords>(*writer, h.songs, [this] { return h.foldersFound; })
                         : nullptr),
          web(h.clock, h.songs, *h.engine, {0, std::move(pin), 6768, true, &h.preferences, records.get()}) {}
    void start() {
        h.launchToFirstSong();
        listen();
        h.clock.advance(2500ms);  // past the lock of the idle clip's start: songs added start at once
    }
    void listen() {
        std::string error;
        ASSERT_TRUE(web.start(&error)) << error;
    }
    // One request on its own connection, answered while the engine's thread runs.
    HttpAnswer call(const std::string& method, const std::string& target, const std::string& body = {},
                    const std::string& pin = {}) {
        std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (!pin.empty()) request += "X-Vocalis-Pin: " + pin + "\r\n";
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        auto answer =
            std::async(std::launch::async, [port = web.port(), request] { return ask(port, request); });
        EXPECT_TRUE(h.settle([&] { return answer.wait_for(0s) == std::future_status::ready; }));
        return answer.get();
    }
    json post(const std::string& target, const json& body = nullptr, const std::string& pin = {}) {
        return json::parse(call("POST", target, body.is_null() ? "" : body.dump(), pin).body, nullptr, false);
    }
    int status(const std::string& target, const std::string& body = {}, const std::string& pin = {}) {
        return call("POST", target, body, pin).status;
    }

    EngineHarness h;
    std::unique_ptr<StoreWriter> writer;
    std::unique_ptr<GuestRecords> records;
    WebRemote web;
};

Ids waitingIds(const json& state) {
    Ids ids;
    for (const auto& song : state["queue"]) ids.push_back(song["id"]);
    return ids;
}

// The ids of an answer's songs (null for one not in the catalogue).
std::vector<json> idsIn(const std::string& body) {
    const json answer = json::parse(body, nullptr, false);
    std::vector<json> ids;
    if (answer.contains("songs"))
        for (const auto& song : answer["songs"]) ids.push_back(song["id"]);
    return ids;
}

std::string withId(std::int32_t id, json more = json::object()) {
    more["id"] = id;
    return more.dump();
}

}  // namespace

TEST(WebRemote, CommandsSearchesAndThePageWithEveryChangeReachingEveryPage) {
    Web f;
    // The page is served from the start, while the intro plays: every command is refused as the
    // player starting, before the catalogue has loaded and after, and changes nothing.
    f.h.launch();
    f.listen();
    const std::pair<std::string, std::string> commands[] = {
        {"/api/queue", withId(0)},
        {"/api/queue", withId(1, {{"first", true}, {"name", "Hoa"}})},
        {"/api/queue/0/remove", ""},
        {"/api/queue/clear", ""},
        {"/api/queue/0/key", R"({"key": 1})"},
        {"/api/current/key", R"({"key": 1})"},
        {"/api/player/next", ""},
        {"/api/player/volume-up", ""},
        {"/api/settings", R"({"fairTurns": true})"},
        {"/api/message", R"({"text": "hi"})"},
        {"/api/picture", "\x89PNG\r\n\x1A\n rest of the picture"}};
    for (const bool loaded : {false, true}) {
        if (loaded) {
            f.h.clock.advance(2000ms);
            ASSERT_TRUE(f.h.loaded());
            ASSERT_EQ(json::parse(f.call("GET", "/api/songs").body)["total"], kSongs.size());
        }
        for (const auto& [target, body] : commands) {
            const auto answer = f.call("POST", target, body);
            EXPECT_EQ(answer.status, 503) << target << (loaded ? " loaded" : "");
            EXPECT_EQ(json::parse(answer.body, nullptr, false)["error"],
                      "Máy hát đang khởi động, thử lại sau giây lát.")
                << answer.body;
        }
    }
    f.h.clock.runPending();
    EXPECT_TRUE(f.h.songs.isQueueEmpty());
    EXPECT_FALSE(f.h.overlays.messageVisible || f.h.overlays.pictureVisible || f.h.overlays.volumeVisible);
    EXPECT_FALSE(f.h.engine->fairTurns());
    // Without a store nothing of a guest's own is kept: the page hides it when told so.
    for (const auto& [method, target] : {std::pair{"GET", "/api/history"},
                                         {"GET", "/api/favourites?name=Hoa"},
                                         {"POST", "/api/favourites"},
                                         {"GET", "/api/scores"}}) {
        const auto answer = f.call(method, target, R"({"name": "Hoa", "id": 0, "on": true})");
        EXPECT_EQ(answer.status, 503) << target;
        EXPECT_TRUE(json::parse(answer.body, nullptr, false)["error"].is_string()) << answer.body;
    }
    f.h.clock.advance(4000ms);
    f.h.end();  // the intro's end: commands are taken from here on
    f.h.clock.advance(2500ms);
    EventClient page(f.web.port());
    const auto anh = f.h.idOf("Anh"), bong = f.h.idOf("Bông Hồng"), chieu = f.h.idOf("Chiều");
    const auto first = page.until();
    ASSERT_TRUE(first);
    EXPECT_TRUE((*first)["current"].is_null());  // the idle clip

    const json current{{"id", anh}, {"title", "Anh"},  {"singer", "Tuấn"},    {"name", "Hoa"},
                       {"key", 0},  {"random", false}, {"position", nullptr}, {"length", nullptr}};
    EXPECT_EQ(f.post("/api/queue", {{"id", anh}, {"name", "Hoa"}})["current"], current);
    ASSERT_TRUE(page.until([&](const json& s) { return !s["current"].is_null(); }));
    EXPECT_EQ(f.status("/api/queue", withId(bong)), 200);
    const json state = f.post("/api/queue", {{"id", chieu}, {"first", false}, {"name", nullptr}});
    const json waiting{{"position", 1}, {"id", chieu},     {"title", "Chiều"},
                       {"singer", ""},  {"name", nullptr}, {"key", 0}};
    EXPECT_EQ(state["queue"][1], waiting);
    EXPECT_EQ(waitingIds(f.post("/api/queue/1/up")), (Ids{chieu, bong}));
    ASSERT_TRUE(page.until([&](const json& s) { return waitingIds(s) == Ids{chieu, bong}; }));
    f.h.remote(&AppDelegate::onRemoteQueueMoveFirst, 1);  // a phone's change reaches the page too
    ASSERT_TRUE(page.until([&](const json& s) { return waitingIds(s) == Ids{bong, chieu}; }));
    EXPECT_EQ(waitingIds(f.post("/api/queue/0/remove")), (Ids{chieu}));
    EXPECT_EQ(f.status("/api/queue/0/first"), 200);

    // What cannot be done gets its own status and changes nothing.
    const std::tuple<std::string, std::string, int> cases[] = {
        {"/api/queue", withId(anh), 409},    // playing now
        {"/api/queue", withId(chieu), 409},  // waiting
        {"/api/queue", withId(99999), 404},
        {"/api/queue", withId(-1), 404},
        {"/api/queue", "{\"id\": 1", 400},
        {"/api/queue", "[1]", 400},
        {"/api/queue", json{{"id", "1"}}.dump(), 400},
        {"/api/queue", withId(1, {{"first", "yes"}}), 400},
        {"/api/queue", withId(1, {{"name", 5}}), 400},
        {"/api/queue/1/remove", "", 404},  // one song waits
        {"/api/queue/x/up", "", 404},
        {"/api/queue/0/sideways", "", 404},
        {"/api/player/rewind", "", 404},
        {"/api/message", json{{"text", 5}}.dump(), 400},
        {"/api/message", "text", 400},
        {"/api/settings", R"({"fairTurns": 1})", 400},
        {"/api/picture", "GIF89a", 400},
        {"/api/nothing", "", 404},
    };
    for (const auto& [target, body, status] : cases)
        EXPECT_EQ(f.status(target, body), status) << target << " " << body;
    EXPECT_EQ(f.call("GET", "/api/queue/0/remove").status, 404);
    EXPECT_EQ(f.call("DELETE", "/api/state").status, 405);
    EXPECT_EQ(f.h.songs.getQueueIdsString(), std::to_string(chieu));

    // The transport, and the play state that follows.
    f.h.clock.advance(2500ms);
    for (const auto& [command, key, value] : {std::tuple{"pause", "playing", json(false)},
                                              {"play", "playing", json(true)},
                                              {"track", "track", json(1)}}) {
        EXPECT_EQ(f.status(std::string("/api/player/") + command), 200) << command;
        f.h.clock.runPending();
        ASSERT_TRUE(page.until([&](const json& s) { return s[key] == value; })) << command;
    }
    const json next = f.post("/api/player/next");
    EXPECT_EQ(next["current"]["id"], chieu);
    EXPECT_EQ(next["queue"], json::array());
    // The position follows the song playing, in seconds.
    f.h.player.timeLeft(60000, 12500);
    f.h.clock.runPending();
    EXPECT_EQ(json::parse(f.call("GET", "/api/state").body)["current"]["position"], 12.5);
    EXPECT_EQ(f.status("/api/picture", "\x89PNG\r\n\x1A\n rest of the picture"), 200);
    EXPECT_TRUE(f.h.overlays.pictureVisible);
    f.h.volume.volume = 0.5f;
    f.status("/api/player/volume-down");
    EXPECT_LT(f.h.volume.volume, 0.5f);

    // Search pages.
    ASSERT_EQ(f.status("/api/queue", withId(f.h.idOf("Hạnh Nhân Mùa Thu"))), 200);
    const std::tuple<std::string, std::vector<std::string>, std::size_t> searches[] = {
        {"q=EM%20%C6%A0I", {"Em Ơi"}, 1},  // decoded, folded, spaces dropped
        {"q=h%C3%A0", {"Hạnh Nhân Mùa Thu*", "Em Ơi"}, 2},
        {"q=&limit=2", {"Anh", "Bông Hồng"}, 5},
        {"limit=2&offset=3", {"Em Ơi", "Hạnh Nhân Mùa Thu*"}, 5},
        {"offset=10", {}, 5},
        {"q=zzz", {}, 0},
    };
    for (const auto& [query, titles, total] : searches) {
        const auto answer = f.call("GET", "/api/songs?" + query);
        ASSERT_EQ(answer.status, 200) << query;
        const json result = json::parse(answer.body);
        std::vector<std::string> found;  // a star for a queued song
        for (const auto& song : result["songs"])
            found.push_back(song["title"].get<std::string>() + (song["queued"] == true ? "*" : ""));
        EXPECT_EQ(found, titles) << query;
        EXPECT_EQ(result["total"], total) << query;
    }
    EXPECT_EQ(json::parse(f.call("GET", "/api/songs?q=em").body)["songs"][0],
              (json{{"id", f.h.idOf("Em Ơi")}, {"title", "Em Ơi"}, {"singer", "Hà"}, {"queued", false}}));
    for (const char* bad : {"offset=-1", "limit=x", "offset=1e3"})
        EXPECT_EQ(f.call("GET", std::string("/api/songs?") + bad).status, 400) << bad;

    // Over its cap a body is refused from its head alone.
    for (const auto& [target, length] : {std::pair{"/api/message", 64 * 1024 + 1},
                                         {"/api/picture", 32 * 1024 * 1024 + 1},
                                         {"/api/queue", 1024 * 1024}}) {
        const auto head = std::string("POST ") + target + " HTTP/1.1\r\nHost: x\r\nContent-Length: ";
        EXPECT_EQ(ask(f.web.port(), head + std::to_string(length) + "\r\n\r\n").status, 413) << target;
    }
    const std::string text(64 * 1024 - 20, 'a');  // just under the cap: shown
    EXPECT_EQ(f.status("/api/message", json{{"text", text}}.dump()), 200);
    EXPECT_EQ(f.h.overlays.message.size(), text.size());

    // 64 idle connections and 64 pages hold nobody else up.
    std::vector<std::unique_ptr<RawClient>> idle;
    std::vector<std::unique_ptr<EventClient>> pages;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(std::make_unique<RawClient>(f.web.port()));
        pages.push_back(std::make_unique<EventClient>(f.web.port()));
        ASSERT_TRUE(pages.back()->until());
    }
    EXPECT_EQ(f.status("/api/queue", withId(anh)), 200);
    for (auto& other : pages) EXPECT_TRUE(other->until([](const json& s) { return s["queue"].size() == 2; }));

    const auto html = f.call("GET", "/"), script = f.call("GET", "/app.js");
    EXPECT_NE(html.body.find("content=\"6768\""), std::string::npos);  // where the thumbnails are
    EXPECT_TRUE(html.field("content-security-policy").has_value());
    // A phone on a crowded Wi-Fi loads the whole page at once, uncompressed.
    EXPECT_LT(html.body.size() + script.body.size() + f.call("GET", "/app.css").body.size(), 150u * 1024);
    EXPECT_EQ(f.call("GET", "/missing.js").status, 404);

    // Without a PIN for the run, the operator's stored one counts from the next command on.
    const std::tuple<std::optional<std::string>, std::string, int> pins[] = {
        {std::nullopt, "", 200}, {"9", "", 401}, {"9", "9", 200}, {"7", "9", 401}, {std::nullopt, "", 200}};
    for (const auto& [stored, sent, status] : pins) {
        if (stored)
            f.h.preferences.setString(KEY_WEB_PIN, *stored);
        else
            f.h.preferences.removeObject(KEY_WEB_PIN);
        EXPECT_EQ(f.status("/api/player/pause", "", sent), status) << stored.value_or("none") << " " << sent;
    }

    // The score screen's score is in the state from its first moment until the screen closes.
    f.h.engine->setHasScoring(true);
    f.h.end();
    ASSERT_TRUE(page.until([](const json& s) { return s["score"].is_object(); }));
    const json score{{"value", f.h.engine->finalScore().value}, {"measured", false}};  // no microphone
    EXPECT_EQ(json::parse(f.call("GET", "/api/state").body)["score"], score);
    f.h.clock.advance(Millis(120 * (score["value"].get<int>() - 50) + 6900));
    EXPECT_EQ(json::parse(f.call("GET", "/api/state").body)["score"], score);
    f.h.clock.advance(100ms);
    ASSERT_TRUE(page.until([](const json& s) { return s["score"].is_null(); }));
}

TEST(WebRemote, GuestsReadTheSongsTheySangAndMarkFavouritesWithoutThePin) {
    TempDir data;
    auto opening = Store::open(data.path());
    ASSERT_TRUE(opening.store);
    Store& store = *opening.store;
    // Song starts as the engine records them; "Gone" is on a drive not plugged in this time, and
    // "Chiều" has moved (found by its title).
    const SongIdentity anh{"Anh - Tuấn.mp4", "Anh", "Tuấn", 0}, gone{"Gone - X.mp4", "Gone", "X", 0},
        bong{"Bông Hồng - Lan.mkv", "Bông Hồng", "Lan", 0}, chieu{"moved/Chiều - .mp4", "Chiều", "", 0};
    const auto at = [](int minute) { return WallTime(std::chrono::minutes(29'420'400 + minute)); };
    const std::tuple<SongIdentity, std::optional<std::string>, int, std::optional<SongEnding>,
                     std::optional<SongScore>>
        starts[] = {{gone, "Hoa", 0, SongEnding::kFinished, SongScore{95, true}},
                    {anh, "Hoa", 2, SongEnding::kFinished, SongScore{87, true}},
                    {bong, "hoa", -1, SongEnding::kSkipped, SongScore{99, true}},  // scored on what was sung
                    {bong, "Minh", 0, SongEnding::kFinished, SongScore{80, false}},  // drawn
                    {chieu, std::nullopt, 0, std::nullopt, std::nullopt}};           // still singing
    int minute = 0;
    for (const auto& [sung, name, key, ending, score] : starts) {
        const auto id = store.recordStart({sung, name, key, at(minute)});
        ASSERT_TRUE(id.value) << id.error;
        if (ending) {
            ASSERT_FALSE(store.recordEnd(*id.value, at(minute + 4), *ending, score));
        }
        minute += 10;
    }
    ASSERT_FALSE(store.addFavourite("Hoa", gone));

    Web f(kSongs, "4321", std::move(opening.store));
    f.start();
    const auto ids = [&](const std::string& target) {
        const auto answer = f.call("GET", target);
        return std::pair{answer.status, idsIn(answer.body)};
    };
    const json none;
    const json a = f.h.idOf("Anh"), b = f.h.idOf("Bông Hồng"), c = f.h.idOf("Chiều");
    const std::tuple<std::string, int, std::vector<json>> reads[] = {
        {"/api/history", 200, {c, b, b, a, none}},
        {"/api/history?name=HOA", 200, {b, a, none}},  // names as fair turns compare them
        {"/api/history?name=Hoa&limit=1", 200, {b}},
        {"/api/history?limit=500", 200, {c, b, b, a, none}},
        {"/api/history?name=", 200, {c}},  // the songs asked for without a name
        {"/api/history?name=Lan", 200, {}},
        {"/api/history?limit=x", 400, {}},
        {"/api/history?limit=-1", 400, {}},
        {"/api/favourites?name=hoa", 200, {none}},
        {"/api/favourites?name=", 400, {}},
        {"/api/favourites", 400, {}},
    };
    for (const auto& [target, status, expected] : reads)
        EXPECT_EQ(ids(target), std::pair(status, expected)) << target;
    const json history = json::parse(f.call("GET", "/api/history?name=hoa").body);
    json anhSung =
        json::parse(R"({"title": "Anh", "singer": "Tuấn", "name": "Hoa", "key": 2, "end": "finished",
        "started": "2025-12-08T20:10:00Z", "ended": "2025-12-08T20:14:00Z", "score": 87, "measured": true})");
    anhSung["id"] = a;
    EXPECT_EQ(history["songs"][1], anhSung);
    EXPECT_EQ(history["songs"][0]["end"], "skipped");
    EXPECT_EQ(json::parse(f.call("GET", "/api/history?name=minh").body)["songs"][0]["measured"], false);

    // The night's best measured scores of songs sung to their end, best first.
    const auto scored = [](const char* title, const char* singer, int value, const char* time) {
        return json{{"name", "Hoa"}, {"title", title}, {"singer", singer}, {"value", value}, {"time", time}};
    };
    const json gonesScore = scored("Gone", "X", 95, "2025-12-08T20:04:00Z"),
               anhsScore = scored("Anh", "Tuấn", 87, "2025-12-08T20:14:00Z");
    const std::tuple<std::string, int, json> boards[] = {
        {"/api/scores", 200, json::array()},  // the last twelve hours
        {"/api/scores?since=2025-12-08T20:00:00Z", 200, {gonesScore, anhsScore}},
        {"/api/scores?since=2025-12-08T20:05:00.250Z", 200, json::array({anhsScore})},
        {"/api/scores?since=2025-12-09T03:05:00%2B07:00", 200,
         json::array({anhsScore})},  // the phone's time zone
        {"/api/scores?since=2025-12-09T03:05:00+07:00", 200,
         json::array({anhsScore})},  // '+' taken as a space
        {"/api/scores?since=2025-12-08T20:14:01Z", 200, json::array()},
        {"/api/scores?since=yesterday", 400, nullptr},
        {"/api/scores?since=2025-02-30T00:00:00Z", 400, nullptr},
    };
    for (const auto& [target, status, scores] : boards) {
        const auto answer = f.call("GET", target);
        EXPECT_EQ(answer.status, status) << target;
        if (status == 200) {
            EXPECT_EQ(json::parse(answer.body)["scores"], scores) << target;
        }
    }
    for (const char* unknown : {"ended", "score", "measured"})
        EXPECT_TRUE(json::parse(f.call("GET", "/api/history").body)["songs"][0].at(unknown).is_null())
            << unknown;

    // A star on and off, newest first, each answered with the name's list; no PIN asked.
    const std::tuple<json, int, std::vector<json>> marks[] = {
        {{{"name", "Hoa"}, {"id", a}, {"on", true}}, 200, {a, none}},
        {{{"name", "hoa"}, {"id", b}, {"on", true}}, 200, {b, a, none}},
        {{{"name", "HOA"}, {"id", a}, {"on", false}}, 200, {b, none}},
        {{{"name", "Hoa"}, {"id", c}, {"on", false}}, 200, {b, none}},  // never marked
        {{{"name", "Lan"}, {"id", c}, {"on", true}}, 200, {c}},
        {{{"name", "Hoa"}, {"id", 99999}, {"on", true}}, 404, {}},
        {{{"name", "Hoa"}, {"id", -1}, {"on", true}}, 404, {}},
        {{{"name", ""}, {"id", a}, {"on", true}}, 400, {}},
        {{{"name", std::string(201, 'x')}, {"id", a}, {"on", true}}, 400, {}},
        {{{"name", "Hoa"}, {"id", a}}, 400, {}},
        {{{"name", "Hoa"}, {"id", "1"}, {"on", true}}, 400, {}},
        {{{"id", a}, {"on", true}}, 400, {}},
    };
    for (const auto& [body, status, expected] : marks) {
        const auto answer = f.call("POST", "/api/favourites", body.dump());
        EXPECT_EQ(std::pair(answer.status, idsIn(answer.body)), std::pair(status, expected)) << body;
    }
    EXPECT_EQ(ids("/api/favourites?name=hoa"), std::pair(200, std::vector<json>{b, none}));
    EXPECT_EQ(f.call("DELETE", "/api/favourites").status, 405);
    EXPECT_EQ(f.call("POST", "/api/history").status, 405);
}

TEST(WebRemote, SearchesAreKeptForTheirCatalogueWithinTheirBudget) {
    SongManager songs;
    SearchCache cache(3 * (128 + 1 + 4));                      // room for three results of one song each
    EXPECT_TRUE(cache.search(songs, "a")->positions.empty());  // nothing loaded yet
    std::vector<Song> list;
    for (const std::string path : {"Anh - Tuấn.mp4", "Bông - Lan.mp4", "Chiều - Hà.mp4", "Dạ - Hà.mp4"})
        list.push_back(*songFromPath("/k", path));
    songs.addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(list))));
    const auto anh = cache.search(songs, "a");
    ASSERT_EQ(anh->positions.size(), 1u);  // the new catalogue, not the empty one kept
    EXPECT_EQ(cache.search(songs, "a"), anh);
    const auto bong = cache.search(songs, "b");
    for (const char* query : {"c", "a", "d"})
        cache.search(songs, query);  // "a" used again: "b" is the oldest
    EXPECT_LE(cache.bytes(), 3u * (128 + 1 + 4));
    EXPECT_EQ(cache.search(songs, "a"), anh);
    EXPECT_NE(cache.search(songs, "b"), bong);
    EXPECT_EQ(cache.search(songs, "b")->positions, bong->positions);
}

TEST(WebServer, OneSlowAnswerHoldsUpNoOther) {
    // "/slow" is answered only once "/fast" has been, or after 10 s.
    struct Handler final : WebHandler {
        std::promise<void> fast;
        std::shared_future<void> fastDone = fast.get_future().share();
        void handle(WebRequest request, std::function<void(WebReply)> reply) override {
            if (request.target == "/slow")
                return reply({fastDone.wait_for(10s) == std::future_status::ready ? 200u : 504u, "text/plain",
                              "slow"});
            reply({200, "text/plain", "fast"});
            fast.set_value();
        }
        std::size_t bodyLimit(const std::string&, const std::string&) const override { return 1024; }
        std::string currentEvent() const override { return {}; }
    } handler;
    WebServer server(handler);
    std::string error;
    ASSERT_TRUE(server.start(0, &error, true)) << error;
    const auto get = [&](const std::string& target) {
        return std::async(std::launch::async, [port = server.port(), target] {
            return ask(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
        });
    };
    auto slow = get("/slow");
    std::this_thread::sleep_for(100ms);  // the slow one first, though either order must work
    EXPECT_EQ(get("/fast").get().body, "fast");
    EXPECT_EQ(slow.get().status, 200);
}

TEST(WebRemote, APinGuardsAllButSearchStateAndAddingAtTheEndAndKeysFollowTheirSong) {
    TempDir data;
    Web f(kSongs, "4321", std::nullopt, data.path());
    f.start();
    const auto anh = f.h.idOf("Anh"), bong = f.h.idOf("Bông Hồng"), chieu = f.h.idOf("Chiều");
    EXPECT_EQ(f.call("GET", "/api/state").status, 200);
    EXPECT_EQ(f.call("GET", "/api/songs?q=a").status, 200);
    ASSERT_EQ(f.status("/api/current/key", R"({"key": 1})", "4321"), 404);  // the idle clip
    // A guest's own song at the end may come with its key, without the PIN.
    EXPECT_EQ(f.post("/api/queue", {{"id", anh}, {"key", -2}})["current"]["key"], -2);
    EXPECT_EQ(f.status("/api/queue", withId(bong, {{"key", 6}})), 200);
    for (const std::string target :
         {"/api/player/pause", "/api/player/next", "/api/player/volume-up", "/api/queue/0/remove",
          "/api/queue/clear", "/api/queue/0/up", "/api/queue/0/first", "/api/message", "/api/queue/0/key",
          "/api/current/key", "/api/settings"})
        EXPECT_EQ(f.status(target, "{\"text\": \"hi\"}"), 401) << target;
    EXPECT_EQ(f.status("/api/queue", withId(chieu, {{"first", true}})), 401);
    EXPECT_EQ(f.h.songs.getQueueCount(), 2);
    EXPECT_EQ(f.status("/api/queue", withId(chieu, {{"first", true}}), "4321"), 200);
    EXPECT_EQ(f.h.songs.getQueueSong(1)->songId, chieu);
    EXPECT_EQ(f.status("/api/message", "{\"text\": \"Chúc mừng\"}", "4321"), 200);
    EXPECT_EQ(f.h.overlays.message, "Chúc mừng");

    // Keys change for waiting songs and the one singing; the operator's change reaches the state.
    // An answer waits until its change is on disk, so a kill right after it loses nothing: with the
    // store's thread held a second, no answer comes before.
    std::atomic<bool> held = true;
    f.h.writer->run(
        [&](Store&) -> WriteError {
            std::this_thread::sleep_for(1s);
            held = false;
            return std::nullopt;
        },
        [](WriteError) {});
    EXPECT_EQ(f.post("/api/queue/1/key", {{"key", -6}}, "4321")["queue"][1]["key"], -6);
    EXPECT_FALSE(held);
    EXPECT_EQ(f.post("/api/current/key", {{"key", 3}}, "4321")["current"]["key"], 3);
    f.h.engine->issue({CommandKind::KeyDown}, CommandSource::Operator);
    f.h.clock.runPending();
    bool told = false;  // once written
    f.h.engine->afterNews([&] { told = true; });
    ASSERT_TRUE(f.h.settle([&] { return told; }));
    EXPECT_EQ(json::parse(f.call("GET", "/api/state").body)["current"]["key"], 2);
    const std::tuple<std::string, std::string, int> cases[] = {
        {"/api/queue", withId(2, {{"key", 7}}), 400},   {"/api/queue", withId(2, {{"key", "+1"}}), 400},
        {"/api/queue", withId(2, {{"key", 1.5}}), 400}, {"/api/queue/0/key", R"({"key": -7})", 400},
        {"/api/queue/0/key", R"({"tone": 1})", 400},    {"/api/queue/0/key", "", 400},
        {"/api/queue/2/key", R"({"key": 1})", 404},     {"/api/current/key", R"({"key": 100})", 400},
        {"/api/current/key", R"({"key": null})", 400},
    };
    for (const auto& [target, body, status] : cases)
        EXPECT_EQ(f.status(target, body, "4321"), status) << target << " " << body;
    EXPECT_EQ(f.h.engine->songKey(bong), -6);
    // The operator clears the queue; the song playing plays on.
    EXPECT_EQ(f.post("/api/queue/clear", nullptr, "4321")["queue"], json::array());
    EXPECT_EQ(f.h.songs.getQueueCount(), 1);
    EXPECT_EQ(f.h.engine->songKey(anh), 2);
}

TEST(WebAddress, TheDefaultRouteInterfaceElseTheFirstThatIsNotLoopback) {
    const std::string header =
        "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n";
    const std::string viaWlan = header + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n" +
                                "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
    using Interfaces = std::vector<std::pair<std::string, std::string>>;
    const Interfaces all{{"lo", "127.0.0.1"}, {"eth0", "10.0.0.5"}, {"wlan0", "192.168.1.20"}};
    const std::tuple<std::string, Interfaces, std::optional<std::string>> cases[] = {
        {viaWlan, all, "192.168.1.20"},
        {header, all, "10.0.0.5"},                                           // no default route
        {"", all, "10.0.0.5"},                                               // no route table at all
        {viaWlan, {{"lo", "127.0.0.1"}, {"eth0", "10.0.0.5"}}, "10.0.0.5"},  // wlan0 without IPv4
        {viaWlan, {{"lo", "127.0.0.1"}}, std::nullopt},
    };
    for (const auto& [routes, interfaces, address] : cases)
        EXPECT_EQ(chooseWebAddress(routes, interfaces), address) << routes;
}

// Fair turns, as guests queue from phones (which name a song just after adding it) and from the page. A
// case lists the songs in the order they are added, by who asks ("-" nobody, "^" added first), and the order
// they will be sung in.
TEST(WebRemote, FairTurnsPutEachNewSongAfterItsRound) {
    const std::tuple<bool, bool, std::string, std::string> cases[] = {
        {true, true, "A A A B B C", "A B C A B A"},
        {true, false, "A A A B B C", "A B C A B A"},  // from the page
        {true, true, "A A - - B", "A - - B A"},       // nobody's songs are each a guest of their own
        {true, true, "Lan lan Hoa", "Lan Hoa lan"},
        {true, true, "A A^ B C", "A A B C"},  // put first by hand: it stays first
        {false, true, "A A B", "A A B"},
    };
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back("Song " + std::to_string(i) + " - X.mp4");
    for (const auto& [fair, fromPhone, added, sung] : cases) {
        SCOPED_TRACE(added);
        Web f(files);
        f.h.preferences.setBool(KEY_FAIR_TURNS, fair && fromPhone);
        f.start();
        if (!fromPhone) {
            ASSERT_EQ(f.status("/api/settings", json{{"fairTurns", fair}}.dump()), 200);
        }
        ASSERT_EQ(f.h.engine->fairTurns(), fair);
        int i = 0;
        std::istringstream names(added);
        for (std::string name; names >> name;) {
            const bool first = name.ends_with('^');
            if (first) name.pop_back();
            if (name == "-") name.clear();
            const auto id = f.h.idOf("Song " + std::to_string(i++));
            if (!fromPhone) {
                ASSERT_EQ(f.status("/api/queue", withId(id, {{"first", first}, {"name", name}})), 200);
                continue;
            }
            f.h.remote(first ? &AppDelegate::onRemoteRes1st : &AppDelegate::onRemoteRes, id);
            if (!name.empty()) f.h.remote(&AppDelegate::onRemoteQueueRequesterName, id, name);
        }
        const json state = json::parse(f.call("GET", "/api/state").body);
        json songs = state["queue"];
        songs.insert(songs.begin(), state["current"]);
        std::ostringstream order;
        for (const auto& song : songs)
            order << (song["name"].is_null() ? "-" : song["name"].get<std::string>()) << ' ';
        EXPECT_EQ(order.str(), sung + " ");
    }
}
