#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "catalogue/song_manager.h"

namespace vocalis {

// Recent search results by folded keyword, for the catalogue they were made over: guests'
// phones type the same first letters again and again, and a keyword typed one letter further
// narrows its prefix's result. A new catalogue empties it; the least
// recently used results go once their positions and keywords pass the byte budget. Safe
// from any thread.
class SearchCache {
  public:
    using Result = std::shared_ptr<const SongManager::SearchResult>;

    explicit SearchCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // The songs' search for a folded keyword, from the cache when it holds it.
    Result search(const SongManager& songs, std::string_view keyword);

    std::size_t bytes() const;

  private:
    struct Entry {
        std::string keyword;
        Result result;
    };
    // What an entry holds, its list and map nodes counted roughly.
    static std::size_t cost(const Entry& entry) {
        return 128 + entry.keyword.size() + entry.result->positions.size() * sizeof(std::uint32_t);
    }

    // The cached result of the longest prefix of two units or more; called under the lock.
    Result longestPrefixResult(std::string_view keyword) const;

    const std::size_t budget_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Catalogue> catalogue_;  // what the entries were made over
    std::list<Entry> recent_;                     // most recently used first
    std::unordered_map<std::string_view, std::list<Entry>::iterator> byKeyword_;
    std::size_t bytes_ = 0;
};

}  // namespace vocalis
