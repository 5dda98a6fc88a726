#include "store/history_csv.h"

#include <ctime>
#include <string_view>

namespace vocalis {

namespace {

void appendField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(field);
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void appendText(std::string& out, std::string_view text) {
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        appendField(out, "'" + std::string(text));
        return;
    }
    appendField(out, text);
}

}  // namespace

std::string isoTime(WallTime time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    const std::time_t at = seconds.time_since_epoch().count();
    std::tm parts{};
    ::gmtime_r(&at, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string historyCsv(const std::vector<HistoryEntry>& entries) {
    std::string out = "started,ended,name,title,singer,key,ending,score,file\r\n";
    for (const HistoryEntry& entry : entries) {
        const SongStart& start = entry.start;
        out += isoTime(start.started) + ',';
        if (entry.ended) out += isoTime(*entry.ended);
        out += ',';
        appendText(out, start.name.value_or(""));
        out += ',';
        appendText(out, start.song.title);
        out += ',';
        appendText(out, start.song.singer);
        out += ',' + std::to_string(start.key) + ',';
        if (entry.ending) out += endingName(*entry.ending);
        out += ',';
        if (entry.score) out += std::to_string(entry.score->value);
        out += ',';
        appendText(out, start.song.relativePath);
        out += "\r\n";
    }
    return out;
}

}  // namespace vocalis
