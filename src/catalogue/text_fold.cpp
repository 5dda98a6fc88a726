#include "catalogue/text_fold.h"

#include <utf8proc.h>

#include <array>
#include <cstdlib>
#include <memory>

#include "catalogue/unicode_text.h"

namespace vocalis {

namespace {

utf8proc_int32_t lowerAndPlainD(utf8proc_int32_t cp, void*) {
    cp = utf8proc_tolower(cp);
    // Neither letter has a canonical decomposition, so mapping them before decomposing
    // gives the same result as mapping after recomposing.
    return (cp == 0x0111 || cp == 0x00F0) ? 'd' : cp;
}

std::string foldWithUtf8proc(std::string_view text) {
    utf8proc_uint8_t* out = nullptr;
    const auto length = utf8proc_map_custom(
        reinterpret_cast<const utf8proc_uint8_t*>(text.data()), static_cast<utf8proc_ssize_t>(text.size()),
        &out, static_cast<utf8proc_option_t>(UTF8PROC_COMPOSE | UTF8PROC_STRIPMARK), lowerAndPlainD, nullptr);
    if (length < 0) return std::string(text);  // only on invalid input, which callers never pass
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(out, &std::free);
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length));
}

// Below U+1100 (and in Latin Extended Additional) no two characters that survive mark
// stripping compose with each other, so folding one code point at a time is exact there.
// That covers Vietnamese in composed and decomposed form and makes the scan fast.
constexpr char32_t kTableEnd = 0x1100;
constexpr char32_t kExtraBegin = 0x1E00, kExtraEnd = 0x1F00;

struct FoldEntry {
    std::array<char, 7> bytes{};
    unsigned char length = 0;
    bool known = false;
};

class FoldTable {
  public:
    FoldTable() {
        for (char32_t cp = 0; cp < kTableEnd; ++cp) fill(cp, entries_[cp]);
        for (char32_t cp = kExtraBegin; cp < kExtraEnd; ++cp) fill(cp, extra_[cp - kExtraBegin]);
    }
    // The fold of one code point, or nullptr when it is not in the table.
    const FoldEntry* find(char32_t cp) const {
        if (cp < kTableEnd) return &entries_[cp];
        if (cp >= kExtraBegin && cp < kExtraEnd) return &extra_[cp - kExtraBegin];
        return nullptr;
    }

  private:
    static void fill(char32_t cp, FoldEntry& entry) {
        if (cp >= 0xD800 && cp <= 0xDFFF) return;
        std::string one;
        appendUtf8(one, cp);
        const std::string folded = foldWithUtf8proc(one);
        if (folded.size() > entry.bytes.size()) return;
        std::copy(folded.begin(), folded.end(), entry.bytes.begin());
        entry.length = static_cast<unsigned char>(folded.size());
        entry.known = true;
    }
    std::array<FoldEntry, kTableEnd> entries_{};
    std::array<FoldEntry, kExtraEnd - kExtraBegin> extra_{};
};

const FoldTable& foldTable() {
    static const FoldTable table;  // immutable once built
    return table;
}

}  // namespace

std::string foldText(std::string_view text) {
    std::string out;
    const FoldTable& table = foldTable();
    const bool tabled = mapLoweringAscii(text, out, [&table](std::string& to, std::string_view, char32_t cp) {
        const FoldEntry* entry = cp ? table.find(cp) : nullptr;
        if (!entry || !entry->known) return false;
        to.append(entry->bytes.data(), entry->length);
        return true;
    });
    return tabled ? out : foldWithUtf8proc(text);
}

SearchKeys makeSearchKeys(std::string_view text) {
    SearchKeys keys;
    const std::string folded = foldText(text);
    keys.search.reserve(folded.size());
    keys.noSpace.reserve(folded.size());
    // Byte by byte: a word's first character is every byte from its first one up to the
    // next character's lead byte.
    bool atWordStart = true;
    bool inShortcut = false;
    for (const char c : folded) {
        if (c == ' ') {
            if (!keys.search.empty() && keys.search.back() != ' ') keys.search.push_back(' ');
            atWordStart = true;
            continue;
        }
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            inShortcut = atWordStart;
            atWordStart = false;
        }
        keys.search.push_back(c);
        keys.noSpace.push_back(c);
        if (inShortcut) keys.shortcut.push_back(c);
    }
    return keys;
}

std::string removeAll(std::string_view text, char unwanted) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != unwanted) out.push_back(c);
    return out;
}

std::string foldKeyword(std::string_view text) { return removeAll(foldText(text), ' '); }

}  // namespace vocalis
