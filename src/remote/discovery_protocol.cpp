#include "remote/discovery_protocol.h"

#include "catalogue/unicode_text.h"
#include "remote/wire_protocol.h"

namespace vocalis::discovery {

namespace {

bool isValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8(text, pos, codePoint);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

}  // namespace

bool isProbe(std::string_view payload) { return payload.starts_with(kProbePrefix) && isValidUtf8(payload); }

std::string reply(std::string_view deviceName) {
    std::string out(kPlayerName);
    out += ';';
    out += deviceName;
    out += ';';
    out += std::to_string(wire::kNumber23);
    return out;
}

}  // namespace vocalis::discovery
