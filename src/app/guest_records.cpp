#include "app/guest_records.h"

#include "store/store_writer.h"

namespace vocalis {

GuestRecords::GuestRecords(StoreWriter& writer, const SongManager& songs,
                           std::function<std::vector<std::string>()> songFolders)
    : writer_(writer), songs_(songs), songFolders_(std::move(songFolders)) {}

std::shared_ptr<const GuestRecords::Finder> GuestRecords::finder() {
    auto catalogue = songs_.catalogue();
    std::lock_guard lock(mutex_);
    if (!finder_ || finder_->catalogue != catalogue) {
        auto folders = songFolders_ ? songFolders_() : std::vector<std::string>{};
        SongMatcher matcher(catalogue, folders);
        finder_ = std::make_shared<const Finder>(Finder{catalogue, std::move(folders), std::move(matcher)});
    }
    return finder_;
}

std::vector<GuestSong> GuestRecords::found(const Finder& finder, const std::vector<SongIdentity>& songs) {
    std::vector<GuestSong> out;
    out.reserve(songs.size());
    for (const SongIdentity& song : songs) out.push_back({finder.matcher.find(song), song});
    return out;
}

StoreResult<std::vector<GuestHistoryEntry>> GuestRecords::found(StoreResult<std::vector<HistoryEntry>> rows) {
    if (!rows.value) return {std::nullopt, rows.error};
    const auto songs = finder();
    std::vector<GuestHistoryEntry> out;
    out.reserve(rows.value->size());
    for (HistoryEntry& row : *rows.value)
        out.push_back({songs->matcher.find(row.start.song), std::move(row)});
    return {std::move(out), {}};
}

void GuestRecords::history(std::optional<std::string> name, std::size_t limit,
                           Answer<std::vector<GuestHistoryEntry>> done) {
    writer_.run(
        [this, name = std::move(name), limit](Store& store) { return found(store.history(name, limit)); },
        std::move(done));
}

void GuestRecords::bestScores(WallTime since, std::size_t limit,
                              Answer<std::vector<GuestHistoryEntry>> done) {
    writer_.run([this, since, limit](Store& store) { return found(store.bestScores(since, limit)); },
                std::move(done));
}

void GuestRecords::favourites(std::string name, Answer<std::vector<GuestSong>> done) {
    writer_.run(
        [this, name = std::move(name)](Store& store) -> StoreResult<std::vector<GuestSong>> {
            auto songs = store.favourites(name);
            if (!songs.value) return {std::nullopt, songs.error};
            return {found(*finder(), *songs.value), {}};
        },
        std::move(done));
}

bool GuestRecords::setFavourite(std::string name, std::int32_t id, bool on,
                                Answer<std::vector<GuestSong>> done) {
    const auto songs = finder();
    if (id < 0 || static_cast<std::size_t>(id) >= songs->catalogue->songs.size()) return false;
    const SongIdentity song =
        songIdentity(songs->catalogue->songs[static_cast<std::size_t>(id)], songs->folders);
    writer_.run(
        [this, name = std::move(name), id, on, song](Store& store) -> StoreResult<std::vector<GuestSong>> {
            auto stored = store.favourites(name);
            if (!stored.value) return {std::nullopt, stored.error};
            const auto finder = this->finder();
            auto list = found(*finder, *stored.value);
            // Unmarking removes whatever the id was stored as (its path may have changed since).
            WriteError error;
            if (on) {
                error = store.addFavourite(name, song);
            } else {
                for (const GuestSong& each : list)
                    if (each.id == id && !error) error = store.removeFavourite(name, each.song);
            }
            if (error) return {std::nullopt, *error};
            auto after = store.favourites(name);
            if (!after.value) return {std::nullopt, after.error};
            return {found(*finder, *after.value), {}};
        },
        std::move(done));
    return true;
}

}  // namespace vocalis
