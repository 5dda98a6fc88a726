#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

namespace vocalis::testing {

// A page's live connection: the state texts the player sends on /api/events. (Beast lives in its own
// file, away from standalone Asio.)
class EventClient {
  public:
    explicit EventClient(std::uint16_t port);
    ~EventClient();
    // The first state sent from now on that passes the test (any, without one), skipping older ones;
    // none within 10 s.
    std::optional<nlohmann::json> until(const std::function<bool(const nlohmann::json&)>& test = {});

  private:
    struct Socket;
    std::unique_ptr<Socket> socket_;
};

}  // namespace vocalis::testing
