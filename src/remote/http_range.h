#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vocalis {

struct ByteRange {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    std::uint64_t last() const { return start + length - 1; }
    bool operator==(const ByteRange&) const = default;
};

// Parses a "Range" field against a body of `total` bytes. None when the field does not
// parse (the whole body is sent then); otherwise non-overlapping ranges sorted by start.
std::optional<std::vector<ByteRange>> parseRangeField(std::string_view field, std::uint64_t total);

// "bytes first-last/total", the value of "Content-Range" and of a part's range line.
std::string contentRangeText(const ByteRange& range, std::uint64_t total);

}  // namespace vocalis
