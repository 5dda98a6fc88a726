#pragma once

#include <string>

namespace vocalis {

// Launch at login through XDG autostart: an entry in $XDG_CONFIG_HOME/autostart that
// starts this player's executable.
class Autostart {
  public:
    static constexpr const char* kEntryName = "vocalis-player.desktop";

    // `configHome` is $XDG_CONFIG_HOME (or ~/.config); `executable` the player's absolute path.
    Autostart(std::string configHome, std::string executable);

    // The config home and executable of this process.
    static Autostart forThisProcess();

    // Whether an entry that launches this player exists and is not hidden.
    bool isEnabled() const;
    // On writes our entry; off removes every entry that launches this player. False when
    // the folder or file cannot be written.
    bool setEnabled(bool enabled) const;

    std::string folder() const { return configHome_ + "/autostart"; }
    std::string entryPath() const { return folder() + "/" + kEntryName; }

    // The entry's text, with the executable quoted as desktop entries want it.
    std::string entryText() const;

  private:
    bool launchesThisPlayer(const std::string& execValue) const;

    std::string configHome_;
    std::string executable_;
};

}  // namespace vocalis
