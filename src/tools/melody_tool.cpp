// vocalis-melody: makes the reference melodies of a venue's songs ahead of an event, so that the
// player has them at once instead of making each while the song before it plays.
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "audio/melody_cache.h"
#include "audio/reference_melody.h"
#include "audio/track_decoder.h"
#include "base/paths.h"
#include "catalogue/song_scanner.h"

namespace {

using namespace vocalis;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: vocalis-melody [--data-dir DIR] make SONG_FOLDER...\n"
    "  make   makes the reference melody of every song below the folders that has none kept in the\n"
    "         data folder yet (a song changed since is made again); progress on standard error\n";

int usage(const std::string& problem) {
    std::cerr << "vocalis-melody: " << problem << "\n" << kUsageText;
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> dataDir;
    std::vector<std::string> folders;
    bool makeAsked = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsageText;
            return 0;
        }
        if (makeAsked) {
            folders.push_back(arg);
        } else if (arg == "make") {
            makeAsked = true;
        } else if (arg == "--data-dir") {
            if (i + 1 >= args.size()) return usage("--data-dir needs a folder");
            dataDir = args[++i];
        } else {
            return usage((arg.starts_with("-") ? "unknown option " : "unknown command ") + arg);
        }
    }
    if (!makeAsked) return usage("no command given");
    if (folders.empty()) return usage("make needs a song folder");
    for (const std::string& folder : folders)
        if (!isDirectory(folder)) {
            std::cerr << "vocalis-melody: not a folder: " << folder << "\n";
            return kFailure;
        }
    const std::filesystem::path cacheFolder =
        std::filesystem::path(dataDir.value_or(defaultDataFolder())) / MelodyCache::kFolderName;
    std::error_code error;
    if (std::filesystem::create_directories(cacheFolder, error); error) {
        std::cerr << "vocalis-melody: cannot make " << cacheFolder.string() << ": " << error.message()
                  << "\n";
        return kFailure;
    }

    silenceDecoderMessages();  // each song's outcome is one line of our own
    const auto started = std::chrono::steady_clock::now();
    const ScannedSongs scanned = scanSongFolders(folders);
    const std::vector<Song>& songs = scanned.songs;
    MelodyCache cache(cacheFolder);
    std::size_t made = 0, sung = 0, keptBefore = 0;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const std::filesystem::path song(songs[i].karaokeFile());
        std::cerr << i + 1 << "/" << songs.size() << " " << song.string() << ": ";
        if (cache.find(song)) {
            ++keptBefore;
            std::cerr << "kept before\n";
            continue;
        }
        const ReferenceOutcome outcome = makeReference(song);
        cache.keep(song, outcome.melody);
        ++made;
        sung += outcome.melody.size() ? 1 : 0;
        std::cerr << (outcome.melody.size() ? "" : "no melody: ") << outcome.detail << "\n";
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();
    std::cout << songs.size() << " songs: " << made << " made (" << sung << " with a melody, " << made - sung
              << " without), " << keptBefore << " kept before, in " << seconds << " s\n";
    return 0;
}
