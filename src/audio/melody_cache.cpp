#include "audio/melody_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "base/log.h"

namespace vocalis {

namespace {

// File layout, integers little-endian: magic, version, the song's size, modification time (ns since
// the epoch) and path, the frame count, one 16-bit value per frame (the note in cents above MIDI
// note 0, kUnvoiced where nothing is sung), and an FNV-1a hash of all that came before.
constexpr char kMagic[8] = {'V', 'O', 'C', 'M', 'E', 'L', 'O', 'D'};
constexpr std::uint32_t kVersion = 1;
constexpr std::int16_t kUnvoiced = INT16_MIN;

struct FileIdentity {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The song's full path with links resolved, so that the tool given a relative folder and the
// player given the drive's folder keep the same song under the same name.
std::string pathOf(const std::filesystem::path& song) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::weakly_canonical(song, error);
    return error ? std::filesystem::absolute(song, error).lexically_normal().string() : full.string();
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& song) {
    struct stat info {};
    if (::stat(song.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{pathOf(song), static_cast<std::uint64_t>(info.st_size),
                        std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::uint64_t fnv1a(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    return hash;
}

void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// Reads little-endian integers off the front of a text; fails once past its end.
struct Reader {
    std::string_view rest;
    bool ok = true;
    std::uint64_t take(int bytes) {
        if (rest.size() < static_cast<std::size_t>(bytes)) return ok = false, 0;
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t(static_cast<unsigned char>(rest[i])) << (8 * i);
        rest.remove_prefix(static_cast<std::size_t>(bytes));
        return value;
    }
    std::string_view bytes(std::size_t count) {
        if (rest.size() < count) return ok = false, std::string_view();
        const std::string_view part = rest.substr(0, count);
        rest.remove_prefix(count);
        return part;
    }
};

std::string encode(const FileIdentity& song, const Melody& melody) {
    std::string out(kMagic, sizeof kMagic);
    put(out, kVersion, 4);
    put(out, song.size, 8);
    put(out, static_cast<std::uint64_t>(song.modified), 8);
    put(out, song.path.size(), 4);
    out += song.path;
    put(out, melody.notes.size(), 4);
    for (const float note : melody.notes) {
        const bool sung = !std::isnan(note) && note >= 0 && note < 320;
        put(out,
            static_cast<std::uint16_t>(sung ? static_cast<std::int16_t>(std::lround(note * 100)) : kUnvoiced),
            2);
    }
    put(out, fnv1a(out), 8);
    return out;
}

std::optional<Melody> decode(std::string_view file, const FileIdentity& song) {
    if (file.size() < 8) return std::nullopt;
    Reader in{file.substr(0, file.size() - 8)};
    if (Reader{file.substr(file.size() - 8)}.take(8) != fnv1a(in.rest)) return std::nullopt;
    if (in.bytes(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic) || in.take(4) != kVersion)
        return std::nullopt;
    FileIdentity kept;
    kept.size = in.take(8);
    kept.modified = static_cast<std::int64_t>(in.take(8));
    kept.path = in.bytes(in.take(4));
    if (!in.ok || kept != song) return std::nullopt;
    Melody melody;
    melody.notes.resize(in.take(4));
    if (!in.ok || in.rest.size() != 2 * melody.notes.size()) return std::nullopt;
    for (float& note : melody.notes) {
        const auto cents = static_cast<std::int16_t>(in.take(2));
        note = cents == kUnvoiced ? NAN : float(cents) / 100.0f;
    }
    return melody;
}

}  // namespace

MelodyCache::MelodyCache(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::filesystem::path MelodyCache::fileOf(const std::string& songPath) const {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.melody", static_cast<unsigned long long>(fnv1a(songPath)));
    return folder_ / name;
}

std::optional<Melody> MelodyCache::find(const std::filesystem::path& song) const {
    const auto identity = identityOf(song);
    if (!identity) return std::nullopt;
    std::ifstream in(fileOf(identity->path), std::ios::binary);
    if (!in) return std::nullopt;
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return decode(file, *identity);
}

void MelodyCache::keep(const std::filesystem::path& song, const Melody& melody) {
    const auto identity = identityOf(song);
    if (!identity) return;  // gone meanwhile: nothing to key it by
    const std::string bytes = encode(*identity, melody);
    const std::filesystem::path target = fileOf(identity->path);
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    std::string temporary = (folder_ / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    for (std::size_t done = 0; !failure && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            failure = n == 0 ? ENOSPC : errno;
    }
    if (fd >= 0 && ::close(fd) != 0 && !failure) failure = errno;
    if (!failure && ::rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
    if (!failure) return;
    if (fd >= 0) ::unlink(temporary.c_str());
    logParts("Melody cache: cannot keep the melody of ", song.string(), " in ", folder_.string(), ": ",
             std::strerror(failure));
}

}  // namespace vocalis
