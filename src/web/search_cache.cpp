#include "web/search_cache.h"

namespace vocalis {

SearchCache::Result SearchCache::search(const SongManager& songs, std::string_view keyword) {
    const auto catalogue = songs.catalogue();
    {
        std::lock_guard lock(mutex_);
        if (catalogue_ != catalogue) {
            byKeyword_.clear();
            recent_.clear();
            bytes_ = 0;
            catalogue_ = catalogue;
        }
        if (const auto found = byKeyword_.find(keyword); found != byKeyword_.end()) {
            recent_.splice(recent_.begin(), recent_, found->second);
            return found->second->result;
        }
    }
    // Searched outside the lock, so searches for other keywords run side by side.
    auto result = std::make_shared<const SongManager::SearchResult>(songs.search(keyword));
    // A catalogue published meanwhile: the answer is right, but not for the entries here.
    if (result->catalogue != catalogue) return result;

    std::lock_guard lock(mutex_);
    if (catalogue_ != catalogue || byKeyword_.contains(keyword)) return result;
    Entry entry{std::string(keyword), result};
    const std::size_t size = cost(entry);
    if (size > budget_) return result;
    while (bytes_ + size > budget_) {
        bytes_ -= cost(recent_.back());
        byKeyword_.erase(recent_.back().keyword);
        recent_.pop_back();
    }
    recent_.push_front(std::move(entry));
    byKeyword_.emplace(recent_.front().keyword, recent_.begin());
    bytes_ += size;
    return result;
}

std::size_t SearchCache::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

}  // namespace vocalis
