#include "system/autostart.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/log.h"
#include "base/paths.h"

namespace vocalis {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgramName = "vocalis-player";

// An Exec argument needs quotes when it holds a space or a character the format reserves;
// inside quotes ", `, $ and \ are escaped. A literal % is always doubled.
std::string quoteExecArgument(const std::string& argument) {
    bool needsQuotes = argument.empty();
    for (const char c : argument)
        if (std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos) needsQuotes = true;
    std::string out;
    if (needsQuotes) out.push_back('"');
    for (const char c : argument) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) out.push_back('\\');
        out.push_back(c);
    }
    if (needsQuotes) out.push_back('"');
    return out;
}

// The program of an Exec value: its first argument, unquoted.
std::string execProgram(const std::string& value) {
    std::string program;
    std::size_t i = 0;
    while (i < value.size() && value[i] == ' ') ++i;
    if (i < value.size() && value[i] == '"') {
        for (++i; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            program.push_back(value[i]);
        }
    } else {
        for (; i < value.size() && value[i] != ' '; ++i) program.push_back(value[i]);
    }
    std::string unescaped;
    for (std::size_t k = 0; k < program.size(); ++k) {
        unescaped.push_back(program[k]);
        if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%') ++k;
    }
    return unescaped;
}

// The keys of the [Desktop Entry] group; values kept as written (escapes are not needed
// for the two keys read here).
struct EntryKeys {
    std::string exec;
    bool hidden = false;
};

EntryKeys readEntry(const fs::path& path) {
    EntryKeys keys;
    std::ifstream in(path);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        while (!value.empty() && value.front() == ' ') value.erase(value.begin());
        if (key == "Exec") keys.exec = value;
        if (key == "Hidden") keys.hidden = value == "true";
    }
    return keys;
}

std::string thisExecutable() { return thisProgram().value_or(std::string(kProgramName)); }

}  // namespace

Autostart::Autostart(std::string configHome, std::string executable)
    : configHome_(std::move(configHome)), executable_(std::move(executable)) {}

Autostart Autostart::forThisProcess() {
    std::string home;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        home = config;
    else if (const char* user = std::getenv("HOME"); user && *user)
        home = std::string(user) + "/.config";
    else
        home = "/tmp";
    return Autostart(home, thisExecutable());
}

std::string Autostart::entryText() const {
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Vocalis Player\n"
         << "Comment=Karaoke player for a venue or home screen\n"
         << "Exec=" << quoteExecArgument(executable_) << "\n"
         << "Icon=vocalis-player\n"
         << "Terminal=false\n"
         << "Categories=AudioVideo;Player;\n"
         << "X-GNOME-Autostart-enabled=true\n";
    return text.str();
}

bool Autostart::launchesThisPlayer(const std::string& execValue) const {
    const std::string program = execProgram(execValue);
    if (program.empty()) return false;
    if (program == executable_ || fs::path(program).filename() == kProgramName) return true;
    std::error_code error;
    const bool same = fs::equivalent(program, executable_, error);
    return same && !error;
}

bool Autostart::isEnabled() const {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder(), error)) {
        if (entry.path().extension() != ".desktop") continue;
        const EntryKeys keys = readEntry(entry.path());
        if (!keys.hidden && launchesThisPlayer(keys.exec)) return true;
    }
    return false;
}

bool Autostart::setEnabled(bool enabled) const {
    std::error_code error;
    if (!enabled) {
        bool removedAll = true;
        for (const auto& entry : fs::directory_iterator(folder(), error)) {
            if (entry.path().extension() != ".desktop" || !launchesThisPlayer(readEntry(entry.path()).exec))
                continue;
            std::error_code removeError;
            if (!fs::remove(entry.path(), removeError)) {
                logParts("Cannot remove the autostart entry ", entry.path().string(), ": ",
                         removeError.message());
                removedAll = false;
            }
        }
        return removedAll;
    }
    fs::create_directories(folder(), error);
    // Written beside and renamed, so a half-written entry never starts anything.
    const std::string temporary = folder() + "/.vocalis-player.desktop.tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << entryText();
        if (!out.flush()) {
            logParts("Cannot write the autostart entry in ", folder());
            return false;
        }
    }
    fs::rename(temporary, entryPath(), error);
    if (error) {
        logParts("Cannot write the autostart entry ", entryPath(), ": ", error.message());
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace vocalis
