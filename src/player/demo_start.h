#pragma once

#include <stop_token>
#include <string>

#include "app/app_delegate.h"
#include "base/background_queue.h"
#include "base/scheduler.h"

namespace vocalis {

// The demo library's making on a run with --demo, when the library is missing: on the
// background queue, so the window and the intro go on, while the engine shows which song is
// being made and holds the catalogue load until all are there. A stop (the player quits) ends the
// making at once; the next run goes on with the songs still missing.
void startDemoLibrary(AppDelegate& engine, Scheduler& scheduler, BackgroundQueue& background,
                      const std::string& songFolder, const std::string& workFolder, std::stop_token stop,
                      int seconds = 45);

}  // namespace vocalis
