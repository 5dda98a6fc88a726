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

    // From $VOCALIS_RESOURCES, else the resources folder beside the program's build or
    // install, else the source tree it was built from.
    static Resources find();
};

}  // namespace vocalis
