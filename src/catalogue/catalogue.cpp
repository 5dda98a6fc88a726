#include "catalogue/catalogue.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

#include "catalogue/unicode_text.h"

namespace vocalis {

std::string md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 is not available");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(kHex[digest[i] >> 4]);
        out.push_back(kHex[digest[i] & 0x0F]);
    }
    return out;
}

namespace {

bool hasFourByteSequence(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0xF0) return true;
    return false;
}

// Sorts by titleSearch in UTF-16 order, keeping equal keys in scan order. Plain byte order
// is UTF-16 order unless a key holds a character beyond U+FFFF, so the exact comparison is
// only paid for those keys. Songs are sorted by index and moved once.
std::vector<Song> sortedByTitle(std::vector<Song> songs) {
    struct Key {
        std::string_view title;
        bool supplementary;
        std::uint32_t index;
    };
    std::vector<Key> keys;
    keys.reserve(songs.size());
    for (std::size_t i = 0; i < songs.size(); ++i)
        keys.push_back({songs[i].titleSearch, hasFourByteSequence(songs[i].titleSearch),
                        static_cast<std::uint32_t>(i)});
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (!a.supplementary && !b.supplementary) return a.title < b.title;
        return compareUtf16(a.title, b.title) < 0;
    });
    std::vector<Song> sorted;
    sorted.reserve(songs.size());
    for (const Key& key : keys) sorted.push_back(std::move(songs[key.index]));
    return sorted;
}

}  // namespace

Catalogue buildCatalogue(std::vector<Song> songs) {
    songs = sortedByTitle(std::move(songs));
    Catalogue catalogue;
    const auto count = static_cast<std::int32_t>(songs.size());
    std::size_t textSize = 0;
    for (const Song& song : songs)
        textSize += 40 + song.title.size() * 3 + song.singer.size() * 3 + song.category.size();
    catalogue.text.reserve(textSize);
    for (std::int32_t i = 0; i < count; ++i) {
        songs[static_cast<std::size_t>(i)].songId = i;
        songs[static_cast<std::size_t>(i)].appendString(catalogue.text, count, i);
    }
    catalogue.md5 = md5Hex(catalogue.text);
    catalogue.songs = std::move(songs);
    return catalogue;
}

}  // namespace vocalis
