#include "player/resources.h"

#include <cstdlib>
#include <filesystem>

#include "base/log.h"

namespace fs = std::filesystem;

namespace vocalis {

namespace {

fs::path resourceFolder() {
    if (const char* folder = std::getenv("VOCALIS_RESOURCES"); folder && *folder) return folder;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (const fs::path& candidate :
             {program.parent_path() / "../share/vocalis-player", program.parent_path() / "../../resources"})
            if (fs::is_directory(candidate)) return fs::weakly_canonical(candidate);
    }
    return VOCALIS_SOURCE_RESOURCES;
}

// The first file whose name without extension is `stem`.
std::string findFile(const fs::path& folder, const std::string& stem) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().stem() == stem && it->is_regular_file()) return it->path().string();
    logParts("Missing resource ", stem, " in ", folder.string());
    return (folder / stem).string();
}

}  // namespace

Resources Resources::find() {
    const fs::path folder = resourceFolder();
    return Resources{findFile(folder, "intro"), findFile(folder, "idle"), findFile(folder, "banner"),
                     findFile(folder, "score_bg"), findFile(folder, "vcplayer_score")};
}

}  // namespace vocalis
