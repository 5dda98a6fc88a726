#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/engine_command.h"
#include "app/engine_news.h"
#include "base/scheduler.h"
#include "thumbnails/thumbnail_tool.h"

namespace vocalis {

// What a front-end sees of the engine: it issues commands, listens to news and reads the
// one state every control shows.
class EngineControl : public CommandSink {
  public:
    virtual void addListener(EngineListener* listener) = 0;
    virtual void removeListener(EngineListener* listener) = 0;
    // Runs `task` on the engine's thread once the news of every change made so far has gone
    // out, which is once those changes are on disk (the engine's thread only).
    virtual void afterNews(std::function<void()> task) { task(); }
    virtual bool isPlaying() const = 0;
    // Guests (phones, the browser page) are served once the intro has ended with the catalogue
    // loaded; what they ask before that is dropped (the engine's thread only).
    virtual bool takesGuestCommands() const = 0;
    // Who asked for a queued song (the engine's thread only); none when nobody said.
    virtual std::optional<std::string> requesterName(std::int32_t songId) const = 0;
    // The key of a queued song, or of the song playing now (the engine's thread only); 0 for others.
    virtual std::int32_t songKey(std::int32_t songId) const = 0;
    // New named songs take turns by name (the engine's thread only).
    virtual bool fairTurns() const = 0;
    // The main window became the active one `ago` (it may be before the engine was made); the
    // first time starts the intro 1 s after that.
    virtual void windowDidBecomeMain(Millis ago) = 0;

    // The operator's settings, applied at once.
    virtual void setEqualizer(double preAmplification, const std::optional<std::vector<float>>& bands) = 0;
    virtual void setHasScoring(bool value) = 0;
    virtual void setShowsPitchBand(bool) {}
    virtual void setRandom(bool isRandom, std::int32_t randomType, std::optional<std::string> keyword) = 0;

    // The thumbnail batch: it runs once the catalogue is loaded, with the engine's tool, and
    // while it runs the up-next step leaves the tool alone.
    virtual bool isLibraryLoaded() const = 0;
    virtual ThumbnailTool thumbnailTool() const = 0;
    virtual void setIsCreateThumbnail(bool value) = 0;
};

}  // namespace vocalis
