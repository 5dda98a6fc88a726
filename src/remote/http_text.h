#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vocalis {

// Reads an unsigned decimal number the way strtoull does in base 10: leading white space
// is skipped and reading stops at the first character that is not a digit. No digits, or
// a value past 64 bits, gives none.
std::optional<std::uint64_t> readUnsignedDecimal(std::string_view text);

// Reads a leading signed integer like atoi: white space, an optional sign, digits up to
// the first other character; 0 when there are none. Values past 32 bits are clamped.
std::int64_t readLeadingInteger(std::string_view text);

// The string without every '/' in it.
std::string removeSlashes(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string_view trimWhiteSpace(std::string_view text);

}  // namespace vocalis
