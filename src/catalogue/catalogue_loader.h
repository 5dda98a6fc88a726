#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/background_queue.h"
#include "base/scheduler.h"
#include "catalogue/catalogue.h"
#include "catalogue/song_manager.h"

namespace vocalis {

// Scans the folders and builds the finished catalogue (keys, sort, text, checksum).
std::shared_ptr<const Catalogue> loadCatalogue(const std::vector<std::string>& folders);

// Loads on the background queue and publishes the catalogue into `songs` there, in one
// step; `done` then runs on the main thread with what was loaded.
void loadCatalogueInBackground(BackgroundQueue& background, Scheduler& mainThread, SongManager& songs,
                               std::vector<std::string> folders,
                               std::function<void(std::shared_ptr<const Catalogue>)> done);

}  // namespace vocalis
