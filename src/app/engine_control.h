#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

    // The operator's settings, applied at once.
    virtual void setEqualizer(double preAmplification, const std::optional<std::vector<float>>& bands) = 0;
    virtual void setHasScoring(bool value) = 0;
    virtual void setRandom(bool isRandom, std::int32_t randomType, std::optional<std::string> keyword) = 0;
};

}  // namespace vocalis
