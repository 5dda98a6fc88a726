#include "catalogue/song_manager.h"

#include <algorithm>
#include <map>

#include "catalogue/text_fold.h"
#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

const std::shared_ptr<const Catalogue>& emptyCatalogue() {
    static const auto empty = std::make_shared<const Catalogue>();
    return empty;
}

}  // namespace

SongManager& SongManager::getInstance() {
    static SongManager instance;
    return instance;
}

bool SongManager::addAll(std::shared_ptr<const Catalogue> catalogue) {
    if (!catalogue) return false;
    auto current = catalogue_.load(std::memory_order_acquire);
    if (current && !current->songs.empty()) return false;
    owned_ = catalogue;
    indexed_.store(std::make_shared<const Indexed>(Indexed{catalogue, SearchIndex(catalogue->songs)}),
                   std::memory_order_release);
    inQueue_.assign(catalogue->songs.size(), false);
    catalogue_.store(std::move(catalogue), std::memory_order_release);
    return true;
}

std::shared_ptr<const Catalogue> SongManager::catalogue() const {
    auto current = catalogue_.load(std::memory_order_acquire);
    return current ? current : emptyCatalogue();
}

std::int32_t SongManager::getCount() const { return static_cast<std::int32_t>(catalogue()->songs.size()); }

const Song* SongManager::getSong(std::int32_t songId) const {
    // Safe to hand out: a published catalogue is never replaced while the manager lives.
    auto current = catalogue_.load(std::memory_order_acquire);
    if (!current || songId < 0 || static_cast<std::size_t>(songId) >= current->songs.size()) return nullptr;
    return &current->songs[static_cast<std::size_t>(songId)];
}

// ---------------------------------------------------------------------------- search

void SongManager::filter(std::string_view keyword) {
    filteredSongs_.clear();
    const SearchResult result = search(keyword);
    filteredSongs_.reserve(result.positions.size());
    for (const std::uint32_t position : result.positions)
        filteredSongs_.push_back(&result.catalogue->songs[position]);
}

SongManager::SearchResult SongManager::search(std::string_view keyword) const {
    const auto indexed = indexed_.load(std::memory_order_acquire);
    if (!indexed) return {catalogue(), {}};
    return {indexed->catalogue, indexed->index.search(keyword)};
}

SongManager::SearchResult SongManager::search(std::string_view keyword, const SearchResult& wider) const {
    const auto indexed = indexed_.load(std::memory_order_acquire);
    if (!indexed) return {catalogue(), {}};
    if (wider.catalogue != indexed->catalogue) return {indexed->catalogue, indexed->index.search(keyword)};
    return {indexed->catalogue, indexed->index.search(keyword, wider.positions)};
}

const Song* SongManager::getFilteredSong(std::int32_t index) const {
    if (index < 0 || index >= getFilteredCount()) return nullptr;
    return filteredSongs_[static_cast<std::size_t>(index)];
}

void SongManager::filterRandom(std::int32_t randomType, const std::optional<std::string>& keyword) {
    randomSongs_.clear();
    if (!owned_) return;
    const auto& songs = owned_->songs;
    if (keyword && !keyword->empty()) {
        const std::string folded = foldText(*keyword);
        if (randomType == kRandomSinger) {
            const std::string part = removeAll(folded, ' ');
            for (const Song& song : songs)
                if (contains(lowerCase(song.singerSearchNoSpace()), part)) randomSongs_.push_back(&song);
        } else if (randomType == kRandomTitle) {
            const std::string part = removeAll(folded, ' ');
            for (const Song& song : songs)
                if (contains(lowerCase(song.titleSearchNoSpace()), part) ||
                    contains(song.titleShortcut(), part))
                    randomSongs_.push_back(&song);
        } else if (randomType == kRandomCategory) {
            const std::string part = "/" + removeAll(folded, '/') + "/";
            for (const Song& song : songs)
                if (contains(lowerCase(displayText(song.karaokeFile())), part)) randomSongs_.push_back(&song);
        }
    }
    if (randomSongs_.empty()) {
        randomSongs_.reserve(songs.size());
        for (const Song& song : songs) randomSongs_.push_back(&song);
    }
}

const Song* SongManager::getRandomSong() {
    if (randomSongs_.empty()) return nullptr;
    std::uniform_int_distribution<std::size_t> pick(0, randomSongs_.size() - 1);
    return randomSongs_[pick(random_)];
}

const Song* SongManager::getRandomPoolSong(std::int32_t index) const {
    if (index < 0 || index >= getRandomCount()) return nullptr;
    return randomSongs_[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------------------- queue

void SongManager::setInQueue(const Song& song, bool value) {
    const auto id = static_cast<std::size_t>(song.songId);
    if (song.songId >= 0 && id < inQueue_.size()) inQueue_[id] = value;
}

bool SongManager::isInQueue(const Song& song) const {
    const auto id = static_cast<std::size_t>(song.songId);
    return song.songId >= 0 && id < inQueue_.size() && inQueue_[id];
}

void SongManager::queueAdd(const Song& song) {
    setInQueue(song, true);
    queueSongs_.push_back(&song);
}

void SongManager::queuePriority(const Song& song) {
    setInQueue(song, true);
    if (queueSongs_.size() < 2)
        queueSongs_.push_back(&song);
    else
        queueSongs_.insert(queueSongs_.begin() + 1, &song);
}

void SongManager::queueInsert(std::int32_t index, const Song& song) {
    setInQueue(song, true);
    const std::int32_t lowest = queueSongs_.empty() ? 0 : 1;
    const std::int32_t at = std::clamp(index, lowest, std::max(lowest, getQueueCount()));
    queueSongs_.insert(queueSongs_.begin() + at, &song);
}

void SongManager::queueDelete(std::int32_t index) {
    if (index < 0 || index >= getQueueCount()) return;
    const Song* song = queueSongs_[static_cast<std::size_t>(index)];
    queueSongs_.erase(queueSongs_.begin() + index);
    if (!queueContains(*song)) setInQueue(*song, false);
}

void SongManager::moveFirst(std::int32_t index) {
    if (index < 2 || index >= getQueueCount()) return;
    const Song* song = queueSongs_[static_cast<std::size_t>(index)];
    queueSongs_.erase(queueSongs_.begin() + index);
    queueSongs_.insert(queueSongs_.begin() + 1, song);
}

void SongManager::swap(std::int32_t a, std::int32_t b) {
    const std::int32_t count = getQueueCount();
    if (a < 1 || a >= count || b < 1 || b >= count) return;
    std::swap(queueSongs_[static_cast<std::size_t>(a)], queueSongs_[static_cast<std::size_t>(b)]);
}

bool SongManager::queueContains(const Song& song) const {
    return std::find(queueSongs_.begin(), queueSongs_.end(), &song) != queueSongs_.end();
}

const Song* SongManager::getQueueSong(std::int32_t index) const {
    if (index < 0 || index >= getQueueCount()) return nullptr;
    return queueSongs_[static_cast<std::size_t>(index)];
}

namespace {
// The queue index of a waiting song, or nothing; computed without overflow for any position.
std::optional<std::int32_t> waitingIndex(std::int32_t position, std::int32_t count) {
    if (position < 0 || position >= count - 1) return std::nullopt;
    return position + 1;
}
}  // namespace

bool SongManager::removeWaiting(std::int32_t position) {
    const auto index = waitingIndex(position, getQueueCount());
    if (index) queueDelete(*index);
    return index.has_value();
}

bool SongManager::moveWaitingUp(std::int32_t position) {
    const auto index = waitingIndex(position, getQueueCount());
    if (!index || *index == 1) return false;
    swap(*index, *index - 1);
    return true;
}

bool SongManager::moveWaitingFirst(std::int32_t position) {
    const auto index = waitingIndex(position, getQueueCount());
    if (!index || *index == 1) return false;
    moveFirst(*index);
    return true;
}

std::int32_t fairTurnIndex(const std::vector<std::string>& names, const std::string& name) {
    const std::string guest = lowerCase(name);
    std::vector<std::string> guests;
    guests.reserve(names.size());
    for (const std::string& each : names) guests.push_back(lowerCase(each));
    const std::ptrdiff_t round = guest.empty() ? 1 : 1 + std::count(guests.begin(), guests.end(), guest);
    // The current song is never passed; in a queue the operator reordered, every song of this
    // round or a lower one still stays ahead of the new one.
    std::map<std::string, std::ptrdiff_t> sung;  // songs of each name up to here
    std::size_t index = std::min<std::size_t>(1, guests.size());
    for (std::size_t i = 0; i < guests.size(); ++i) {
        const std::ptrdiff_t roundHere = guests[i].empty() ? 1 : ++sung[guests[i]];
        if (i > 0 && roundHere <= round) index = i + 1;
    }
    return static_cast<std::int32_t>(index);
}

std::string SongManager::getQueueIdsString() const {
    std::string text;
    for (std::size_t i = 1; i < queueSongs_.size(); ++i) {
        if (i > 1) text.push_back(' ');
        text += std::to_string(queueSongs_[i]->songId);
    }
    return text;
}

}  // namespace vocalis
