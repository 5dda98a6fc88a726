#include "remote/http_range.h"

#include <algorithm>

#include "remote/http_text.h"

namespace vocalis {

namespace {

std::optional<ByteRange> parseItem(std::string_view item, std::uint64_t total) {
    const auto dash = item.find('-');
    if (dash == std::string_view::npos) {
        // "a": the single byte a.
        const auto first = readUnsignedDecimal(item);
        if (!first || *first >= total) return std::nullopt;
        return ByteRange{*first, 1};
    }
    const auto first = readUnsignedDecimal(item.substr(0, dash));
    const auto last = readUnsignedDecimal(item.substr(dash + 1));
    if (first && last) {
        if (*last < *first || *last >= total) return std::nullopt;
        return ByteRange{*first, *last - *first + 1};
    }
    if (first) {
        if (*first >= total) return std::nullopt;
        return ByteRange{*first, total - *first};
    }
    if (last) {
        // A suffix of no bytes names nothing that could be sent; treat it as unparsable
        // rather than answering with an empty, self-contradicting range.
        if (*last > total || *last == 0) return std::nullopt;
        return ByteRange{total - *last, *last};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<ByteRange>> parseRangeField(std::string_view field, std::uint64_t total) {
    const auto equals = field.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    if (!equalsIgnoringCase(trimWhiteSpace(field.substr(0, equals)), "bytes")) return std::nullopt;
    std::string_view rest = field.substr(equals + 1);
    std::vector<ByteRange> ranges;
    for (;;) {
        const auto comma = rest.find(',');
        const auto range = parseItem(rest.substr(0, comma), total);
        if (!range) return std::nullopt;
        ranges.push_back(*range);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < ranges.size(); ++i)
        if (ranges[i].start <= ranges[i - 1].last()) return std::nullopt;
    return ranges;
}

std::string contentRangeText(const ByteRange& range, std::uint64_t total) {
    return "bytes " + std::to_string(range.start) + "-" + std::to_string(range.last()) + "/" +
           std::to_string(total);
}

}  // namespace vocalis
