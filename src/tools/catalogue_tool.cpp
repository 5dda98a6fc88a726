// vocalis-catalogue: the player's catalogue, seen from the command line.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "catalogue/catalogue_loader.h"
#include "catalogue/karaoke_paths.h"
#include "catalogue/song_manager.h"
#include "catalogue/text_fold.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: vocalis-catalogue [--data-dir DIR] [--songs DIR]... COMMAND\n"
    "  text                    the catalogue text, byte for byte\n"
    "  md5                     its checksum\n"
    "  count                   the number of songs\n"
    "  search [TEXT]           the song search: one line per song, id TAB title TAB singer\n"
    "  random TYPE [KEYWORD]   the random pool (TYPE 0 category, 1 title, 2 singer): one id per line\n"
    "  folders                 the song folders that would be scanned\n";

int usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "vocalis-catalogue: " << problem << "\n";
    std::cerr << kUsageText;
    return kUsage;
}

std::optional<std::int32_t> parseInt(const std::string& text) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vocalis;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> dataDir;
    std::vector<std::string> songFolders;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsageText;
            return 0;
        }
        if (args[i] == "--data-dir" || args[i] == "--songs") {
            if (i + 1 >= args.size()) return usage(args[i] + " needs a folder");
            (args[i] == "--data-dir" ? dataDir.emplace() : songFolders.emplace_back()) = args[i + 1];
            ++i;
            continue;
        }
        if (args[i].rfind("--", 0) == 0) return usage("unknown option " + args[i]);
        break;
    }
    if (i >= args.size()) return usage("no command given");
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());

    const bool known = command == "text" || command == "md5" || command == "count" || command == "search" ||
                       command == "random" || command == "folders";
    if (!known) return usage("unknown command " + command);
    const std::size_t maxRest = command == "random" ? 2 : (command == "search" ? 1 : 0);
    if (rest.size() > maxRest) return usage("too many arguments for " + command);
    std::optional<std::int32_t> randomType;
    if (command == "random") {
        if (rest.empty()) return usage("random needs a TYPE");
        randomType = parseInt(rest[0]);
        if (!randomType) return usage("TYPE must be a number: " + rest[0]);
    }

    std::vector<std::string> folders;
    if (!songFolders.empty()) {
        for (const std::string& folder : songFolders) {
            if (!isDirectory(folder)) {
                std::cerr << "vocalis-catalogue: no such folder: " << folder << "\n";
                return kFailure;
            }
        }
        folders = songFolders;
    } else {
        folders = songFoldersToScan(dataDir.value_or(defaultDataFolder()));
    }
    if (folders.empty()) {
        std::cerr << "vocalis-catalogue: no song folder found (no USB drive with a \"Karaoke\" folder, "
                     "none in the data folder)\n";
        return kFailure;
    }
    if (command == "folders") {
        for (const std::string& folder : folders) std::cout << folder << "\n";
        return 0;
    }

    const auto catalogue = loadCatalogue(folders);
    if (catalogue->songs.empty()) {
        std::cerr << "vocalis-catalogue: no songs found in the song folders\n";
        return kFailure;
    }

    if (command == "text") {
        std::fwrite(catalogue->text.data(), 1, catalogue->text.size(), stdout);
    } else if (command == "md5") {
        std::cout << catalogue->md5 << "\n";
    } else if (command == "count") {
        std::cout << catalogue->songs.size() << "\n";
    } else if (command == "search") {
        SongManager songs;
        songs.addAll(catalogue);
        songs.filter(foldKeyword(rest.empty() ? std::string() : rest[0]));
        std::string out;
        for (std::int32_t n = 0; n < songs.getFilteredCount(); ++n) {
            const Song* song = songs.getFilteredSong(n);
            out.append(std::to_string(song->songId)).append("\t").append(song->title()).append("\t");
            out.append(song->singer()).append("\n");
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
    } else if (command == "random") {
        SongManager songs;
        songs.addAll(catalogue);
        songs.filterRandom(*randomType, rest.size() > 1 ? std::optional<std::string>(rest[1]) : std::nullopt);
        std::string out;
        for (std::int32_t n = 0; n < songs.getRandomCount(); ++n)
            out += std::to_string(songs.getRandomPoolSong(n)->songId) + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    // Leave without freeing a hundred thousand songs one by one; the system takes the memory back.
    std::_Exit(std::fflush(stdout) == 0 ? 0 : kFailure);
}
