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

}  // namespace vocalis
