#include "remote/http_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <tuple>
#include <vector>

#include "catalogue/catalogue.h"
#include "remote/http_range.h"
#include "remote/media_service_routing.h"
#include "support/socket_client.h"
#include "support/temp_dir.h"

namespace vocalis {
namespace {

using testing::eventually;
using testing::HttpAnswer;
using testing::patternBytes;
using testing::RawClient;
using namespace std::chrono_literals;

// Serves the files of one folder by name; everything else is 404.
struct FolderRouting final : HTTPRouting {
    explicit FolderRouting(std::string folder) : folder(std::move(folder)) {}
    bool supportsMethod(std::string_view method, std::string_view) const override {
        return method == "GET" || method == "HEAD";
    }
    std::optional<std::string> filePathForURI(std::string_view uri) const override {
        return uri.find('/', 1) == std::string_view::npos ? std::optional(folder + std::string(uri))
                                                          : std::nullopt;
    }
    std::optional<HTTPFileResponse> httpResponseForMethod(std::string_view, std::string_view uri) override {
        const auto path = filePathForURI(uri);
        return path ? HTTPFileResponse::create(*path) : std::nullopt;
    }
    std::string folder;
};

class HttpServerTest : public ::testing::Test {
  protected:
    void startServer(HTTPTimeouts timeouts = {},
                     std::size_t maxConnections = HTTPServer::kDefaultMaxConnections,
                     HTTPServer::PeerTest isOwnPeer = {}) {
        server_ = std::make_unique<HTTPServer>(routing_, timeouts, maxConnections);
        server_->setPort(0);
        if (isOwnPeer) server_->setOwnPeerTest(std::move(isOwnPeer));
        ASSERT_TRUE(server_->start());
    }
    std::uint16_t port() const { return server_->port(); }

    HttpAnswer get(const std::string& target, const std::string& extra = "",
                   const std::string& method = "GET") {
        return testing::ask(port(), method + " " + target + " HTTP/1.1\r\nHost: x\r\n" + extra + "\r\n");
    }

    testing::TempDir dir_;
    FolderRouting routing_{dir_.path()};
    std::unique_ptr<HTTPServer> server_;
};

TEST(HttpFields, RangesParseAgainstTheBodySizeOrAreIgnoredAndFileNamesAreQuoted) {
    using Ranges = std::vector<ByteRange>;
    const std::pair<const char*, Ranges> accepted[] = {
        {"bytes=0-0", {{0, 1}}},       {"bytes=-500", {{500, 500}}},
        {"bytes=900-", {{900, 100}}},  {"bytes=5", {{5, 1}}},
        {"BYTES = 10-19", {{10, 10}}}, {"bytes= 7-8junk", {{7, 2}}},
        {"bytes=x-5", {{995, 5}}},     {"bytes=500-599,0-99", {{0, 100}, {500, 100}}}};
    for (const auto& [field, expected] : accepted) EXPECT_EQ(parseRangeField(field, 1000), expected) << field;
    EXPECT_EQ(parseRangeField("bytes=-3", 5ULL << 30), (Ranges{{(5ULL << 30) - 3, 3}}));
    for (const char* field :
         {"bytes=0-10,5-20", "items=0-10", "bytes=1000-", "bytes=5-4", "bytes=0-1000", "bytes=-1001",
          "bytes=-", "bytes=", "bytes=0-1,", "bytes=-0", "bytes", "bytes=99999999999999999999-"})
        EXPECT_EQ(parseRangeField(field, 1000), std::nullopt) << field;
    // The file name is quoted safely, with an encoded copy when needed.
    const std::pair<const char*, const char*> names[] = {
        {"100% it's (mine).vcv", R"(attachment; filename="100% it's (mine).vcv")"},
        {R"(a"b\c.vcv)", R"(attachment; filename="a\"b\\c.vcv"; filename*=UTF-8''a%22b%5Cc.vcv)"},
        {"B\xC3\xA0i h\xC3\xA1t.vcv",
         R"(attachment; filename="B_i h_t.vcv"; filename*=UTF-8''B%C3%A0i%20h%C3%A1t.vcv)"},
        {"a\r\nX: y\t\x7F'.vcv",
         R"(attachment; filename="a__X: y__'.vcv"; filename*=UTF-8''a%0D%0AX%3A%20y%09%7F%27.vcv)"}};
    for (const auto& [name, value] : names) EXPECT_EQ(contentDisposition(name), value) << name;
    // The player's own peers are loopback ones, as a dual-stack listener may see them too.
    const std::pair<const char*, bool> peers[] = {
        {"127.0.0.1", true},        {"127.200.0.9", true}, {"::1", true},
        {"::ffff:127.0.0.1", true}, {"192.0.2.2", false},  {"::ffff:192.0.2.2", false},
        {"128.0.0.1", false},       {"::2", false},        {"fe80::1", false}};
    for (const auto& [peer, own] : peers)
        EXPECT_EQ(isLoopbackPeer(asio::ip::make_address(peer)), own) << peer;
}

TEST_F(HttpServerTest, RangesHeadAndFieldsOfAnAnswerAndABusyPort) {
    const std::string file = patternBytes(1000);
    dir_.write("clip.mp4", file);
    dir_.write("empty.bin", "");
    startServer();

    const HttpAnswer first = get("/clip.mp4", "Range: bytes=500-599,0-99\r\n");
    ASSERT_EQ(first.status, 206);
    const std::string type = first.field("content-type").value_or(""),
                      boundary = type.substr(type.find('=') + 1);
    ASSERT_EQ(type, "multipart/byteranges; boundary=" + boundary);
    EXPECT_NE(get("/clip.mp4", "Range: bytes=500-599,0-99\r\n").field("content-type"), type)
        << "every answer gets a fresh boundary";
    const std::string expected = "\r\n--" + boundary + "\r\nContent-Range: bytes 0-99/1000\r\n\r\n" +
                                 file.substr(0, 100) + "\r\n--" + boundary +
                                 "\r\nContent-Range: bytes 500-599/1000\r\n\r\n" + file.substr(500, 100) +
                                 "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(first.body, expected);
    EXPECT_EQ(first.field("content-length"), std::to_string(expected.size()));

    HttpAnswer head = get("/clip.mp4", "Range: bytes=10-19\r\n", "HEAD"),
               full = get("/clip.mp4", "Range: bytes=10-19\r\n");
    EXPECT_EQ(head.statusLine, "HTTP/1.1 206 Partial Content");
    EXPECT_EQ(full.body, file.substr(10, 10));
    EXPECT_TRUE(std::regex_match(head.field("date").value_or(""),
                                 std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
                                            "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 2[0-9]{3} "
                                            "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] GMT")));
    head.fields.erase("date");
    full.fields.erase("date");
    EXPECT_EQ(head.fields, full.fields);
    const HttpAnswer empty = get("/empty.bin");
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.field("content-length"), "0");
    // A folder is not served; a link is, under the name of the file it points to.
    std::filesystem::create_directory(dir_ / "folder");
    std::filesystem::create_symlink(dir_ / "clip.mp4", dir_ / "link");
    EXPECT_EQ(get("/folder").status, 404);
    EXPECT_EQ(get("/link").field("content-disposition"), "attachment; filename=\"clip.mp4\"");

    // Both listen with address reuse, but two listeners on one port are still refused.
    HTTPServer second(routing_);
    second.setPort(port());
    EXPECT_FALSE(second.start());
    RawClient client(port());
    ASSERT_TRUE(eventually([&] { return server_->connectionCount() == 1; }));
    server_->stop();
    EXPECT_TRUE(client.waitClosed());
}

TEST_F(HttpServerTest, RequestsAreAnsweredConnectionsKeptOrClosedByTheirRulesAndHostileClientsDropped) {
    dir_.write("f.bin", "hello");
    startServer(HTTPTimeouts{500ms, 500ms, 1500ms});

    std::string fields;
    for (int i = 0; i < 99; ++i) fields += "X-Field-" + std::to_string(i) + ": v\r\n";
    const std::string getFile = "GET /f.bin HTTP/1.1\r\n", longField = "X-Long: ";
    // The request, the status (0: closed without an answer), a "Connection: close" field, kept.
    const std::tuple<std::string, int, bool, bool> cases[] = {
        {getFile + "\r\n", 200, false, true},
        {getFile + "Connection: close\r\n\r\n", 200, false, false},
        {getFile + "Connection: CLOSE\r\n\r\n", 200, false, false},
        {"GET /f.bin HTTP/1.0\r\n\r\n", 200, false, false},
        {"GET /f.bin HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", 200, false, true},
        {"GET /f.bin HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", 200, false, true},
        {getFile + "Content-Length: 0\r\n\r\n", 200, false, true},
        {"GET /missing HTTP/1.1\r\n\r\n", 404, false, true},
        {getFile + "Content-Length: 5\r\n\r\n", 400, true, false},
        {getFile + "Content-Length: abc\r\n\r\n", 400, true, false},
        {"NOT A REQUEST\r\n\r\n", 400, true, false},
        {getFile + "no colon here\r\n\r\n", 400, true, false},
        {getFile + " folded: x\r\n\r\n", 400, true, false},
        {"POST /f.bin HTTP/1.1\r\n\r\n", 400, true, false},
        {"POST /f.bin HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", 405, true, false},
        {"PUT /f.bin HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n", 405, true, false},
        {"DELETE /f.bin HTTP/1.1\r\n\r\n", 405, true, false},
        {"GET /f.bin HTTP/2.0\r\n\r\n", 505, false, false},
        // 100 lines before the blank one are read, and a line of 8190 bytes with its CRLF.
        {getFile + fields + "\r\n", 200, false, true},
        {getFile + fields + "X-Field-99: v\r\n\r\n", 0, false, false},
        {getFile + longField + std::string(8190 - longField.size() - 2, 'a') + "\r\n\r\n", 200, false, true},
        {getFile + longField + std::string(8190 - longField.size() - 1, 'a') + "\r\n\r\n", 0, false, false},
    };
    for (const auto& [request, status, closeField, kept] : cases) {
        SCOPED_TRACE(request.substr(0, 60));
        RawClient client(port());
        ASSERT_TRUE(client.send(request));
        if (status != 0) {
            const HttpAnswer answer = client.readAnswer().value_or(HttpAnswer{});
            EXPECT_EQ(answer.status, status);
            EXPECT_EQ(answer.field("content-length"), status == 200 ? "5" : "0");
            EXPECT_EQ(answer.field("accept-ranges"), "bytes");
            EXPECT_EQ(answer.field("connection"),
                      closeField ? std::optional<std::string>("close") : std::nullopt);
        }
        if (kept) {
            // Requests sent back to back are answered in order; a 404 keeps the connection too.
            ASSERT_TRUE(client.send(
                "GET /no HTTP/1.1\r\n\r\nHEAD /f.bin HTTP/1.1\r\n\r\nGET /f.bin HTTP/1.1\r\n\r\n"));
            EXPECT_EQ(client.readAnswer().value_or(HttpAnswer{}).status, 404);
            EXPECT_EQ(client.readAnswer(true).value_or(HttpAnswer{}).field("content-length"), "5");
            EXPECT_EQ(client.readAnswer().value_or(HttpAnswer{}).body, "hello");
        }
        // Closed after the answer, or once kept idle for the time-out.
        EXPECT_TRUE(client.waitClosed());
        EXPECT_EQ(client.unexpected(), "");
    }

    // Lines that each come in time but never end the head: the head as a whole is due.
    RawClient trickle(port());
    ASSERT_TRUE(trickle.send("GET /f.bin HTTP/1.1\r\n"));
    EXPECT_TRUE(
        eventually([&] { return !trickle.send("X-Trickle: yes\r\n") || trickle.waitClosed(200ms); }, 8s));

    EXPECT_EQ(get("/f.bin").body, "hello");
    EXPECT_TRUE(eventually([&] { return server_->connectionCount() == 0; }));
}

TEST_F(HttpServerTest, ConnectionsAreCappedTheServerRecoversAndThePlayersOwnClientIsAlwaysServed) {
    dir_.write("f.bin", "hello");
    startServer(HTTPTimeouts{5s, 5s}, 256);

    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 400; ++i) idle.push_back(std::make_unique<RawClient>(port()));
    ASSERT_TRUE(eventually([&] { return server_->connectionCount() == 256; }));
    // At the cap each newcomer takes the place of the connection idle the longest.
    EXPECT_TRUE(idle.front()->waitClosed(500ms));
    EXPECT_EQ(idle.front()->unexpected(), "");
    EXPECT_EQ(get("/f.bin").body, "hello");
    EXPECT_LE(server_->connectionCount(), 256u);

    // The idle ones time out; the server answers again while their sockets are still open.
    ASSERT_TRUE(eventually([&] { return server_->connectionCount() == 0; }));
    EXPECT_EQ(get("/f.bin").body, "hello");
    idle.clear();

    // Strangers (here 127.0.0.2) fill every place with big answers they stop reading. Another
    // stranger is refused, but the player's own client takes the place of the one that has sent
    // nothing for the longest; the others go on.
    const std::string file = patternBytes(24 * 1024 * 1024);
    dir_.write("big.bin", file);
    startServer({}, 3,
                [](const asio::ip::address& peer) { return peer == asio::ip::make_address("127.0.0.1"); });
    std::vector<std::unique_ptr<RawClient>> strangers;
    for (int i = 0; i < 3; ++i) {
        strangers.push_back(std::make_unique<RawClient>(port(), "127.0.0.2"));
        ASSERT_TRUE(strangers.back()->send("GET /big.bin HTTP/1.1\r\n\r\n"));
        ASSERT_TRUE(strangers.back()->readAnswer(true));
        std::this_thread::sleep_for(200ms);
    }
    RawClient refused(port(), "127.0.0.2");
    EXPECT_TRUE(refused.waitClosed());
    EXPECT_EQ(refused.unexpected(), "");
    EXPECT_EQ(get("/f.bin").body, "hello");
    EXPECT_LT(strangers[0]->read(file.size()).size(), file.size());
    EXPECT_TRUE(strangers[1]->read(file.size()) == file);
}

TEST_F(HttpServerTest, LargeBodiesEndOnlyWhenStalledSixtyFourBitOffsetsAndEndWithTheirClientOrFile) {
    const std::string file = patternBytes(24 * 1024 * 1024);
    const std::string path = dir_.write("big.bin", file);
    const std::chrono::milliseconds headTime(300), stallTime(1500);
    startServer(HTTPTimeouts{headTime, headTime, 10000ms, stallTime});

    // Larger than the socket buffers, to a client that reads in spurts, pausing past every head
    // time-out and reading for longer than the stall time in all: all of it.
    RawClient slow(port());
    slow.setReceiveBuffer(256 * 1024);
    ASSERT_TRUE(slow.send("GET /big.bin HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(slow.readAnswer(true).value_or(HttpAnswer{}).status, 200);
    EXPECT_EQ(get("/big.bin", "Range: bytes=-4\r\n").body, file.substr(file.size() - 4));
    std::string received;
    const std::size_t spurt = file.size() / 6;
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(stallTime / 3);
        received += slow.read(spurt);
    }
    EXPECT_TRUE(received == file);

    // A client that reads nothing for the stall time is closed; the rest of its answer is lost.
    RawClient stalled(port());
    ASSERT_TRUE(stalled.send("GET /big.bin HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(stalled.readAnswer(true).value_or(HttpAnswer{}).status, 200);
    EXPECT_TRUE(eventually([&] { return server_->connectionCount() == 0; }));
    EXPECT_LT(stalled.read(file.size()).size(), file.size());

    // Closing after an answer, with the client's next bytes still unread, lets it read all of it.
    for (const std::string& next : {std::string(9000, 'a'), std::string("GET /big.bin HTTP/1.0\r\n\r\n")}) {
        SCOPED_TRACE(next.substr(0, 20));
        RawClient client(port());
        ASSERT_TRUE(client.send(next[0] == 'a' ? "GET /big.bin HTTP/1.1\r\n\r\n" : next));
        std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(client.send(next));
        EXPECT_TRUE(client.readAnswer().value_or(HttpAnswer{}).body == file) << "the answer was cut off";
        EXPECT_TRUE(client.waitClosed());
        EXPECT_EQ(client.unexpected(), "");
    }

    // The server is still writing when the peer is gone: that ends the connection, never the process.
    for (const std::string range : {"", "Range: bytes=1000-\r\n", "Range: bytes=0-99,200000-\r\n"})
        for (int i = 0; i < 4; ++i) {
            RawClient leaving(port());
            ASSERT_TRUE(leaving.send("GET /big.bin HTTP/1.1\r\n" + range + "\r\n"));
            EXPECT_EQ(leaving.read(65536).size(), 65536u);
        }
    EXPECT_TRUE(eventually([&] { return server_->connectionCount() == 0; }));

    // Past 4 GiB, offsets are 64-bit.
    const std::string hugePath = dir_.write("huge.bin", ""), size = std::to_string(5ULL << 30);
    const std::uint64_t markerAt = (4ULL << 30) + 123;
    std::filesystem::resize_file(hugePath, 5ULL << 30);
    std::fstream(hugePath, std::ios::in | std::ios::out | std::ios::binary).seekp(markerAt) << "MARKER";

    EXPECT_EQ(get("/huge.bin", "", "HEAD").field("content-length"), size);
    const std::string range = std::to_string(markerAt) + "-" + std::to_string(markerAt + 5);
    const HttpAnswer marker = get("/huge.bin", "Range: bytes=" + range + "\r\n");
    EXPECT_EQ(marker.status, 206);
    EXPECT_EQ(marker.body, "MARKER");
    EXPECT_EQ(marker.field("content-range"), "bytes " + range + "/" + size);

    // The file shrinks while it is sent: the answer stops short and the connection closes.
    RawClient cut(port());
    ASSERT_TRUE(cut.send("GET /big.bin HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(cut.readAnswer(true).value_or(HttpAnswer{}).field("content-length"),
              std::to_string(file.size()));
    std::filesystem::resize_file(path, 1024 * 1024);
    EXPECT_LT(cut.read(file.size()).size(), file.size());
    EXPECT_TRUE(cut.waitClosed());
    EXPECT_EQ(get("/big.bin", "Range: bytes=0-3\r\n").body, file.substr(0, 4));
}

TEST(MediaService, TargetsNameAClipByTheirEndOrElseOnlyTheCurrentSong) {
    const std::string folder = "/tmp/clips", intro = folder + "/intro.mp4", idle = folder + "/idle.mp4",
                      root = "/srv/Karaoke/";
    // Thirteen songs "Song 10-Singer" to "Song 22-Singer", their ids following the numbers.
    const auto song = [&](int id) {
        return root + "NhacMoi/Song " + std::to_string(id + 10) + "-Singer.vcv";
    };
    std::vector<Song> found;
    for (int id = 0; id < 13; ++id) found.push_back(*songFromPath(root, song(id).substr(root.size())));
    SongManager songs;
    songs.addAll(std::make_shared<const Catalogue>(buildCatalogue(std::move(found))));
    MediaServiceRouting routing(songs, folder, "intro.mp4", "idle.mp4");
    // A target ending with a clip's name is that clip; else its digits, slashes dropped, must name the
    // current song. So a query makes it song 0, "../" names song 0 at most, 13 is past the catalogue.
    const std::tuple<std::int32_t, std::string, std::optional<std::string>> cases[] = {
        {-1, "/intro.mp4", intro},
        {3, "/any/longer/path/intro.mp4", intro},
        {3, "/idle.mp4", idle},
        {-1, "/../../../../etc/intro.mp4", intro},
        {12, "/12", song(12)},
        {12, "/1/2", song(12)},
        {12, "//12xyz", song(12)},
        {12, "/11", std::nullopt},
        {-1, "/12", std::nullopt},
        {-1, "/-1", std::nullopt},
        {13, "/13", std::nullopt},
        {0, "/intro.mp4?start=1", song(0)},
        {0, "/../../../../etc/passwd", song(0)}};
    for (const auto& [current, target, path] : cases) {
        songs.setCurrentSongId(current);
        EXPECT_EQ(routing.filePathForURI(target), path) << current << " " << target;
    }
}

}  // namespace
}  // namespace vocalis
