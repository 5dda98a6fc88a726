#include "web/guest_routes.h"

#include <nlohmann/json.hpp>

#include "store/history_csv.h"
#include "web/web_query.h"

namespace vocalis {

namespace {

using nlohmann::json;
using Reply = std::function<void(WebReply)>;

WebReply answer(unsigned status, const json& body) {
    return {status, "application/json; charset=utf-8",
            body.dump(-1, ' ', false, json::error_handler_t::replace)};
}

WebReply error(unsigned status) {
    switch (status) {
        case 400:
            return answer(status, {{"error", "malformed request"}});
        case 404:
            return answer(status, {{"error", "not found"}});
        case 405:
            return answer(status, {{"error", "method not allowed"}});
        default:
            // Shown to the guest as it is, like the player's other words for a problem.
            return answer(503, {{"error", "Máy hát hiện không lưu được bài đã hát và bài yêu thích."}});
    }
}

json idOrNull(const std::optional<std::int32_t>& id) { return id ? json(*id) : json(nullptr); }

template <typename T>
json orNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json historyJson(const std::vector<GuestHistoryEntry>& rows) {
    json songs = json::array();
    for (const auto& [id, entry] : rows) {
        const SongStart& start = entry.start;
        songs.push_back({{"id", idOrNull(id)},
                         {"title", start.song.title},
                         {"singer", start.song.singer},
                         {"name", orNull(start.name)},
                         {"key", start.key},
                         {"started", isoTime(start.started)},
                         {"ended", entry.ended ? json(isoTime(*entry.ended)) : json(nullptr)},
                         {"end", entry.ending ? json(endingName(*entry.ending)) : json(nullptr)},
                         {"score", entry.score ? json(entry.score->value) : json(nullptr)},
                         {"measured", entry.score ? json(entry.score->measured) : json(nullptr)}});
    }
    return {{"songs", std::move(songs)}};
}

json scoresJson(const std::vector<GuestHistoryEntry>& rows) {
    json scores = json::array();
    for (const auto& [id, entry] : rows)
        scores.push_back({{"name", orNull(entry.start.name)},
                          {"title", entry.start.song.title},
                          {"singer", entry.start.song.singer},
                          {"value", entry.score ? entry.score->value : 0},
                          {"time", isoTime(entry.ended.value_or(entry.start.started))}});
    return {{"scores", std::move(scores)}};
}

json favouritesJson(const std::vector<GuestSong>& list) {
    json songs = json::array();
    for (const auto& [id, song] : list)
        songs.push_back({{"id", idOrNull(id)}, {"title", song.title}, {"singer", song.singer}});
    return {{"songs", std::move(songs)}};
}

// The store's answer as JSON, or 503 when it could not read or write.
template <typename T, typename Shape>
std::function<void(StoreResult<T>)> replyWith(Reply reply, Shape shape) {
    return [reply = std::move(reply), shape](const StoreResult<T>& result) {
        reply(result.value ? answer(200, shape(*result.value)) : error(503));
    };
}

}  // namespace

void GuestRoutes::handle(const WebRequest& request, std::string_view path, std::string_view query,
                         Reply reply) {
    const bool post = request.method == "POST";
    if (request.method != "GET" && !(post && path == "/api/favourites")) return reply(error(405));
    if (!records_) return reply(error(503));
    if (path == "/api/history") {
        const auto values = parseQuery(query);
        std::optional<std::string> name;
        if (const auto found = values.find("name"); found != values.end()) name = found->second;
        std::optional<std::int64_t> limit = kPageEntries;
        if (const auto found = values.find("limit"); found != values.end()) limit = readCount(found->second);
        if (!limit) return reply(error(400));
        return records_->history(std::move(name), std::min<std::size_t>(*limit, kMaxPageEntries),
                                 replyWith<std::vector<GuestHistoryEntry>>(std::move(reply), historyJson));
    }
    if (path == "/api/scores") {
        // Without a time, the last twelve hours: a night.
        const auto values = parseQuery(query);
        std::optional<WallTime> since = std::chrono::time_point_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now() - std::chrono::hours(12));
        if (const auto found = values.find("since"); found != values.end())
            since = readIsoTime(found->second);
        if (!since) return reply(error(400));
        return records_->bestScores(*since, kBestScores,
                                    replyWith<std::vector<GuestHistoryEntry>>(std::move(reply), scoresJson));
    }
    if (!post) {
        const auto values = parseQuery(query);
        const auto name = values.find("name");
        if (name == values.end() || name->second.empty()) return reply(error(400));
        return records_->favourites(name->second,
                                    replyWith<std::vector<GuestSong>>(std::move(reply), favouritesJson));
    }
    const auto body = json::parse(request.body, nullptr, false);
    // A name is a person's, not a page of text: each star is kept with it.
    if (!body.is_object() || !body.contains("name") || !body["name"].is_string() ||
        body["name"].get<std::string>().empty() || body["name"].get<std::string>().size() > kMaxNameBytes ||
        !body.contains("id") || !body["id"].is_number_integer() || !body.contains("on") ||
        !body["on"].is_boolean())
        return reply(error(400));
    const auto id = body["id"].get<std::int64_t>();
    if (id < 0 || id > INT32_MAX) return reply(error(404));
    if (!records_->setFavourite(body["name"].get<std::string>(), static_cast<std::int32_t>(id),
                                body["on"].get<bool>(),
                                replyWith<std::vector<GuestSong>>(reply, favouritesJson)))
        reply(error(404));
}

}  // namespace vocalis
