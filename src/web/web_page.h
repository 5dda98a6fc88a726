#pragma once

#include <string_view>

namespace vocalis {

// A file of the browser page, built into the program.
struct WebAsset {
    std::string_view path;  // as requested, "/" for the page itself
    std::string_view contentType;
    std::string_view bytes;
};

// The file for a request path, or nullptr.
const WebAsset* findWebAsset(std::string_view path);

}  // namespace vocalis
