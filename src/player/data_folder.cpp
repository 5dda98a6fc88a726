#include "player/data_folder.h"

#include <filesystem>

#include "base/log.h"

namespace fs = std::filesystem;

namespace vocalis {

void DataFolder::prepare() const {
    for (const std::string& folder : {supportFolder, thumbnailFolder(), tempFolder(), recordFolder()}) {
        std::error_code error;
        // With intermediate folders: a fresh account may have no documents folder yet.
        fs::create_directories(folder, error);
        if (error) logParts("Cannot create ", folder, ": ", error.message());
    }
    std::error_code error;
    for (fs::directory_iterator it(tempFolder(), error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

bool DataFolder::placeClip(const std::string& source, const std::string& name) const {
    std::error_code error;
    fs::copy_file(source, tempFolder() + "/" + name, fs::copy_options::overwrite_existing, error);
    if (error) logParts("Cannot place the clip ", source, ": ", error.message());
    return !error;
}

std::string clipName(const std::string& base, const std::string& clipPath) {
    const std::string extension = fs::path(clipPath).extension().string();
    return base + (extension.empty() ? ".mp4" : extension);
}

}  // namespace vocalis
