#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

namespace vocalis::testing {

// A page's live connection: the state texts the player sends on /api/events. (Beast lives in
// its own file, away from standalone Asio.)
class EventClient {
  public:
    explicit EventClient(std::uint16_t port);
    ~EventClient();
    // The next state sent, or none within the time.
    std::optional<nlohmann::json> next(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The first state sent from now on that passes the test, skipping older ones.
    template <typename Test>
    std::optional<nlohmann::json> until(Test test) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            auto state = next(std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()));
            if (!state) return std::nullopt;
            if (test(*state)) return state;
        }
        return std::nullopt;
    }

  private:
    struct Socket;
    std::unique_ptr<Socket> socket_;
};

}  // namespace vocalis::testing
