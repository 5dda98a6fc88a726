#pragma once

#include <string>

namespace vocalis {

// A fresh random (version 4) UUID text, used as a multipart boundary.
std::string makeUUIDText();

}  // namespace vocalis
