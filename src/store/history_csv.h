#pragma once

#include <string>
#include <vector>

#include "store/store_types.h"

namespace vocalis {

// The history rows as CSV (RFC 4180: CRLF line ends, fields with a comma, quote or line break
// quoted): one header line, then one line per song start in the order given; times in ISO 8601,
// UTC. A name, title or singer that a spreadsheet would take for a formula gets a leading
// apostrophe: guests type names on their phones.
std::string historyCsv(const std::vector<HistoryEntry>& entries);

// A time as history shows it: ISO 8601 in UTC to the second, "2026-12-08T20:15:00Z".
std::string isoTime(WallTime time);

}  // namespace vocalis
