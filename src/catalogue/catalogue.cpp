#include "catalogue/catalogue.h"

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {

bool hasFourByteSequence(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0xF0) return true;
    return false;
}

// The first eight bytes of a key as a big-endian number: most comparisons end there,
// without touching the strings themselves.
std::uint64_t prefixOf(std::string_view text) {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return prefix;
}

// The order of the songs by titleSearch in UTF-16 order, equal keys in scan order. Plain
// byte order is UTF-16 order unless a key holds a character beyond U+FFFF, so the exact
// comparison is only paid for those keys.
std::vector<std::uint32_t> orderByTitle(const std::vector<Song>& songs) {
    struct Key {
        std::uint64_t prefix;
        std::string_view title;
        std::uint32_t index;
        bool supplementary;
    };
    std::vector<Key> keys;
    keys.reserve(songs.size());
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const std::string_view title = songs[i].titleSearch();
        keys.push_back({prefixOf(title), title, static_cast<std::uint32_t>(i), hasFourByteSequence(title)});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.supplementary || b.supplementary) return compareUtf16(a.title, b.title) < 0;
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return a.title < b.title;
    });
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Key& key : keys) order.push_back(key.index);
    return order;
}

class Md5 {
  public:
    Md5() : context_(EVP_MD_CTX_new()) {
        if (!context_ || EVP_DigestInit_ex(context_, EVP_md5(), nullptr) != 1)
            throw std::runtime_error("MD5 is not available");
    }
    ~Md5() { EVP_MD_CTX_free(context_); }
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;
    void update(std::string_view bytes) { EVP_DigestUpdate(context_, bytes.data(), bytes.size()); }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context_, digest, &length);
        return toHex(digest, length);
    }
    static std::string toHex(const unsigned char* digest, unsigned int length) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string out;
        out.reserve(length * 2);
        for (unsigned int i = 0; i < length; ++i) {
            out.push_back(kHex[digest[i] >> 4]);
            out.push_back(kHex[digest[i] & 0x0F]);
        }
        return out;
    }

  private:
    EVP_MD_CTX* context_;
};

}  // namespace

std::string md5Hex(std::string_view bytes) {
    Md5 md5;
    md5.update(bytes);
    return md5.hex();
}

Catalogue buildCatalogue(std::vector<Song> songs) {
    const std::vector<std::uint32_t> order = orderByTitle(songs);
    const auto count = static_cast<std::int32_t>(songs.size());
    Catalogue catalogue;
    catalogue.songs.reserve(songs.size());
    std::size_t textSize = 0;
    for (const Song& song : songs)
        textSize += 40 + song.title().size() * 3 + song.singer().size() * 3 + song.category().size();
    catalogue.text.reserve(textSize);

    // Two steps run side by side: this thread moves the songs into their order, a helper
    // follows behind writing each moved song's record and feeding the text to the digest.
    std::atomic<std::int32_t> moved{0};
    Md5 md5;
    const Song* const ordered = catalogue.songs.data();  // reserved: never moves
    std::thread writer([&] {
        std::size_t digested = 0;
        for (std::int32_t i = 0; i < count; ++i) {
            while (moved.load(std::memory_order_acquire) <= i) std::this_thread::yield();
            ordered[i].appendString(catalogue.text, count, i);
            if (catalogue.text.size() - digested >= (1u << 20)) {
                md5.update(std::string_view(catalogue.text).substr(digested));
                digested = catalogue.text.size();
            }
        }
        md5.update(std::string_view(catalogue.text).substr(digested));
    });
    for (std::int32_t i = 0; i < count; ++i) {
        Song& song = catalogue.songs.emplace_back(std::move(songs[order[static_cast<std::size_t>(i)]]));
        song.songId = i;
        moved.store(i + 1, std::memory_order_release);
    }
    writer.join();
    catalogue.md5 = md5.hex();
    return catalogue;
}

}  // namespace vocalis
