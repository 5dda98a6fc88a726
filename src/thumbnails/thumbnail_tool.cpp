#include "thumbnails/thumbnail_tool.h"

#include "base/process.h"
#include "thumbnails/thumbnail_manager.h"

namespace vocalis {

std::string ThumbnailTool::outputPath(const Song& song) const {
    return folder + "/" + thumbnailFileName(song);
}

std::vector<std::string> ThumbnailTool::commandLine(const Song& song) const {
    return {program,    "-i",  std::string(song.karaokeFile()),
            "-an",      "-ss", "00:00:30",
            "-an",      "-r",  "1",
            "-vframes", "1",   "-s",
            "640x360",  "-y",  outputPath(song)};
}

// Its exit status tells nothing the file does not: a failed run writes no picture.
void ThumbnailTool::run(const Song& song) const { runProcess(commandLine(song)); }

}  // namespace vocalis
