#include "catalogue/catalogue_loader.h"

#include <malloc.h>

#include <chrono>

#include "base/log.h"
#include "catalogue/song_scanner.h"

namespace vocalis {

std::shared_ptr<const Catalogue> loadCatalogue(const std::vector<std::string>& folders) {
    const auto start = std::chrono::steady_clock::now();
    ScanReport report;
    auto catalogue = std::make_shared<Catalogue>(buildCatalogue(scanSongFolders(folders, &report)));
    // The scan leaves tens of megabytes freed in the scanning threads' heaps (the batches, the
    // songs' first vector, the folders' names); give them back to the system rather than keep
    // them resident for the whole run.
    ::malloc_trim(0);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    logParts("Catalogue: ", catalogue->songs.size(), " songs in ", report.folders, " folders (",
             report.unreadable, " unreadable) in ", elapsed.count(), " ms");
    return catalogue;
}

void loadCatalogueInBackground(BackgroundQueue& background, Scheduler& mainThread, SongManager& songs,
                               std::vector<std::string> folders,
                               std::function<void(std::shared_ptr<const Catalogue>)> done) {
    background.post([&mainThread, &songs, folders = std::move(folders), done = std::move(done)] {
        auto catalogue = loadCatalogue(folders);
        songs.addAll(catalogue);
        mainThread.post([catalogue, done] { done(catalogue); });
    });
}

}  // namespace vocalis
