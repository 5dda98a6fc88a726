#pragma once

#include <chrono>
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

// A time in ISO 8601, "2026-12-08T05:00:00Z": seconds with or without a fraction, then Z, an offset
// ("+07:00"; a '+' a query turned into a space counts as one) or nothing (UTC); or none.
std::optional<std::chrono::sys_time<std::chrono::milliseconds>> readIsoTime(std::string_view text);

}  // namespace vocalis
