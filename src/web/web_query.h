#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vocalis {

// A request's query as a form encodes it (%XX escapes, '+' for a space), decoded.
std::map<std::string, std::string> parseQuery(std::string_view query);

// A whole non-negative decimal number, or none.
std::optional<std::int64_t> readCount(std::string_view text);

}  // namespace vocalis
