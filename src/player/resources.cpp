#include "player/resources.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "base/paths.h"

namespace fs = std::filesystem;

namespace vocalis {

namespace {

// The first file whose name without extension is `stem`.
std::string findFile(const fs::path& folder, const std::string& stem) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().stem() == stem && it->is_regular_file()) return it->path().string();
    logParts("Missing resource ", stem, " in ", folder.string());
    return (folder / stem).string();
}

}  // namespace

std::string resourceFolder(const std::string& chosen, const std::string& program,
                           const std::string& dataDirs) {
    if (!chosen.empty()) return chosen;
    std::vector<fs::path> candidates;
    if (!program.empty()) {
        const fs::path bin = fs::path(program).parent_path();
        candidates.insert(candidates.end(), {bin / "../share/vocalis-player", bin / "../../resources"});
    }
    // Where the program's own path cannot be read (a root without /proc), the installed
    // copy is still found where every desktop program's data is.
    std::string_view folders = dataDirs.empty() ? std::string_view("/usr/local/share:/usr/share") : dataDirs;
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        if (const auto folder = folders.substr(0, colon); folder.starts_with('/'))
            candidates.push_back(fs::path(folder) / "vocalis-player");
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    }
    for (const fs::path& candidate : candidates)
        if (std::error_code error; fs::is_directory(candidate, error))
            return fs::weakly_canonical(candidate).string();
    return VOCALIS_SOURCE_RESOURCES;
}

Resources Resources::find() {
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    const fs::path folder =
        resourceFolder(variable("VOCALIS_RESOURCES"), thisProgram().value_or(""), variable("XDG_DATA_DIRS"));
    return Resources{findFile(folder, "intro"), findFile(folder, "idle"), findFile(folder, "banner"),
                     findFile(folder, "score_bg"), findFile(folder, "vcplayer_score")};
}

}  // namespace vocalis
