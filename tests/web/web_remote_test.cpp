#include <sstream>
#include <tuple>

#include "catalogue/catalogue.h"
#include "web/search_cache.h"
#include "web/web_address.h"
#include "web/web_test_support.h"

using namespace vocalis;
using namespace vocalis::testing;
using namespace std::chrono_literals;
using nlohmann::json;

namespace {
const std::vector<std::string> kSongs{"Anh - Tuấn.mp4", "Bông Hồng - Lan.mkv", "Chiều - .mp4",
                                      "Hạnh Nhân Mùa Thu - Hà.mp4", "Em Ơi - Hà.mp4"};

std::vector<std::int32_t> waitingIds(const json& state) {
    std::vector<std::int32_t> ids;
    for (const auto& song : state["queue"]) ids.push_back(song["id"]);
    return ids;
}
}  // namespace

TEST(WebRemote, QueueCommandsAnswerTheNewStateAndReachPhonesAndPages) {
    WebFixture f(kSongs);
    f.start();
    WatchingPhone phone(f.h.sockets.port());
    EventClient page(f.web->port());
    const auto anh = f.h.idOf("Anh"), bong = f.h.idOf("Bông Hồng"), chieu = f.h.idOf("Chiều");

    auto first = page.next();
    ASSERT_TRUE(first);
    EXPECT_TRUE((*first)["current"].is_null());  // the idle clip
    EXPECT_EQ((*first)["queue"], json::array());

    auto answer = f.call("POST", "/api/queue", json{{"id", anh}, {"name", "Hoa"}}.dump());
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(f.state(answer)["current"], (json{{"id", anh},
                                                {"title", "Anh"},
                                                {"singer", "Tuấn"},
                                                {"name", "Hoa"},
                                                {"key", 0},
                                                {"random", false}}));
    EXPECT_EQ(phone.value(38), anh);
    EXPECT_EQ(phone.text(14), "");
    EXPECT_EQ(f.h.overlays.title, "Anh - Tuấn (Hoa)");
    ASSERT_TRUE(page.until([&](const json& s) { return !s["current"].is_null(); }));

    EXPECT_EQ(f.call("POST", "/api/queue", json{{"id", bong}}.dump()).status, 200);
    answer = f.call("POST", "/api/queue", json{{"id", chieu}, {"first", false}, {"name", nullptr}}.dump());
    EXPECT_EQ(waitingIds(f.state(answer)), (std::vector<std::int32_t>{bong, chieu}));
    EXPECT_EQ(f.state(answer)["queue"][1], (json{{"position", 1},
                                                 {"id", chieu},
                                                 {"title", "Chiều"},
                                                 {"singer", ""},
                                                 {"name", nullptr},
                                                 {"key", 0}}));
    EXPECT_EQ(phone.text(14), std::to_string(bong));
    EXPECT_EQ(phone.text(14), std::to_string(bong) + " " + std::to_string(chieu));

    answer = f.call("POST", "/api/queue/1/up");
    EXPECT_EQ(waitingIds(f.state(answer)), (std::vector<std::int32_t>{chieu, bong}));
    EXPECT_EQ(phone.text(14), std::to_string(chieu) + " " + std::to_string(bong));
    ASSERT_TRUE(page.until([&](const json& s) {
        return waitingIds(s) == std::vector<std::int32_t>{chieu, bong};
    }));
    // A phone's change reaches the page too.
    f.h.phone([&](AppDelegate& e) { e.onRemoteQueueMoveFirst(1); });
    ASSERT_TRUE(page.until([&](const json& s) {
        return waitingIds(s) == std::vector<std::int32_t>{bong, chieu};
    }));
    f.h.phone([&](AppDelegate& e) { e.onRemoteQueueRequesterName(bong, "Lan"); });
    ASSERT_TRUE(page.until([&](const json& s) { return s["queue"][0]["name"] == "Lan"; }));

    answer = f.call("POST", "/api/queue/0/remove");
    EXPECT_EQ(waitingIds(f.state(answer)), (std::vector<std::int32_t>{chieu}));
    answer = f.call("POST", "/api/queue/0/first");
    EXPECT_EQ(answer.status, 200);

    // What cannot be done gets its own status and changes nothing.
    struct Case {
        std::string target, body;
        int status;
    };
    const std::vector<Case> cases{
        {"/api/queue", json{{"id", anh}}.dump(), 409},    // playing now
        {"/api/queue", json{{"id", chieu}}.dump(), 409},  // waiting
        {"/api/queue", json{{"id", 99999}}.dump(), 404},
        {"/api/queue", json{{"id", -1}}.dump(), 404},
        {"/api/queue", "", 400},
        {"/api/queue", "{\"id\": 1", 400},
        {"/api/queue", "[1]", 400},
        {"/api/queue", json{{"id", "1"}}.dump(), 400},
        {"/api/queue", json{{"id", 1}, {"first", "yes"}}.dump(), 400},
        {"/api/queue", json{{"id", 1}, {"name", 5}}.dump(), 400},
        {"/api/queue/1/remove", "", 404},  // one song waits
        {"/api/queue/-1/remove", "", 404},
        {"/api/queue/x/up", "", 404},
        {"/api/queue/0/sideways", "", 404},
        {"/api/player/rewind", "", 404},
        {"/api/message", json{{"text", 5}}.dump(), 400},
        {"/api/message", "text", 400},
        {"/api/picture", "GIF89a", 400},
        {"/api/nothing", "", 404},
    };
    for (const auto& c : cases)
        EXPECT_EQ(f.call("POST", c.target, c.body).status, c.status) << c.target << " " << c.body;
    EXPECT_EQ(f.call("GET", "/api/queue/0/remove").status, 404);
    EXPECT_EQ(f.call("DELETE", "/api/state").status, 405);
    EXPECT_EQ(f.h.songs.getQueueIdsString(), std::to_string(chieu));
}

TEST(WebRemote, SearchFoldsRanksPagesAndMarksQueuedSongs) {
    WebFixture f(kSongs);
    f.start();
    const auto hanh = f.h.idOf("Hạnh Nhân Mùa Thu"), em = f.h.idOf("Em Ơi");
    ASSERT_EQ(f.call("POST", "/api/queue", json{{"id", hanh}}.dump()).status, 200);
    struct Case {
        std::string query;
        std::vector<std::string> titles;
        std::size_t total;
    };
    const std::vector<Case> cases{
        {"q=hnmt", {"Hạnh Nhân Mùa Thu"}, 1},
        {"q=EM%20%C6%A0I", {"Em Ơi"}, 1},                  // folded, spaces dropped
        {"q=h%C3%A0", {"Hạnh Nhân Mùa Thu", "Em Ơi"}, 2},  // a title's start before a singer
        {"q=&limit=2", {"Anh", "Bông Hồng"}, 5},
        {"limit=2&offset=3", {"Em Ơi", "Hạnh Nhân Mùa Thu"}, 5},
        {"offset=10", {}, 5},
        {"q=zzz", {}, 0},
    };
    for (const auto& c : cases) {
        const auto answer = f.call("GET", "/api/songs?" + c.query);
        ASSERT_EQ(answer.status, 200) << c.query;
        const json page = f.state(answer);
        std::vector<std::string> titles;
        for (const auto& song : page["songs"]) titles.push_back(song["title"]);
        EXPECT_EQ(titles, c.titles) << c.query;
        EXPECT_EQ(page["total"], c.total) << c.query;
    }
    const json page = f.state(f.call("GET", "/api/songs?q=ha"));
    ASSERT_EQ(page["songs"].size(), 2u);
    EXPECT_EQ(page["songs"][0]["queued"], true);  // playing now
    EXPECT_EQ(page["songs"][1], (json{{"id", em}, {"title", "Em Ơi"}, {"singer", "Hà"}, {"queued", false}}));
    for (const char* bad : {"offset=-1", "limit=x", "offset=1e3"})
        EXPECT_EQ(f.call("GET", std::string("/api/songs?") + bad).status, 400) << bad;
}

TEST(WebRemote, SearchesAreKeptForTheirCatalogueWithinTheirBudget) {
    SongManager songs;
    // Room for three results of one song each.
    SearchCache cache(3 * (128 + 1 + 4));
    EXPECT_TRUE(cache.search(songs, "a")->positions.empty());  // nothing loaded yet
    std::vector<Song> list;
    for (const std::string path : {"Anh - Tuấn.mp4", "Bông - Lan.mp4", "Chiều - Hà.mp4", "Dạ - Hà.mp4"})
        list.push_back(*songFromPath("/k", path));
    songs.addAll(std::make_shared<Catalogue>(buildCatalogue(std::move(list))));

    const auto anh = cache.search(songs, "a");
    ASSERT_EQ(anh->positions.size(), 1u);  // the new catalogue, not the empty one kept
    EXPECT_EQ(cache.search(songs, "a"), anh);
    const auto bong = cache.search(songs, "b");
    cache.search(songs, "c");
    cache.search(songs, "a");  // used again: "b" is now the oldest
    cache.search(songs, "d");
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
            if (request.target == "/slow") {
                const bool inTime = fastDone.wait_for(10s) == std::future_status::ready;
                return reply({inTime ? 200u : 504u, "text/plain", "slow"});
            }
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
            RawClient client(port);
            client.send("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
            return client.readAnswer().value_or(HttpAnswer{});
        });
    };
    auto slow = get("/slow");
    std::this_thread::sleep_for(100ms);  // the slow one first, though either order must work
    EXPECT_EQ(get("/fast").get().body, "fast");
    EXPECT_EQ(slow.get().status, 200);
}

TEST(WebRemote, APinGuardsAllButSearchStateAndAddingAtTheEnd) {
    WebFixture f(kSongs, "4321");
    f.start();
    const auto anh = f.h.idOf("Anh"), bong = f.h.idOf("Bông Hồng"), chieu = f.h.idOf("Chiều");
    EXPECT_EQ(f.call("GET", "/api/state").status, 200);
    EXPECT_EQ(f.call("GET", "/api/songs?q=a").status, 200);
    EXPECT_EQ(f.call("POST", "/api/queue", json{{"id", anh}}.dump()).status, 200);
    EXPECT_EQ(f.call("POST", "/api/queue", json{{"id", bong}}.dump()).status, 200);
    for (const std::string target :
         {"/api/player/pause", "/api/player/next", "/api/player/volume-up", "/api/queue/0/remove",
          "/api/queue/0/up", "/api/queue/0/first", "/api/message", "/api/queue/0/key", "/api/current/key",
          "/api/settings"}) {
        EXPECT_EQ(f.call("POST", target, "{\"text\": \"hi\"}").status, 401) << target;
        EXPECT_EQ(f.call("POST", target, "{\"text\": \"hi\"}", "1234").status, 401) << target;
    }
    EXPECT_EQ(f.call("POST", "/api/queue", json{{"id", chieu}, {"first", true}}.dump()).status, 401);
    EXPECT_EQ(f.h.songs.getQueueCount(), 2);
    EXPECT_FALSE(f.h.overlays.messageVisible);
    EXPECT_EQ(f.call("POST", "/api/queue", json{{"id", chieu}, {"first", true}}.dump(), "4321").status, 200);
    EXPECT_EQ(f.h.songs.getQueueSong(1)->songId, chieu);
    EXPECT_EQ(f.call("POST", "/api/message", "{\"text\": \"Chúc mừng\"}", "4321").status, 200);
    EXPECT_EQ(f.h.overlays.message, "Chúc mừng");
    EXPECT_TRUE(f.h.overlays.messageVisible);

    // Without a PIN for the run, the operator's stored one counts from the next command on.
    WebFixture g(kSongs);
    g.web = std::make_unique<WebRemote>(g.h.clock, g.h.songs, *g.h.engine,
                                        WebRemoteConfig{0, std::nullopt, 6768, true, &g.h.preferences});
    g.start();
    struct Step {
        std::optional<std::string> stored;
        std::string sent;
        int status;
    };
    for (const Step& step : {Step{std::nullopt, "", 200}, Step{"9", "", 401}, Step{"9", "9", 200},
                             Step{"7", "9", 401}, Step{std::nullopt, "", 200}}) {
        if (step.stored)
            g.h.preferences.setString(KEY_WEB_PIN, *step.stored);
        else
            g.h.preferences.removeObject(KEY_WEB_PIN);
        EXPECT_EQ(g.call("POST", "/api/player/pause", "", step.sent).status, step.status)
            << step.stored.value_or("none") << " " << step.sent;
    }
}

TEST(WebRemote, TransportPicturesAndThePlayStateThatFollows) {
    WebFixture f(kSongs);
    f.start();
    EventClient page(f.web->port());
    const auto anh = f.h.idOf("Anh"), bong = f.h.idOf("Bông Hồng");
    f.call("POST", "/api/queue", json{{"id", anh}}.dump());
    f.call("POST", "/api/queue", json{{"id", bong}}.dump());
    f.h.clock.advance(2500ms);

    EXPECT_EQ(f.call("POST", "/api/player/pause").status, 200);
    f.h.clock.runPending();
    ASSERT_TRUE(page.until([](const json& s) { return s["playing"] == false; }));
    f.call("POST", "/api/player/play");
    f.h.clock.runPending();
    ASSERT_TRUE(page.until([](const json& s) { return s["playing"] == true; }));
    f.call("POST", "/api/player/track");
    f.h.clock.runPending();
    ASSERT_TRUE(page.until([](const json& s) { return s["track"] == 1; }));

    const auto answer = f.call("POST", "/api/player/next");
    EXPECT_EQ(f.state(answer)["current"]["id"], bong);
    EXPECT_EQ(f.state(answer)["queue"], json::array());

    const std::string png = "\x89PNG\r\n\x1A\n rest of the picture";
    EXPECT_EQ(f.call("POST", "/api/picture", png).status, 200);
    EXPECT_TRUE(f.h.overlays.pictureVisible);
    f.h.volume.volume = 0.5f;
    f.call("POST", "/api/player/volume-down");
    EXPECT_LT(f.h.volume.volume, 0.5f);
}

TEST(WebRemote, OversizedBodiesManyConnectionsAndThePageItself) {
    WebFixture f(kSongs);
    f.start();
    // Over its cap a body is refused from its head alone.
    struct Case {
        std::string target;
        std::size_t length;
        int status;
    };
    for (const Case& c :
         {Case{"/api/message", 64 * 1024 + 1, 413}, Case{"/api/picture", 32 * 1024 * 1024 + 1, 413},
          Case{"/api/queue", 1024 * 1024, 413}}) {
        RawClient client(f.web->port());
        ASSERT_TRUE(client.send("POST " + c.target + " HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                                std::to_string(c.length) + "\r\n\r\n"));
        const auto answer = client.readAnswer();
        ASSERT_TRUE(answer) << c.target;
        EXPECT_EQ(answer->status, c.status) << c.target;
    }
    // A message just under the cap is shown.
    const std::string text(64 * 1024 - 20, 'a');
    EXPECT_EQ(f.call("POST", "/api/message", json{{"text", text}}.dump()).status, 200);
    EXPECT_EQ(f.h.overlays.message.size(), text.size());

    // 64 idle connections and 64 pages hold nobody else up.
    std::vector<std::unique_ptr<RawClient>> idle;
    std::vector<std::unique_ptr<EventClient>> pages;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(std::make_unique<RawClient>(f.web->port()));
        pages.push_back(std::make_unique<EventClient>(f.web->port()));
        ASSERT_TRUE(pages.back()->next());
    }
    const auto answer = f.call("POST", "/api/queue", json{{"id", f.h.idOf("Anh")}}.dump());
    EXPECT_EQ(answer.status, 200);
    for (auto& page : pages) EXPECT_TRUE(page->until([](const json& s) { return !s["current"].is_null(); }));

    const auto html = f.call("GET", "/");
    EXPECT_EQ(html.status, 200);
    EXPECT_EQ(html.field("content-type"), "text/html; charset=utf-8");
    EXPECT_NE(html.body.find("content=\"6768\""), std::string::npos);  // where the thumbnails are
    EXPECT_TRUE(html.field("content-security-policy").has_value());
    const auto script = f.call("GET", "/app.js");
    EXPECT_EQ(script.field("content-type"), "text/javascript; charset=utf-8");
    // A phone on a crowded Wi-Fi loads the whole page at once, uncompressed.
    EXPECT_LT(html.body.size() + script.body.size() + f.call("GET", "/app.css").body.size(), 150u * 1024);
    EXPECT_EQ(f.call("GET", "/missing.js").status, 404);
}

TEST(WebAddress, TheDefaultRouteInterfaceElseTheFirstThatIsNotLoopback) {
    const std::string header =
        "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n";
    const std::string viaWlan = header + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n" +
                                "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
    const std::vector<std::pair<std::string, std::string>> interfaces{
        {"lo", "127.0.0.1"}, {"eth0", "10.0.0.5"}, {"wlan0", "192.168.1.20"}};
    struct Case {
        std::string routes;
        std::vector<std::pair<std::string, std::string>> interfaces;
        std::optional<std::string> address;
    };
    const std::vector<Case> cases{
        {viaWlan, interfaces, "192.168.1.20"},
        {header, interfaces, "10.0.0.5"},  // no default route
        {"", interfaces, "10.0.0.5"},      // no route table at all
        {viaWlan,
         {{"lo", "127.0.0.1"}, {"eth0", "10.0.0.5"}},
         "10.0.0.5"},  // the route's interface has no IPv4
        {viaWlan, {{"lo", "127.0.0.1"}}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(chooseWebAddress(c.routes, c.interfaces), c.address) << c.routes;
}

TEST(WebRemote, KeysComeWithTheSongAndChangeForWaitingSongsAndTheOneSinging) {
    WebFixture f(kSongs, "4321");
    f.start();
    EventClient page(f.web->port());
    const auto anh = f.h.idOf("Anh"), bong = f.h.idOf("Bông Hồng");
    ASSERT_EQ(f.call("POST", "/api/current/key", R"({"key": 1})", "4321").status, 404);  // the idle clip
    // A guest's own song at the end may come with its key, without the PIN.
    auto answer = f.call("POST", "/api/queue", json{{"id", anh}, {"key", -2}}.dump());
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(f.state(answer)["current"]["key"], -2);
    EXPECT_EQ(f.h.overlays.title, "Anh - Tuấn · Tông \u22122");
    f.call("POST", "/api/queue", json{{"id", bong}, {"key", 6}}.dump());

    answer = f.call("POST", "/api/queue/0/key", R"({"key": -6})", "4321");
    EXPECT_EQ(f.state(answer)["queue"][0]["key"], -6);
    f.h.player.keyShifts.clear();
    answer = f.call("POST", "/api/current/key", R"({"key": 3})", "4321");
    EXPECT_EQ(f.state(answer)["current"]["key"], 3);
    EXPECT_EQ(f.h.player.keyShifts, (std::vector<int>{3}));
    // A key changed on the main window reaches the page too.
    f.h.engine->issue({CommandKind::KeyDown}, CommandSource::Operator);
    f.h.clock.runPending();
    ASSERT_TRUE(
        page.until([](const json& s) { return !s["current"].is_null() && s["current"]["key"] == 2; }));

    for (const auto& [target, body, status] : std::vector<std::tuple<std::string, std::string, int>>{
             {"/api/queue", json{{"id", 2}, {"key", 7}}.dump(), 400},
             {"/api/queue", json{{"id", 2}, {"key", "+1"}}.dump(), 400},
             {"/api/queue", json{{"id", 2}, {"key", 1.5}}.dump(), 400},
             {"/api/queue/0/key", R"({"key": -7})", 400},
             {"/api/queue/0/key", R"({"tone": 1})", 400},
             {"/api/queue/0/key", "", 400},
             {"/api/queue/1/key", R"({"key": 1})", 404},
             {"/api/current/key", R"({"key": 100})", 400},
             {"/api/current/key", R"({"key": null})", 400},
         })
        EXPECT_EQ(f.call("POST", target, body, "4321").status, status) << target << " " << body;
    EXPECT_EQ(f.h.engine->songKey(bong), -6);
    EXPECT_EQ(f.h.engine->songKey(anh), 2);
}

// Fair turns, as guests queue from phones and from the page. A case lists the songs in the order
// they are added, by who asks ("-" nobody, "^" added first), and the order they will be sung in.
TEST(WebRemote, FairTurnsPutEachNewSongAfterItsRoundThroughPhonesAndThePage) {
    struct Case {
        bool fair;
        std::string added, sung;
    };
    const std::vector<Case> cases{
        {true, "A A A B B C", "A B C A B A"},
        {true, "A A - - B", "A - - B A"},  // nobody's songs are each a guest of their own
        {true, "Lan lan Hoa", "Lan Hoa lan"},
        {true, "A A^ B C", "A A B C"},  // put first by hand: it stays first
        {false, "A A B", "A A B"},
    };
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back("Song " + std::to_string(i) + " - X.mp4");
    const auto split = [](const std::string& text) {
        std::vector<std::string> words;
        std::istringstream in(text);
        for (std::string word; in >> word;) words.push_back(word);
        return words;
    };
    for (const Case& c : cases)
        for (const bool fromPhone : {true, false}) {
            SCOPED_TRACE(c.added + (fromPhone ? " from a phone" : " from the page"));
            WebFixture f(files);
            f.h.preferences.setBool(KEY_FAIR_TURNS, c.fair && fromPhone);
            f.start();
            if (!fromPhone) {
                ASSERT_EQ(f.call("POST", "/api/settings", json{{"fairTurns", c.fair}}.dump()).status, 200);
            }
            ASSERT_EQ(f.h.engine->fairTurns(), c.fair);
            WatchingPhone phone(f.h.sockets.port());
            int i = 0;
            for (std::string name : split(c.added)) {
                const bool first = name.ends_with('^');
                if (first) name.pop_back();
                if (name == "-") name.clear();
                const auto id = f.h.idOf("Song " + std::to_string(i++));
                if (fromPhone) {
                    // Phones name a song just after adding it.
                    std::string bytes = wire::intCommand(first ? wire::kAddSongFirst : wire::kAddSong, id);
                    if (!name.empty()) bytes += wire::requesterNameCommand(id, name);
                    ASSERT_TRUE(phone.client.send(bytes, std::chrono::seconds(5)));
                    ASSERT_TRUE(f.h.settle([&] {
                        const Song* song = f.h.songs.getSong(id);
                        return f.h.songs.queueContains(*song) &&
                               f.h.engine->requesterName(id).value_or("") == name;
                    }));
                } else {
                    const auto body = json{{"id", id}, {"first", first}, {"name", name}}.dump();
                    ASSERT_EQ(f.call("POST", "/api/queue", body).status, 200);
                }
            }
            const json state = f.state(f.call("GET", "/api/state"));
            std::vector<std::string> sung{state["current"]["name"].is_null() ? "-"
                                                                             : state["current"]["name"]};
            for (const auto& song : state["queue"])
                sung.push_back(song["name"].is_null() ? "-" : song["name"]);
            EXPECT_EQ(sung, split(c.sung));
        }
}
