#include "catalogue/catalogue.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

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

Catalogue buildCatalogue(std::vector<Song> songs) {
    std::stable_sort(songs.begin(), songs.end(),
                     [](const Song& a, const Song& b) { return a.compare(b) < 0; });
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
