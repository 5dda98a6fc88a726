#include "app/equalizer_text.h"

#include <charconv>
#include <cmath>

namespace vocalis {

namespace {

double leadingNumber(const std::string& token) {
    std::size_t start = 0;
    while (start < token.size() && (token[start] == ' ' || token[start] == '\t')) ++start;
    if (start < token.size() && token[start] == '+') ++start;
    double value = 0;
    const auto result = std::from_chars(token.data() + start, token.data() + token.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return value;
}

void appendOneDecimal(std::string& out, double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    out.append(buffer, result.ptr);
}

}  // namespace

EqualizerValues parseEqualizer(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = text.find(' ', start);
        tokens.push_back(text.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    EqualizerValues values;
    values.preAmplification = leadingNumber(tokens[0]);
    for (std::size_t i = 1; i < tokens.size() && i <= 10; ++i)
        values.bands.push_back(static_cast<float>(leadingNumber(tokens[i])));
    return values;
}

std::string formatEqualizer(double preAmplification, const std::vector<float>& bands) {
    std::string text;
    appendOneDecimal(text, preAmplification);
    text.push_back(' ');
    for (std::size_t i = 0; i < bands.size(); ++i) {
        appendOneDecimal(text, bands[i]);
        if (i + 1 < bands.size()) text.push_back(' ');
    }
    return text;
}

}  // namespace vocalis
