#include "remote/http_request.h"

#include "remote/http_text.h"

namespace vocalis {

namespace {

bool isTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

bool isTargetChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7f;
}

// "HTTP/" digits "." digits; anything else is not an HTTP version at all.
bool isVersion(std::string_view text) {
    if (text.substr(0, 5) != "HTTP/") return false;
    text.remove_prefix(5);
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != dot && !(text[i] >= '0' && text[i] <= '9')) return false;
    return true;
}

}  // namespace

HTTPRequest::Feed HTTPRequest::reject() {
    rejected_ = true;
    return Feed::Rejected;
}

HTTPRequest::Feed HTTPRequest::feedLine(std::string_view line) {
    if (complete_ || rejected_) return Feed::Rejected;
    return haveRequestLine_ ? feedFieldLine(line) : feedRequestLine(line);
}

HTTPRequest::Feed HTTPRequest::feedRequestLine(std::string_view line) {
    // Empty lines before a request line are tolerated (some clients send one after a body).
    if (line.empty()) return Feed::NeedMore;
    const auto firstSpace = line.find(' ');
    if (firstSpace == std::string_view::npos) return reject();
    const auto secondSpace = line.find(' ', firstSpace + 1);
    if (secondSpace == std::string_view::npos) return reject();
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    const std::string_view version = line.substr(secondSpace + 1);
    if (!isToken(method) || target.empty() || !isVersion(version)) return reject();
    for (char c : target)
        if (!isTargetChar(c)) return reject();
    method_ = method;
    uri_ = target;
    version_ = version;
    haveRequestLine_ = true;
    return Feed::NeedMore;
}

HTTPRequest::Feed HTTPRequest::feedFieldLine(std::string_view line) {
    if (line.empty()) {
        complete_ = true;
        return Feed::Complete;
    }
    // Folded continuation lines are obsolete and a classic smuggling vector.
    if (line.front() == ' ' || line.front() == '\t') return reject();
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return reject();
    const std::string_view name = line.substr(0, colon);
    if (!isToken(name)) return reject();
    const std::string_view value = trimWhiteSpace(line.substr(colon + 1));
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) return reject();
    }
    fields_.emplace_back(std::string(name), std::string(value));
    return Feed::NeedMore;
}

std::optional<std::string> HTTPRequest::header(std::string_view name) const {
    std::optional<std::string> value;
    for (const auto& [fieldName, fieldValue] : fields_) {
        if (!equalsIgnoringCase(fieldName, name)) continue;
        if (value)
            value->append(", ").append(fieldValue);
        else
            value = fieldValue;
    }
    return value;
}

}  // namespace vocalis
