#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace vocalis {

// The per-user settings store. Registered defaults answer reads of keys never written
// and are never persisted. Typed reads of a missing key give false, 0 or no string.
class Preferences {
  public:
    using Value = std::variant<bool, std::int64_t, std::string>;

    virtual ~Preferences() = default;

    void registerDefaults(const std::map<std::string, Value>& defaults);

    std::optional<Value> objectForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;

    void setString(const std::string& key, const std::string& value) { write(key, value); }
    void setBool(const std::string& key, bool value) { write(key, value); }
    void setInteger(const std::string& key, std::int64_t value) { write(key, value); }
    void removeObject(const std::string& key) { erase(key); }

    // Flushes written values to permanent storage.
    virtual void synchronize() = 0;

  protected:
    // The stored value of a key, without defaults.
    virtual std::optional<Value> read(const std::string& key) const = 0;
    virtual void write(const std::string& key, const Value& value) = 0;
    virtual void erase(const std::string& key) = 0;

  private:
    mutable std::mutex defaultsMutex_;
    std::map<std::string, Value> defaults_;
};

// Keeps everything in memory: for tests and for tools that must not touch the user's settings.
class MemoryPreferences final : public Preferences {
  public:
    void synchronize() override { ++synchronizeCount_; }
    int synchronizeCount() const { return synchronizeCount_; }

  protected:
    std::optional<Value> read(const std::string& key) const override;
    void write(const std::string& key, const Value& value) override;
    void erase(const std::string& key) override;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
    int synchronizeCount_ = 0;
};

}  // namespace vocalis
