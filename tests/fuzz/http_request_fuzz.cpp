// Request heads and Range fields from arbitrary bytes: accepted ranges are in the body, non-empty, apart.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "remote/http_range.h"
#include "remote/http_request.h"
#include "remote/http_text.h"

static void check(bool condition) {
    if (!condition) __builtin_trap();
}

static void checkRanges(std::string_view field, std::uint64_t total) {
    const auto ranges = vocalis::parseRangeField(field, total);
    if (!ranges) return;
    check(!ranges->empty());
    for (std::size_t i = 0; i < ranges->size(); ++i) {
        const auto& range = (*ranges)[i];
        check(range.length > 0);
        check(range.start < total && range.length <= total - range.start);
        if (i > 0) check((*ranges)[i - 1].last() < range.start);
        check(!vocalis::contentRangeText(range, total).empty());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;  // the first byte picks the body length the ranges are checked against
    static constexpr std::uint64_t kTotals[] = {0, 1, 2, 1000, 4294967296ULL + 7, UINT64_MAX};
    const std::uint64_t total = kTotals[data[0] % std::size(kTotals)];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    vocalis::HTTPRequest request;
    for (std::string_view rest = text; !rest.empty();) {
        const auto end = std::min(rest.find("\r\n"), rest.size());
        if (request.feedLine(rest.substr(0, end)) != vocalis::HTTPRequest::Feed::NeedMore) break;
        rest.remove_prefix(std::min(end + 2, rest.size()));
    }
    if (request.isComplete()) {
        check(!request.method().empty() && !request.uri().empty());
        check(request.version().rfind("HTTP/", 0) == 0);
        if (const auto range = request.header("Range")) checkRanges(*range, total);
        if (const auto length = request.header("Content-Length")) (void)vocalis::readUnsignedDecimal(*length);
        (void)vocalis::readLeadingInteger(vocalis::removeSlashes(request.uri()));
    }
    checkRanges(text, total);
    return 0;
}
