// vocalis-history: the songs sung, as CSV for the venue's books (royalty reports). It reads the
// store while the player runs, without taking the player's lock.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "store/history_csv.h"
#include "store/store.h"

namespace {

using namespace vocalis;
namespace chrono = std::chrono;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: vocalis-history [--data-dir DIR] export [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "  export   every song started from the first day to the last (local days, both included;\n"
    "           open-ended without them) as CSV on standard output, oldest first\n";

int usage(const std::string& problem) {
    std::cerr << "vocalis-history: " << problem << "\n" << kUsageText;
    return kUsage;
}

std::optional<unsigned> digits(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<chrono::year_month_day> parseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto year = digits(text.substr(0, 4)), month = digits(text.substr(5, 2)),
               day = digits(text.substr(8, 2));
    if (!year || !month || !day) return std::nullopt;
    const chrono::year_month_day date{chrono::year(static_cast<int>(*year)), chrono::month(*month),
                                      chrono::day(*day)};
    return date.ok() ? std::optional(date) : std::nullopt;
}

// The first moment of that day on the local clock (TZ), as the store keeps times.
WallTime startOfLocalDay(chrono::year_month_day date) {
    std::tm parts{};
    parts.tm_year = static_cast<int>(date.year()) - 1900;
    parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    parts.tm_isdst = -1;  // whatever daylight saving time says on that day
    return chrono::time_point_cast<chrono::milliseconds>(
        chrono::system_clock::from_time_t(std::mktime(&parts)));
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> dataDir;
    std::optional<chrono::year_month_day> first, last;
    bool exportAsked = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsageText;
            return 0;
        }
        if (!exportAsked && arg == "export") {
            exportAsked = true;
            continue;
        }
        const bool known = exportAsked ? arg == "--from" || arg == "--to" : arg == "--data-dir";
        if (!known) return usage((arg.starts_with("-") ? "unknown option " : "unknown command ") + arg);
        if (i + 1 >= args.size()) return usage(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--data-dir") {
            dataDir = value;
            continue;
        }
        const auto day = parseDay(value);
        if (!day) return usage("not a day (YYYY-MM-DD): " + value);
        (arg == "--from" ? first : last) = day;
    }
    if (!exportAsked) return usage("no command given");
    if (first && last && chrono::sys_days(*first) > chrono::sys_days(*last))
        return usage("--from is after --to");

    const WallTime from = first ? startOfLocalDay(*first) : WallTime::min();
    const WallTime to = last ? startOfLocalDay(chrono::sys_days(*last) + chrono::days(1)) : WallTime::max();

    StoreOpening opening = Store::openReadOnly(dataDir.value_or(defaultDataFolder()));
    if (!opening.store) {
        std::cerr << "vocalis-history: " << opening.detail << "\n";
        return kFailure;
    }
    const auto rows = opening.store->historyBetween(from, to);
    if (!rows.value) {
        std::cerr << "vocalis-history: cannot read the history: " << rows.error << "\n";
        return kFailure;
    }
    const std::string csv = historyCsv(*rows.value);
    if (std::fwrite(csv.data(), 1, csv.size(), stdout) != csv.size() || std::fflush(stdout) != 0) {
        std::cerr << "vocalis-history: cannot write the export\n";
        return kFailure;
    }
    return 0;
}
