#pragma once

#include <array>
#include <string_view>

namespace vocalis {

// The genre folders, in the order that decides a song's category.
inline constexpr std::array<std::string_view, 11> genreFolderArray = {
    "NhacMoi", "NhacThieuNhi",  "NhacTre",      "NhacSong",   "NhacTruTinh", "NhacRemix",
    "NhacSan", "NhacNuocNgoai", "NhacLienKhuc", "NhacSongCa", "NhacTanCo",
};
inline constexpr std::array<std::string_view, 11> genreFolderCompareArray = {
    "/NhacMoi/", "/NhacThieuNhi/",  "/NhacTre/",      "/NhacSong/",   "/NhacTruTinh/", "/NhacRemix/",
    "/NhacSan/", "/NhacNuocNgoai/", "/NhacLienKhuc/", "/NhacSongCa/", "/NhacTanCo/",
};

inline constexpr std::string_view kNoCategory = "-";

}  // namespace vocalis
