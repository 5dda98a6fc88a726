#include "base/paths.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vocalis {

namespace {

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string homeFolder() { return envOr("HOME", "/"); }

}  // namespace

std::optional<std::string> parseDocumentsDir(const std::string& userDirsText, const std::string& home) {
    std::istringstream lines(userDirsText);
    std::string line;
    std::optional<std::string> result;
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    while (std::getline(lines, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(start + prefix.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        std::string expanded;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                expanded.push_back(value[++i]);
            } else if (value.compare(i, 5, "$HOME") == 0) {
                expanded += home;
                i += 4;
            } else {
                expanded.push_back(value[i]);
            }
        }
        // Only absolute paths count; the XDG rules ignore anything else.
        if (!expanded.empty() && expanded.front() == '/') result = expanded;
    }
    return result;
}

std::string documentsFolder() {
    const std::string home = homeFolder();
    const std::string config = envOr("XDG_CONFIG_HOME", home + "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    if (in) {
        std::stringstream text;
        text << in.rdbuf();
        if (auto dir = parseDocumentsDir(text.str(), home)) return *dir;
    }
    return home + "/Documents";
}

std::string defaultDataFolder() { return documentsFolder() + "/Vocalis Player"; }

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::string> thisProgram() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::nullopt;
    return program.string();
}

std::optional<std::string> ownModulesFolder() {
    const std::optional<std::string> program = thisProgram();
    if (!program) return std::nullopt;
    return (std::filesystem::path(*program).parent_path() / "../lib/vocalis").lexically_normal().string();
}

}  // namespace vocalis
