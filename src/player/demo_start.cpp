#include "player/demo_start.h"

#include <filesystem>

#include "base/log.h"
#include "player/demo_library.h"

namespace vocalis {

void startDemoLibrary(AppDelegate& engine, Scheduler& scheduler, BackgroundQueue& background,
                      const std::string& songFolder, const std::string& workFolder, std::stop_token stop,
                      int seconds) {
    if (std::filesystem::exists(songFolder)) return;
    // Told now, before the queue picks the work up: the catalogue load must never run first.
    engine.songsBeingMade(1, static_cast<int>(demoSongs().size()));
    background.post([&engine, &scheduler, songFolder, workFolder, stop, seconds] {
        const auto progress = [&engine, &scheduler](int number, int total) {
            scheduler.post([&engine, number, total] { engine.songsBeingMade(number, total); });
        };
        const int made = makeDemoLibrary(songFolder, workFolder, seconds, progress, stop);
        if (stop.stop_requested())
            return logLine("Demo library left unfinished; the next start goes on with it");
        logParts("Demo library ready: ", made, " songs");
        scheduler.post([&engine] { engine.songsMade(); });
    });
}

}  // namespace vocalis
