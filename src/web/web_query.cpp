#include "web/web_query.h"

#include <charconv>

namespace vocalis {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A query value as a form encodes it: %XX escapes and '+' for a space.
std::string decodeQueryValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::map<std::string, std::string> parseQuery(std::string_view query) {
    std::map<std::string, std::string> values;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const auto equals = pair.find('=');
        values[decodeQueryValue(pair.substr(0, equals))] =
            equals == std::string_view::npos ? std::string() : decodeQueryValue(pair.substr(equals + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return values;
}

std::optional<std::chrono::sys_time<std::chrono::milliseconds>> readIsoTime(std::string_view text) {
    using namespace std::chrono;
    // Fixed-width digits at `at`, or -1.
    const auto digits = [&](std::size_t at, std::size_t count) -> int {
        int value = 0;
        if (at + count > text.size()) return -1;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto is = [&](std::size_t at, char c) { return at < text.size() && text[at] == c; };
    const int year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
    const int hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || !is(4, '-') ||
        !is(7, '-') || !(is(10, 'T') || is(10, 't')) || !is(13, ':') || !is(16, ':') || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;
    const year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                              std::chrono::day(unsigned(day))};
    if (!date.ok()) return std::nullopt;
    std::size_t at = 19;
    milliseconds fraction{0};
    if (is(at, '.')) {
        int scale = 100;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
            fraction += milliseconds((text[at] - '0') * scale);
    }
    minutes offset{0};
    if (is(at, 'Z') || is(at, 'z')) {
        ++at;
    } else if (is(at, '+') || is(at, '-') || is(at, ' ')) {
        const int hours = digits(at + 1, 2), mins = digits(at + 4, 2);
        if (hours < 0 || mins < 0 || !is(at + 3, ':') || hours > 23 || mins > 59) return std::nullopt;
        offset = minutes(hours * 60 + mins) * (is(at, '-') ? -1 : 1);
        at += 6;
    }
    if (at != text.size()) return std::nullopt;
    return sys_days(date) + hours(hour) + minutes(minute) + seconds(second) + fraction - offset;
}

std::optional<std::int64_t> readCount(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || problem != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

}  // namespace vocalis
