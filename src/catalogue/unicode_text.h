#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vocalis {

// Decodes one UTF-8 sequence at `pos`. Returns its length and sets `codePoint`, or
// returns 0 for a malformed sequence (overlong, surrogate, beyond U+10FFFF, cut short).
std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint);
void appendUtf8(std::string& out, char32_t codePoint);

// File names are bytes: every malformed byte becomes U+FFFD, and tab, carriage return
// and line feed become spaces, so a name can never break a catalogue record.
std::string displayText(std::string_view raw);

// Trims white space (U+0020, tab and the other space separators) from both ends.
std::string trimWhiteSpace(std::string_view text);

// Number of UTF-16 code units of valid UTF-8 text.
std::size_t utf16Length(std::string_view text);

// Orders two valid UTF-8 strings by their UTF-16 code units.
int compareUtf16(std::string_view a, std::string_view b);

// Unicode lower case of valid UTF-8 text (locale independent).
std::string lowerCase(std::string_view text);

// Appends `text` to `out` with ASCII letters lowered in line, the common case, and every
// other sequence handed to `other(out, sequence, codePoint)`: the sequence's bytes, with
// codePoint 0 for a malformed byte. Stops and returns false as soon as `other` does.
template <typename Other>
bool mapLoweringAscii(std::string_view text, std::string& out, Other other) {
    out.reserve(out.size() + text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte));
            ++pos;
            continue;
        }
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8(text, pos, codePoint);
        if (!other(out, text.substr(pos, length ? length : 1), length ? codePoint : 0)) return false;
        pos += length ? length : 1;
    }
    return true;
}

}  // namespace vocalis
