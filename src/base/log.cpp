#include "base/log.h"

#include <syslog.h>

#include <cstdio>
#include <mutex>

namespace vocalis {

namespace {
std::once_flag syslogOpened;
}  // namespace

void logLine(std::string_view line) {
    std::call_once(syslogOpened, [] { openlog("vocalis", LOG_PID, LOG_USER); });
    syslog(LOG_INFO, "%.*s", static_cast<int>(line.size()), line.data());
    std::string out(line);
    out.push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stderr);
}

}  // namespace vocalis
