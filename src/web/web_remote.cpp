#include "web/web_remote.h"

#include <map>

#include "base/log.h"
#include "base/settings_keys.h"
#include "catalogue/text_fold.h"
#include "web/web_page.h"
#include "web/web_query.h"

namespace vocalis {

namespace {

std::string errorBody(std::string_view text) { return nlohmann::json{{"error", text}}.dump(); }

WebReply error(unsigned status) {
    static const std::map<unsigned, std::string_view> texts{
        {400, "malformed request"},
        {401, "PIN needed"},
        {404, "not found"},
        {405, "method not allowed"},
        {409, "already queued"},
        {413, "too large"},
        // Shown to the guest as it is: the page has no words of its own for it.
        {503, "Máy hát đang khởi động, thử lại sau giây lát."}};
    const auto found = texts.find(status);
    return {status, "application/json; charset=utf-8",
            errorBody(found == texts.end() ? "error" : found->second)};
}

WebReply json(std::string body) { return {200, "application/json; charset=utf-8", std::move(body)}; }

bool isPicture(const std::string& bytes) {
    const auto starts = [&](std::string_view signature) { return bytes.starts_with(signature); };
    return starts("\xFF\xD8\xFF") || starts("\x89PNG\r\n\x1A\n");
}

std::optional<nlohmann::json> parseObject(const std::string& body) {
    auto value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded() || !value.is_object()) return std::nullopt;
    return value;
}

// A key in semitones from a body's "key"; none when it is not a whole number in range.
std::optional<std::int32_t> readKey(const nlohmann::json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    const auto key = value.get<std::int64_t>();
    if (key < kLowestKey || key > kHighestKey) return std::nullopt;
    return static_cast<std::int32_t>(key);
}

}  // namespace

WebRemote::WebRemote(Scheduler& mainThread, SongManager& songs, EngineControl& engine, WebRemoteConfig config)
    : mainThread_(mainThread), songs_(songs), engine_(engine), config_(std::move(config)) {}

WebRemote::~WebRemote() { stop(); }

bool WebRemote::start(std::string* error) {
    playing_ = engine_.isPlaying();
    refresh();
    if (!listening_) {
        engine_.addListener(this);
        listening_ = true;
    }
    if (!server_.start(config_.port, error, config_.loopbackOnly)) return false;
    logParts("Web remote on port ", server_.port(), pin().empty() ? "" : " with a PIN");
    return true;
}

void WebRemote::stop() {
    server_.stop();
    if (listening_) engine_.removeListener(this);
    listening_ = false;
}

void WebRemote::playStateChanged(bool playing) {
    playing_ = playing;
    refresh();
}

void WebRemote::audioTrackChanged(std::int32_t track) {
    track_ = track;
    refresh();
}

void WebRemote::currentSongChanged(std::int32_t songId) {
    if (songId != timesFor_) {
        timesFor_ = songId;
        positionMs_.reset();
        lengthMs_.reset();
    }
    refresh();
}

void WebRemote::songLengthKnown(std::int32_t songId, std::int64_t milliseconds) {
    if (songId != timesFor_) return;
    lengthMs_ = milliseconds;
    refresh();
}

// Pages are not sent the position as it moves: they read it with the state, a second old at most.
// Only the position changes in what they read: a change not yet announced stays out of it.
void WebRemote::playTimeChanged(std::int64_t milliseconds) {
    const bool newSecond = !positionMs_ || *positionMs_ / 1000 != milliseconds / 1000;
    positionMs_ = milliseconds;
    if (!newSecond || !songs_.getSong(timesFor_)) return;
    auto next = std::make_shared<const WebSnapshot>(withPosition(*snapshot(), milliseconds));
    std::lock_guard lock(mutex_);
    snapshot_ = std::move(next);
}

void WebRemote::refresh() {
    auto next = std::make_shared<const WebSnapshot>(
        makeWebSnapshot(songs_, engine_, {playing_, track_, positionMs_, lengthMs_, score_}));
    {
        std::lock_guard lock(mutex_);
        if (snapshot_ && snapshot_->state == next->state) return;
        snapshot_ = next;
    }
    server_.broadcast(next->state);
}

std::shared_ptr<const WebSnapshot> WebRemote::snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

std::string WebRemote::pin() const {
    if (config_.pin || !config_.settings) return config_.pin.value_or("");
    return config_.settings->stringForKey(KEY_WEB_PIN).value_or("");
}

std::string WebRemote::currentEvent() const { return snapshot()->state; }

std::size_t WebRemote::bodyLimit(const std::string&, const std::string& target) const {
    return target == "/api/picture" ? kPictureBytes : kTextBodyBytes;
}

void WebRemote::handle(WebRequest request, Reply reply) {
    const auto question = request.target.find('?');
    const std::string path = request.target.substr(0, question);
    const std::string_view query = question == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(request.target).substr(question + 1);
    if (GuestRoutes::serves(path)) return guests_.handle(request, path, query, std::move(reply));
    if (request.method == "POST") return handlePost(path, std::move(request), std::move(reply));
    if (request.method != "GET") return reply(error(405));
    if (path == "/api/state") return reply(json(snapshot()->state));
    if (path == "/api/songs") {
        const auto values = parseQuery(query);
        const auto number = [&](const char* key, std::int64_t fallback) -> std::optional<std::int64_t> {
            const auto found = values.find(key);
            return found == values.end() ? std::optional(fallback) : readCount(found->second);
        };
        const auto offset = number("offset", 0);
        const auto limit = number("limit", kPageSongs);
        if (!offset || !limit) return reply(error(400));
        const auto found = values.find("q");
        const auto result = searches_.search(songs_, foldKeyword(found == values.end() ? "" : found->second));
        const auto page = songPage(*result, static_cast<std::size_t>(*offset),
                                   std::min<std::size_t>(static_cast<std::size_t>(*limit), kMaxPageSongs),
                                   snapshot()->queued);
        return reply(json(page.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
    }
    if (const WebAsset* asset = findWebAsset(path)) {
        std::string body(asset->bytes);
        // The page finds the thumbnails on the thumbnail service's own port.
        if (const auto at = body.find("%THUMBNAIL_PORT%"); at != std::string::npos)
            body.replace(at, 16, std::to_string(config_.thumbnailPort));
        return reply({200, std::string(asset->contentType), std::move(body)});
    }
    reply(error(404));
}

void WebRemote::handlePost(const std::string& path, WebRequest request, Reply reply) {
    // Adding a song at the end, with its name and key, is every guest's; the rest (a key changed
    // later included: it may be someone else's song) is the operator's when a PIN is set.
    const std::string operatorPin = pin();
    const bool pinOk = operatorPin.empty() || request.pin == operatorPin;
    const auto issue = [this](Command command) {
        return [this, command = std::move(command)]() -> unsigned {
            engine_.issue(command, CommandSource::Phone);
            return 0;
        };
    };

    if (path == "/api/queue") {
        auto body = parseObject(request.body);
        if (!body || !body->contains("id") || !(*body)["id"].is_number_integer()) return reply(error(400));
        const auto idValue = (*body)["id"].get<std::int64_t>();
        const auto first = body->value("first", nlohmann::json(false));
        const auto name = body->value("name", nlohmann::json(nullptr));
        const auto key = readKey(body->value("key", nlohmann::json(0)));
        if (!first.is_boolean() || !(name.is_null() || name.is_string()) || !key) return reply(error(400));
        if (first.get<bool>() && !pinOk) return reply(error(401));
        if (idValue < 0 || idValue > INT32_MAX) return reply(error(404));
        const auto songId = static_cast<std::int32_t>(idValue);
        const bool isFirst = first.get<bool>();
        std::string text = name.is_string() ? name.get<std::string>() : std::string();
        return runStep(
            [this, songId, isFirst, text = std::move(text), key = *key]() -> unsigned {
                const Song* song = songs_.getSong(songId);
                if (!song) return 404;
                if (songs_.queueContains(*song) || songs_.currentSongId() == songId) return 409;
                engine_.issue(Command::addSong(songId, isFirst, text, key), CommandSource::Phone);
                return 0;
            },
            std::move(reply));
    }
    if (!pinOk) return reply(error(401));

    if (path == "/api/queue/clear") return runStep(issue({CommandKind::ClearQueue}), std::move(reply));
    if (path.starts_with("/api/queue/")) {
        const std::string_view rest = std::string_view(path).substr(11);
        const auto slash = rest.find('/');
        const auto position = readCount(rest.substr(0, slash));
        const std::string_view action = slash == std::string_view::npos ? "" : rest.substr(slash + 1);
        static const std::map<std::string_view, CommandKind> actions{
            {"remove", CommandKind::RemoveWaiting},
            {"up", CommandKind::MoveWaitingUp},
            {"first", CommandKind::MoveWaitingFirst}};
        const auto found = actions.find(action);
        if (!position || (found == actions.end() && action != "key") || *position > INT32_MAX)
            return reply(error(404));
        const auto p = static_cast<std::int32_t>(*position);
        if (action == "key") {
            const auto body = parseObject(request.body);
            const auto key = body ? readKey(body->value("key", nlohmann::json(nullptr))) : std::nullopt;
            if (!key) return reply(error(400));
            return runStep(
                [this, p, key = *key]() -> unsigned {
                    if (p >= songs_.getQueueCount() - 1) return 404;
                    engine_.issue(Command::setKey(songs_.getQueueSong(p + 1)->songId, key),
                                  CommandSource::Phone);
                    return 0;
                },
                std::move(reply));
        }
        const CommandKind kind = found->second;
        return runStep(
            [this, p, kind]() -> unsigned {
                if (p >= songs_.getQueueCount() - 1) return 404;
                engine_.issue({kind, p}, CommandSource::Phone);
                return 0;
            },
            std::move(reply));
    }
    if (path.starts_with("/api/player/")) {
        static const std::map<std::string_view, CommandKind> actions{
            {"play", CommandKind::Play},
            {"pause", CommandKind::Pause},
            {"next", CommandKind::Next},
            {"replay", CommandKind::Replay},
            {"track", CommandKind::SwitchTrack},
            {"volume-up", CommandKind::VolumeUp},
            {"volume-down", CommandKind::VolumeDown}};
        const auto found = actions.find(std::string_view(path).substr(12));
        if (found == actions.end()) return reply(error(404));
        return runStep(issue({found->second}), std::move(reply));
    }
    if (path == "/api/current/key") {
        const auto body = parseObject(request.body);
        const auto key = body ? readKey(body->value("key", nlohmann::json(nullptr))) : std::nullopt;
        if (!key) return reply(error(400));
        return runStep(
            [this, key = *key]() -> unsigned {
                // A clip has no key to change.
                const std::int32_t current = songs_.currentSongId();
                if (!songs_.getSong(current)) return 404;
                engine_.issue(Command::setKey(current, key), CommandSource::Phone);
                return 0;
            },
            std::move(reply));
    }
    if (path == "/api/settings") {
        const auto body = parseObject(request.body);
        if (!body || !body->contains("fairTurns") || !(*body)["fairTurns"].is_boolean())
            return reply(error(400));
        return runStep(issue({CommandKind::FairTurns, (*body)["fairTurns"].get<bool>() ? 1 : 0}),
                       std::move(reply));
    }
    if (path == "/api/message") {
        const auto body = parseObject(request.body);
        if (!body || !body->contains("text") || !(*body)["text"].is_string()) return reply(error(400));
        return runStep(issue(Command::message((*body)["text"].get<std::string>())), std::move(reply));
    }
    if (path == "/api/picture") {
        if (!isPicture(request.body)) return reply(error(400));
        std::vector<std::uint8_t> bytes(request.body.begin(), request.body.end());
        return runStep(issue(Command::showPicture(std::move(bytes))), std::move(reply));
    }
    reply(error(path.starts_with("/api/") ? 404 : 405));
}

// The check runs on the engine's thread; the answer is made after the command it issued has
// run there too (commands run in the order they were posted) and its change was announced.
void WebRemote::runStep(Step step, Reply reply) {
    std::weak_ptr<bool> alive = alive_;
    mainThread_.post([this, alive, step = std::move(step), reply = std::move(reply)]() mutable {
        if (alive.expired()) return;
        // The engine would drop the command: the guest hears so instead of a state without it.
        if (!engine_.takesGuestCommands()) return reply(error(503));
        if (const unsigned status = step(); status != 0) return reply(error(status));
        // The command has run; its news, and so this answer, waits until its change is on disk.
        mainThread_.post([this, alive, reply = std::move(reply)]() mutable {
            if (alive.expired()) return;
            engine_.afterNews([this, alive, reply = std::move(reply)] {
                if (alive.expired()) return;
                refresh();
                reply(json(snapshot()->state));
            });
        });
    });
}

}  // namespace vocalis
