#pragma once

#include <string>

namespace vocalis {

// The player's data folder and what lives in it.
struct DataFolder {
    std::string supportFolder;
    std::string thumbnailFolder() const { return supportFolder + "/thumbnail"; }
    std::string thumbnailDataPath() const { return supportFolder + "/thumbnail.dat"; }
    std::string tempFolder() const { return supportFolder + "/temp"; }
    std::string recordFolder() const { return supportFolder + "/record"; }
    std::string songFolder() const { return supportFolder + "/Karaoke"; }
    std::string melodyFolder() const {
        return supportFolder + "/melodies";
    }  // the songs' melodies, made once

    // Makes the folder and its sub-folders where missing (failures are logged, not fatal)
    // and empties "temp" of whatever an earlier run left.
    void prepare() const;

    // Copies a clip into "temp" under the given name; false (logged) when it cannot.
    bool placeClip(const std::string& source, const std::string& name) const;
};

// "intro" or "idle" with the extension of the clip's file (".mp4" when it has none).
std::string clipName(const std::string& base, const std::string& clipPath);

}  // namespace vocalis
