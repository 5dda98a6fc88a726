#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/song.h"

namespace vocalis {

// The song search over a compact copy of the four keys it reads, so one key press scans a
// few megabytes of contiguous memory instead of chasing a dozen strings per song.
class SearchIndex {
  public:
    SearchIndex() = default;
    explicit SearchIndex(const std::vector<Song>& songs);

    // Positions of the matching songs in result order (keyword folded, without spaces):
    // empty keyword: every song; one UTF-16 unit: titles starting with it; otherwise exact
    // title, exact initials, initials prefix, title prefix, then anywhere in title, initials
    // or singer — each group in catalogue order.
    std::vector<std::uint32_t> search(std::string_view keyword) const;
    // The same answer, looking only at `within`: the result of a keyword of two UTF-16 units or
    // more that this one begins with. Every match of a longer keyword is a match of its prefix,
    // so a guest typing letter by letter narrows the last answer instead of the catalogue.
    std::vector<std::uint32_t> search(std::string_view keyword, std::span<const std::uint32_t> within) const;

  private:
    // Per song: titleSearchNoSpace, titleShortcut, singerShortcut, singerSearchNoSpace, each
    // followed by a NUL, which no key and no typed keyword contains.
    struct Entry {
        std::uint32_t offset;
        std::uint32_t titleLength;
        std::uint32_t shortcutLength;
    };
    std::string bytes_;
    std::vector<Entry> entries_;

    std::string_view title(const Entry& entry) const {
        return std::string_view(bytes_).substr(entry.offset, entry.titleLength);
    }
    // Whether one of the song's keys holds the keyword.
    bool holds(std::uint32_t song, std::string_view keyword) const;
    std::string_view shortcut(const Entry& entry) const {
        return std::string_view(bytes_).substr(entry.offset + entry.titleLength + 1, entry.shortcutLength);
    }
};

}  // namespace vocalis
