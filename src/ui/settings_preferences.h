#pragma once

#include <QString>
#include <memory>
#include <mutex>

#include "base/preferences.h"

class QSettings;

namespace vocalis {

// The user's settings in QSettings' native format (an INI file under $XDG_CONFIG_HOME).
// Registered defaults stay in memory and are never written. Safe from any thread.
//
// The INI file keeps no types: a value written in this run reads back as written
// (bool, integer or text); one read from the file is text, which the typed reads of
// Preferences turn into a bool ("true", "1") or an integer.
class SettingsPreferences final : public Preferences {
  public:
    explicit SettingsPreferences(const QString& organization = "Vocalis",
                                 const QString& application = "Vocalis Player");
    ~SettingsPreferences() override;

    void synchronize() override;

    // The file the settings live in.
    QString fileName() const;

  protected:
    std::optional<Value> read(const std::string& key) const override;
    void write(const std::string& key, const Value& value) override;
    void erase(const std::string& key) override;

  private:
    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};

}  // namespace vocalis
