#include "catalogue/search_index.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {

void appendKey(std::string& bytes, std::string_view key) {
    bytes.append(key);
    bytes.push_back('\0');
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::memcmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// The next occurrence of `needle` (at least two bytes) in [at, end), or nullptr. Compares the
// needle's first and last bytes sixteen positions at a time and checks only the candidates
// where both match: the keys are mostly the same few letters, which defeats memchr and the
// tables that memmem builds on every call.
const char* findNext(const char* at, const char* end, std::string_view needle) {
    const std::size_t length = needle.size();
    if (static_cast<std::size_t>(end - at) < length) return nullptr;
    const char* const lastStart = end - length;  // the last position an occurrence can start at
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    while (at + 16 <= lastStart + 1) {
        const __m128i blockFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i blockLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + length - 1));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(first, blockFirst), _mm_cmpeq_epi8(last, blockLast))));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            if (std::memcmp(at + bit + 1, needle.data() + 1, length - 2) == 0) return at + bit;
            mask &= mask - 1;
        }
        at += 16;
    }
#endif
    for (; at <= lastStart; ++at)
        if (*at == needle.front() && std::memcmp(at + 1, needle.data() + 1, length - 1) == 0) return at;
    return nullptr;
}

constexpr std::uint8_t kNone = 0xFF;

// Exact title, exact initials, initials prefix, title prefix (0 ... 3), or kNone, for a keyword
// of two units or more.
std::uint8_t leadingGroup(std::string_view name, std::string_view initials, std::string_view keyword) {
    // Every group here needs the title, and so its initials, to start like the keyword.
    if (name.empty() || name.front() != keyword.front()) return kNone;
    if (name == keyword) return 0;
    if (initials == keyword) return 1;
    if (startsWith(initials, keyword)) return 2;
    if (startsWith(name, keyword)) return 3;
    return kNone;
}

}  // namespace

SearchIndex::SearchIndex(const std::vector<Song>& songs) {
    std::size_t size = 0;
    for (const Song& song : songs)
        size += song.titleSearchNoSpace().size() + song.titleShortcut().size() +
                song.singerShortcut().size() + song.singerSearchNoSpace().size() + 4;
    bytes_.reserve(size);
    entries_.reserve(songs.size());
    for (const Song& song : songs) {
        entries_.push_back({static_cast<std::uint32_t>(bytes_.size()),
                            static_cast<std::uint32_t>(song.titleSearchNoSpace().size()),
                            static_cast<std::uint32_t>(song.titleShortcut().size())});
        appendKey(bytes_, song.titleSearchNoSpace());
        appendKey(bytes_, song.titleShortcut());
        appendKey(bytes_, song.singerShortcut());
        appendKey(bytes_, song.singerSearchNoSpace());
    }
}

std::vector<std::uint32_t> SearchIndex::search(std::string_view keyword) const {
    std::vector<std::uint32_t> result;
    const auto count = static_cast<std::uint32_t>(entries_.size());
    if (keyword.empty()) {
        result.resize(count);
        for (std::uint32_t i = 0; i < count; ++i) result[i] = i;
        return result;
    }
    if (keyword.find('\0') != std::string_view::npos) return result;  // no key holds one
    if (utf16Length(keyword) == 1) {
        // A folded title has no leading space, so it starts with the same character as
        // its spaceless form.
        for (std::uint32_t i = 0; i < count; ++i)
            if (startsWith(title(entries_[i]), keyword)) result.push_back(i);
        return result;
    }

    std::vector<std::uint8_t> group(count, kNone);
    std::array<std::uint32_t, 5> sizes{};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t g = leadingGroup(title(entries_[i]), shortcut(entries_[i]), keyword);
        if (g != kNone) {
            group[i] = g;
            ++sizes[g];
        }
    }
    // Anywhere: one pass of memmem over all keys; a hit counts for the song whose keys hold
    // it, and the search goes on at the next song.
    const char* const begin = bytes_.data();
    const char* const end = begin + bytes_.size();
    const char* at = begin;
    std::uint32_t song = 0;
    while (at < end) {
        const char* hit = findNext(at, end, keyword);
        if (!hit) break;
        const auto offset = static_cast<std::uint32_t>(hit - begin);
        // Songs are laid out in order, so the owner is found by walking forward.
        while (song + 1 < count && entries_[song + 1].offset <= offset) ++song;
        if (group[song] == kNone) {
            group[song] = 4;
            ++sizes[4];
        }
        if (song + 1 >= count) break;
        at = begin + entries_[song + 1].offset;
    }

    std::array<std::size_t, 5> next{};
    for (std::size_t g = 1; g < 5; ++g) next[g] = next[g - 1] + sizes[g - 1];
    result.resize(next[4] + sizes[4]);
    for (std::uint32_t i = 0; i < count; ++i)
        if (group[i] != kNone) result[next[group[i]]++] = i;
    return result;
}

bool SearchIndex::holds(std::uint32_t song, std::string_view keyword) const {
    const char* const begin = bytes_.data() + entries_[song].offset;
    const char* const end =
        bytes_.data() + (song + 1 < entries_.size() ? entries_[song + 1].offset : bytes_.size());
    return findNext(begin, end, keyword) != nullptr;
}

std::vector<std::uint32_t> SearchIndex::search(std::string_view keyword,
                                               std::span<const std::uint32_t> within) const {
    if (keyword.find('\0') != std::string_view::npos || utf16Length(keyword) < 2) return search(keyword);
    std::vector<std::uint32_t> songs(within.begin(), within.end());
    std::sort(songs.begin(), songs.end());  // each group in catalogue order
    std::array<std::vector<std::uint32_t>, 5> groups;
    for (const std::uint32_t song : songs) {
        if (song >= entries_.size()) continue;
        std::uint8_t g = leadingGroup(title(entries_[song]), shortcut(entries_[song]), keyword);
        if (g == kNone && holds(song, keyword)) g = 4;
        if (g != kNone) groups[g].push_back(song);
    }
    std::vector<std::uint32_t> result;
    for (const auto& group : groups) result.insert(result.end(), group.begin(), group.end());
    return result;
}

}  // namespace vocalis
