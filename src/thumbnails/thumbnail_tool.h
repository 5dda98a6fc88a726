#pragma once

#include <string>
#include <vector>

#include "catalogue/song.h"

namespace vocalis {

// The outside video tool that makes a song's picture: the frame 30 s into its video, scaled
// to 640x360, as a JPEG in the thumbnail folder under the song's thumbnail file name. The
// batch and the up-next step both run it through here, so they always agree on the file.
struct ThumbnailTool {
    std::string program;  // looked up in PATH when it has no slash
    std::string folder;   // the thumbnail folder

    std::string outputPath(const Song& song) const;
    // The whole command line, the program first.
    std::vector<std::string> commandLine(const Song& song) const;
    // Runs the tool and waits for it: seconds of work, so never on the main thread.
    // Afterwards the picture stands at outputPath(), replacing any older one, or no file is
    // there when the video has no frame at 30 s (a short song) or cannot be read.
    void run(const Song& song) const;
};

}  // namespace vocalis
