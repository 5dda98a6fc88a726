// How long one key press in the song search takes over a large catalogue, and how long
// building that catalogue takes once the file names are known.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"
#include "catalogue/text_fold.h"
#include "song_list.h"

using namespace vocalis;

namespace {

// File names (relative paths) listed one per line by bench/make_song_tree.py --list.
std::vector<std::string> songPaths() {
    auto paths = benchSongPaths();
    if (paths.empty()) {
        std::fprintf(stderr, "no song list: run bench/make_song_tree.py first or set VOCALIS_SONG_LIST\n");
        std::exit(1);
    }
    return paths;
}

std::vector<Song> songsFromPaths(const std::vector<std::string>& paths) {
    std::vector<Song> songs;
    songs.reserve(paths.size());
    for (const auto& path : paths)
        if (auto song = songFromPath("/media/usb/Karaoke", path)) songs.push_back(std::move(*song));
    return songs;
}

SongManager& loadedManager() {
    static SongManager manager;
    static const bool loaded =
        manager.addAll(std::make_shared<Catalogue>(buildCatalogue(songsFromPaths(songPaths()))));
    (void)loaded;
    return manager;
}

// What an operator types, one key at a time: every prefix of these words.
const std::vector<std::string>& typedKeywords() {
    static const std::vector<std::string> keywords = [] {
        std::vector<std::string> out;
        for (const char* word :
             {"em oi ha noi", "hong nhung", "dem dong", "tinh ca", "anh ban", "mua", "xyzq"}) {
            const std::string folded = foldKeyword(word);
            for (std::size_t n = 1; n <= std::min<std::size_t>(8, folded.size()); ++n)
                out.push_back(folded.substr(0, n));
        }
        return out;
    }();
    return keywords;
}

void BM_Filter(benchmark::State& state) {
    SongManager& manager = loadedManager();
    const auto& keywords = typedKeywords();
    std::size_t i = 0;
    for (auto _ : state) {
        manager.filter(keywords[i++ % keywords.size()]);
        benchmark::DoNotOptimize(manager.getFilteredCount());
    }
    state.counters["songs"] = manager.getCount();
}
BENCHMARK(BM_Filter)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_FilterLength(benchmark::State& state) {
    SongManager& manager = loadedManager();
    const std::string keyword =
        foldKeyword("emoihanoipho").substr(0, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        manager.filter(keyword);
        benchmark::DoNotOptimize(manager.getFilteredCount());
    }
}
BENCHMARK(BM_FilterLength)->DenseRange(1, 8)->Unit(benchmark::kMicrosecond);

void BM_BuildCatalogue(benchmark::State& state) {
    const auto paths = songPaths();
    for (auto _ : state) {
        auto catalogue = buildCatalogue(songsFromPaths(paths));
        benchmark::DoNotOptimize(catalogue.md5);
    }
}
BENCHMARK(BM_BuildCatalogue)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
