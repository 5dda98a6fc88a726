#pragma once

#include <functional>
#include <string_view>

#include "app/guest_records.h"
#include "web/web_server.h"

namespace vocalis {

// A guest's own records on the page: GET /api/history (the songs a name sang, or everyone's),
// GET /api/favourites and POST /api/favourites (a star on or off, no PIN: it is the guest's
// own), and GET /api/scores (the night's best measured scores). Without a store every route
// answers 503, which tells the page to hide them.
class GuestRoutes {
  public:
    static constexpr std::size_t kPageEntries = 50;
    static constexpr std::size_t kMaxPageEntries = 200;
    static constexpr std::size_t kMaxNameBytes = 200;
    static constexpr std::size_t kBestScores = 10;

    explicit GuestRoutes(GuestRecords* records) : records_(records) {}

    static bool serves(std::string_view path) {
        return path == "/api/history" || path == "/api/favourites" || path == "/api/scores";
    }
    void handle(const WebRequest& request, std::string_view path, std::string_view query,
                std::function<void(WebReply)> reply);

  private:
    GuestRecords* records_;
};

}  // namespace vocalis
