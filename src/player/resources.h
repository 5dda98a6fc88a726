#pragma once

#include <string>

namespace vocalis {

// The player's own pictures, sounds and clips.
struct Resources {
    std::string introClip;
    std::string idleClip;
    std::string banner;
    std::string scoreBackground;
    std::string scoreSound;

    // From the folder resourceFolder() names for this process and its environment.
    static Resources find();
};

// Where the resources are: `chosen` ($VOCALIS_RESOURCES) when given; else beside the program
// (`program`, empty when unknown): its install's ../share/vocalis-player or its build tree's
// ../../resources; else vocalis-player in one of the XDG data folders (`dataDirs`, as
// $XDG_DATA_DIRS, empty for the default /usr/local/share:/usr/share); else the source tree.
std::string resourceFolder(const std::string& chosen, const std::string& program,
                           const std::string& dataDirs);

}  // namespace vocalis
