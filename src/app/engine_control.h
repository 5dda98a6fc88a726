#pragma once

#include "app/engine_command.h"
#include "app/engine_news.h"

namespace vocalis {

// What a front-end sees of the engine: it issues commands, listens to news and reads the
// one state every control shows.
class EngineControl : public CommandSink {
  public:
    virtual void addListener(EngineListener* listener) = 0;
    virtual void removeListener(EngineListener* listener) = 0;
    virtual bool isPlaying() const = 0;
    // The main window became the active one; the first time starts the intro.
    virtual void windowDidBecomeMain() = 0;
};

}  // namespace vocalis
