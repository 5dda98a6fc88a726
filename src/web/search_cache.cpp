#include "web/search_cache.h"

#include "catalogue/unicode_text.h"

namespace vocalis {

SearchCache::Result SearchCache::search(const SongManager& songs, std::string_view keyword) {
    const auto catalogue = songs.catalogue();
    Result wider;
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
        wider = longestPrefixResult(keyword);
    }
    // Searched outside the lock, so searches for other keywords run side by side.
    auto result = std::make_shared<const SongManager::SearchResult>(wider ? songs.search(keyword, *wider)
                                                                          : songs.search(keyword));
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

SearchCache::Result SearchCache::longestPrefixResult(std::string_view keyword) const {
    for (std::size_t length = keyword.empty() ? 0 : keyword.size() - 1; length > 0; --length) {
        // Cut between characters only; a prefix of one unit is searched by another rule.
        if ((static_cast<unsigned char>(keyword[length]) & 0xC0) == 0x80) continue;
        const std::string_view prefix = keyword.substr(0, length);
        if (utf16Length(prefix) < 2) break;
        if (const auto found = byKeyword_.find(prefix); found != byKeyword_.end())
            return found->second->result;
    }
    return nullptr;
}

std::size_t SearchCache::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

}  // namespace vocalis
