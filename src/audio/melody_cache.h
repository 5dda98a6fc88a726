#pragma once

#include <filesystem>
#include <optional>

#include "audio/melody.h"

namespace vocalis {

class MelodyCache {
  public:
    explicit MelodyCache(std::filesystem::path folder);  // e.g. <data>/melodies, made when needed
    // The kept melody of `song` (empty when it was made and has no reference); nullopt when never made.
    std::optional<Melody> find(const std::filesystem::path& song) const;
    void keep(const std::filesystem::path& song, const Melody& melody);

  private:
    std::filesystem::path fileOf(const std::filesystem::path& song) const;

    std::filesystem::path folder_;
};

}  // namespace vocalis
