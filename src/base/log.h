#pragma once

#include <sstream>
#include <string>
#include <string_view>

namespace vocalis {

// One plain line to the system log and to standard error.
void logLine(std::string_view line);

// Joins the pieces with operator<< and logs them as one line.
template <typename... Parts>
void logParts(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    logLine(out.str());
}

}  // namespace vocalis
