#include "catalogue/catalogue.h"

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <charconv>
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

Catalogue::Catalogue(Catalogue&& other) noexcept { *this = std::move(other); }

Catalogue& Catalogue::operator=(Catalogue&& other) noexcept {
    if (this == &other) return *this;
    const char* const oldText = other.text.data();
    songs = std::move(other.songs);
    text = std::move(other.text);
    paths_ = std::move(other.paths_);
    md5 = std::move(other.md5);
    // A short text keeps its bytes inside the string, so they may have moved.
    if (text.data() != oldText)
        for (Song& song : songs) song.moved(oldText, text.data());
    return *this;
}

Catalogue buildCatalogue(std::vector<Song> songs) { return Catalogue::build(songs, SongBytes(), false); }

Catalogue buildCatalogue(ScannedSongs scanned) {
    // The scanned records are freed with `scanned`: the songs then read the text.
    return Catalogue::build(scanned.songs, std::move(scanned.store.paths), true);
}

Catalogue Catalogue::build(std::vector<Song>& songs, SongBytes paths, bool pathsKept) {
    const std::vector<std::uint32_t> order = orderByTitle(songs);
    const auto count = static_cast<std::int32_t>(songs.size());
    Catalogue catalogue;
    catalogue.paths_ = std::move(paths);
    // The text is sized exactly first: the songs point into it as it is written.
    std::size_t textSize = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        char number[16];
        textSize += static_cast<std::size_t>(std::to_chars(number, number + sizeof number, i).ptr - number) +
                    1 + songs[static_cast<std::size_t>(i)].record().size() + (i + 1 < count ? 1 : 0);
    }
    catalogue.text.resize(textSize);
    catalogue.songs.reserve(songs.size());

    // A helper follows behind the writing, feeding the written text to the digest.
    std::atomic<std::size_t> written{0};
    Md5 md5;
    const char* const textBegin = catalogue.text.data();
    std::thread digester([&] {
        std::size_t digested = 0;
        while (digested < textSize) {
            const std::size_t ready = written.load(std::memory_order_acquire);
            if (ready - digested < (1u << 20) && ready < textSize) {
                std::this_thread::yield();
                continue;
            }
            md5.update(std::string_view(textBegin + digested, ready - digested));
            digested = ready;
        }
    });
    char* text = catalogue.text.data();
    for (std::int32_t i = 0; i < count; ++i) {
        Song& source = songs[order[static_cast<std::size_t>(i)]];
        text = std::to_chars(text, text + 16, i).ptr;
        *text++ = '\t';
        const std::string_view record = source.record();
        std::copy(record.begin(), record.end(), text);
        const char* path = source.path_;
        if (!pathsKept) {
            char* const copy = catalogue.paths_.take(source.pathSize_);
            std::copy_n(source.path_, source.pathSize_, copy);
            path = copy;
        }
        Song& song = catalogue.songs.emplace_back(source.placedAt(text, path));
        song.songId = i;
        text += record.size();
        if (i + 1 < count) *text++ = '\n';
        source = Song();  // its own buffer, if it has one, is not needed any more
        written.store(static_cast<std::size_t>(text - textBegin), std::memory_order_release);
    }
    digester.join();
    catalogue.md5 = md5.hex();
    return catalogue;
}

}  // namespace vocalis
