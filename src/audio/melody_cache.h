#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "audio/melody.h"

namespace vocalis {

// The reference melodies made so far, one small file per song in a folder of the data folder, each
// kept with the song file's identity (path, size, modification time): a song changed since is
// made again. Files are written whole and renamed into place, so one writer and any number of
// readers on other threads (or in other processes) never see half a file; a damaged file reads as
// never made.
class MelodyCache {
  public:
    static constexpr const char* kFolderName = "melodies";  // in the data folder

    explicit MelodyCache(std::filesystem::path folder);  // e.g. <data>/melodies, made when needed
    // The kept melody of `song` (empty when it was made and has no reference); nullopt when never made.
    std::optional<Melody> find(const std::filesystem::path& song) const;
    void keep(const std::filesystem::path& song, const Melody& melody);  // written whole, renamed into place

  private:
    std::filesystem::path fileOf(const std::string& songPath) const;

    std::filesystem::path folder_;
};

}  // namespace vocalis
