#include "remote/discovery_protocol.h"

#include <algorithm>

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

std::string describeForLog(std::string_view payload) {
    if (!isProbe(payload)) return "(not a probe, " + std::to_string(payload.size()) + " bytes)";
    std::size_t cut = std::min(payload.size(), kLoggedBytes);
    // Never half a character.
    while (cut < payload.size() && cut > 0 && (static_cast<unsigned char>(payload[cut]) & 0xC0) == 0x80)
        --cut;
    std::string out(payload.substr(0, cut));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    if (cut < payload.size()) out += "... (" + std::to_string(payload.size()) + " bytes)";
    return out;
}

std::string reply(std::string_view deviceName) {
    std::string out(kPlayerName);
    out += ';';
    out += deviceName;
    out += ';';
    out += std::to_string(wire::kNumber23);
    return out;
}

}  // namespace vocalis::discovery
