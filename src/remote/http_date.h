#pragma once

#include <ctime>
#include <string>

namespace vocalis {

// "Sat, 05 Dec 2026 12:00:00 GMT": English names, GMT, as every HTTP date field is written.
std::string httpDate(std::time_t time);
std::string httpDateNow();

}  // namespace vocalis
