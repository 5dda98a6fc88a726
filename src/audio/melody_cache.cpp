#include "audio/melody_cache.h"

#include <fstream>
#include <functional>
#include <system_error>

namespace vocalis {

MelodyCache::MelodyCache(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path MelodyCache::fileOf(const std::filesystem::path& song) const {
    return folder_ / (std::to_string(std::hash<std::string>{}(song.string())) + ".melody");
}

std::optional<Melody> MelodyCache::find(const std::filesystem::path& song) const {
    std::ifstream in(fileOf(song), std::ios::binary);
    if (!in) return std::nullopt;
    Melody melody;
    float note = 0;
    while (in.read(reinterpret_cast<char*>(&note), sizeof note)) melody.notes.push_back(note);
    return melody;
}

void MelodyCache::keep(const std::filesystem::path& song, const Melody& melody) {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    const auto file = fileOf(song);
    const auto part = file.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(melody.notes.data()),
                  static_cast<std::streamsize>(melody.notes.size() * sizeof(float)));
        if (!out) return;
    }
    std::filesystem::rename(part, file, error);
}

}  // namespace vocalis
