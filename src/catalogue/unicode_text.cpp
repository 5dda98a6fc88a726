#include "catalogue/unicode_text.h"

#include <utf8proc.h>

#include <algorithm>

namespace vocalis {

std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string displayText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    // Bytes kept as they are are copied in runs; only a replaced byte ends a run.
    std::size_t run = 0;
    for (std::size_t pos = 0; pos < raw.size();) {
        const auto c = static_cast<unsigned char>(raw[pos]);
        if (c >= 0x80) {
            char32_t cp;
            if (const std::size_t length = decodeUtf8(raw, pos, cp)) {
                pos += length;
                continue;
            }
        } else if (c != '\t' && c != '\r' && c != '\n') {
            ++pos;
            continue;
        }
        out.append(raw.substr(run, pos - run));
        if (c >= 0x80)
            appendUtf8(out, 0xFFFD);
        else
            out.push_back(' ');
        run = ++pos;
    }
    out.append(raw.substr(run));
    return out;
}

namespace {

bool isWhiteSpace(char32_t cp) {
    return cp == ' ' || cp == '\t' || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) ||
           cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

}  // namespace

std::string trimWhiteSpace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        char32_t cp;
        const std::size_t length = decodeUtf8(text, begin, cp);
        if (length == 0 || !isWhiteSpace(cp)) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the last code point.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        char32_t cp;
        const std::size_t length = decodeUtf8(text, start, cp);
        if (length != end - start || !isWhiteSpace(cp)) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;  // one unit per code point...
        if ((byte & 0xF8) == 0xF0) ++units;  // ...and a second for a surrogate pair
    }
    return units;
}

int compareUtf16(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < common && a[i] == b[i]) ++i;
    if (i == common) return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
    // Back up to the start of the code point that differs; UTF-8 byte order is code point
    // order, which matches UTF-16 order except that surrogate pairs sort below U+E000.
    while (i > 0 && (static_cast<unsigned char>(a[i]) & 0xC0) == 0x80) --i;
    char32_t ca = 0, cb = 0;
    if (decodeUtf8(a, i, ca) == 0 || decodeUtf8(b, i, cb) == 0)
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
    const auto unit = [](char32_t cp) -> char32_t { return cp >= 0x10000 ? 0xD800 : cp; };
    const char32_t ua = unit(ca), ub = unit(cb);
    if (ua != ub) return ua < ub ? -1 : 1;
    return ca < cb ? -1 : (ca > cb ? 1 : 0);
}

std::string lowerCase(std::string_view text) {
    std::string out;
    mapLoweringAscii(text, out, [](std::string& to, std::string_view sequence, char32_t cp) {
        if (cp == 0)
            to.append(sequence);
        else
            appendUtf8(to, static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(cp))));
        return true;
    });
    return out;
}

}  // namespace vocalis
