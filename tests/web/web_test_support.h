#pragma once

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/engine_harness.h"
#include "support/socket_client.h"
#include "web/event_client.h"
#include "web/web_remote.h"

namespace vocalis::testing {

// The engine with its browser remote on a loopback port.
struct WebFixture {
    explicit WebFixture(std::vector<std::string> songs, std::string pin = {}) : h(std::move(songs)) {
        web = std::make_unique<WebRemote>(h.clock, h.songs, *h.engine,
                                          WebRemoteConfig{0, std::move(pin), 6768, true});
    }
    ~WebFixture() { web.reset(); }

    void start() {
        h.launchToFirstSong();
        std::string error;
        ASSERT_TRUE(web->start(&error)) << error;
        // Past the lock of the idle clip's start, so that songs added start at once.
        h.clock.advance(Millis(2500));
    }

    // One request on its own connection, answered while the engine's thread runs.
    HttpAnswer call(const std::string& method, const std::string& target, const std::string& body = {},
                    const std::string& pin = {}) {
        std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (!pin.empty()) request += "X-Vocalis-Pin: " + pin + "\r\n";
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        auto answer = std::async(std::launch::async, [port = web->port(), request] {
            RawClient client(port);
            std::optional<HttpAnswer> got;
            if (client.send(request)) got = client.readAnswer();
            return got.value_or(HttpAnswer{});
        });
        EXPECT_TRUE(
            h.settle([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return answer.get();
    }
    nlohmann::json state(const HttpAnswer& answer) {
        auto parsed = nlohmann::json::parse(answer.body, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << answer.body;
        return parsed;
    }

    EngineHarness h;
    std::unique_ptr<WebRemote> web;
};

}  // namespace vocalis::testing
