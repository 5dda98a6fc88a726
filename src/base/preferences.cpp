#include "base/preferences.h"

#include <charconv>

namespace vocalis {

namespace {

std::optional<std::int64_t> parseInteger(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::nullopt;
    if (text[start] == '+') ++start;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() + start) return std::nullopt;
    return value;
}

}  // namespace

void Preferences::registerDefaults(const std::map<std::string, Value>& defaults) {
    std::lock_guard lock(defaultsMutex_);
    for (const auto& [key, value] : defaults) defaults_[key] = value;
}

std::optional<Preferences::Value> Preferences::objectForKey(const std::string& key) const {
    if (auto stored = read(key)) return stored;
    std::lock_guard lock(defaultsMutex_);
    auto found = defaults_.find(key);
    if (found == defaults_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> Preferences::stringForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return std::nullopt;
    if (auto* text = std::get_if<std::string>(&*value)) return *text;
    if (auto* number = std::get_if<std::int64_t>(&*value)) return std::to_string(*number);
    return std::string(std::get<bool>(*value) ? "1" : "0");
}

bool Preferences::boolForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return false;
    if (auto* flag = std::get_if<bool>(&*value)) return *flag;
    if (auto* number = std::get_if<std::int64_t>(&*value)) return *number != 0;
    const std::string& text = std::get<std::string>(*value);
    if (text == "YES" || text == "yes" || text == "true" || text == "TRUE") return true;
    auto number = parseInteger(text);
    return number && *number != 0;
}

std::int64_t Preferences::integerForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return 0;
    if (auto* number = std::get_if<std::int64_t>(&*value)) return *number;
    if (auto* flag = std::get_if<bool>(&*value)) return *flag ? 1 : 0;
    return parseInteger(std::get<std::string>(*value)).value_or(0);
}

std::optional<Preferences::Value> MemoryPreferences::read(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

void MemoryPreferences::write(const std::string& key, const Value& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

void MemoryPreferences::erase(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

}  // namespace vocalis
