#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "remote/media_service.h"
#include "remote/media_service_fixture.h"
#include "support/run_program.h"
#include "support/socket_client.h"

namespace vocalis {
namespace {

using testing::findProgram;
using testing::MediaCatalogue;
using testing::patternBytes;
using testing::readFile;
using testing::runProgram;

// Count of non-overlapping occurrences.
int occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

class HttpClientsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        media_.dir.write("temp/intro.mp4", clip_);
        media_.dir.write("temp/idle.mp4", "idle");
        ASSERT_TRUE(service_.start(0));
        media_.songs.setCurrentSongId(1);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(service_.port()) + path;
    }

    const std::string clip_ = patternBytes(3 * 1024 * 1024 + 17);
    MediaCatalogue media_{{"zero", patternBytes(200000)}};
    LocalMediaService service_{media_.songs, media_.tempFolder, "intro.mp4", "idle.mp4"};
};

TEST_F(HttpClientsTest, CurlDownloadsRangesHeadsAndReusesConnections) {
    const std::string curl = findProgram("curl");
    const std::string out = media_.dir / "out";

    auto whole = runProgram(curl, {"-sS", "-f", "-o", out, url("/intro.mp4")});
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_TRUE(readFile(out) == clip_);

    auto range =
        runProgram(curl, {"-sS", "-f", "-r", "1000000-1000099", "-o", out, "-D", "-", url("/intro.mp4")});
    ASSERT_EQ(range.status, 0) << range.err;
    EXPECT_NE(range.out.find("HTTP/1.1 206 Partial Content"), std::string::npos);
    EXPECT_NE(range.out.find("Content-Range: bytes 1000000-1000099/" + std::to_string(clip_.size())),
              std::string::npos);
    EXPECT_EQ(readFile(out), clip_.substr(1000000, 100));

    auto multi = runProgram(curl, {"-sS", "-f", "-r", "0-9,20-29", url("/intro.mp4")});
    ASSERT_EQ(multi.status, 0) << multi.err;
    EXPECT_NE(multi.out.find("Content-Range: bytes 0-9/"), std::string::npos);
    EXPECT_NE(multi.out.find(clip_.substr(20, 10)), std::string::npos);

    auto head = runProgram(curl, {"-sS", "-f", "-I", url("/1")});
    ASSERT_EQ(head.status, 0) << head.err;
    EXPECT_NE(head.out.find("Content-Length: 200000"), std::string::npos);
    EXPECT_NE(head.out.find("Accept-Ranges: bytes"), std::string::npos);

    // HTTP/1.1: three downloads over one connection. HTTP/1.0: one connection each.
    auto reuse = runProgram(curl, {"-sS", "-f", "-v", "-o", out, "-o", out, "-o", out, url("/intro.mp4"),
                                   url("/1"), url("/idle.mp4")});
    ASSERT_EQ(reuse.status, 0) << reuse.err;
    EXPECT_EQ(occurrences(reuse.err, "Re-using existing connection"), 2) << reuse.err;
    EXPECT_EQ(readFile(out), "idle");
    auto old = runProgram(curl, {"-sS", "-f", "-v", "--http1.0", "-o", out, "-o", out, url("/1"), url("/1")});
    ASSERT_EQ(old.status, 0) << old.err;
    EXPECT_EQ(occurrences(old.err, "Re-using existing connection"), 0) << old.err;
    EXPECT_EQ(occurrences(old.err, "Connected to"), 2) << old.err;
    EXPECT_EQ(readFile(out), patternBytes(200000));

    auto missing = runProgram(curl, {"-sS", "-o", "/dev/null", "-w", "%{http_code}", url("/0")});
    EXPECT_EQ(missing.out, "404");
}

TEST_F(HttpClientsTest, ParallelCurlDownloadsShareTheConnectionQueue) {
    const std::string curl = findProgram("curl");
    std::vector<std::thread> downloads;
    std::vector<std::string> outputs;
    std::vector<int> statuses(6, -1);
    for (int i = 0; i < 6; ++i) outputs.push_back(media_.dir / ("parallel" + std::to_string(i)));
    for (int i = 0; i < 6; ++i) {
        downloads.emplace_back([&, i] {
            // Half of them ask for the second half by range, as a seeking player would.
            std::vector<std::string> args = {"-sS", "-f", "-o", outputs[static_cast<std::size_t>(i)]};
            if (i % 2) args.insert(args.end(), {"-r", std::to_string(clip_.size() / 2) + "-"});
            args.push_back(url("/intro.mp4"));
            statuses[static_cast<std::size_t>(i)] = runProgram(curl, args).status;
        });
    }
    for (auto& download : downloads) download.join();
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(statuses[static_cast<std::size_t>(i)], 0);
        const std::string expected = i % 2 ? clip_.substr(clip_.size() / 2) : clip_;
        EXPECT_TRUE(readFile(outputs[static_cast<std::size_t>(i)]) == expected);
    }
}

}  // namespace
}  // namespace vocalis
