#include "ui/settings_preferences.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace vocalis {

namespace {

QString keyOf(const std::string& key) { return QString::fromStdString(key); }

}  // namespace

SettingsPreferences::SettingsPreferences(const QString& organization, const QString& application)
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organization,
                                            application)) {}

SettingsPreferences::~SettingsPreferences() {
    std::lock_guard lock(mutex_);
    settings_->sync();
}

void SettingsPreferences::synchronize() {
    std::lock_guard lock(mutex_);
    settings_->sync();
}

QString SettingsPreferences::fileName() const {
    std::lock_guard lock(mutex_);
    return settings_->fileName();
}

std::optional<Preferences::Value> SettingsPreferences::read(const std::string& key) const {
    QVariant value;
    {
        std::lock_guard lock(mutex_);
        value = settings_->value(keyOf(key));
    }
    if (!value.isValid()) return std::nullopt;
    switch (value.typeId()) {
        case QMetaType::Bool:
            return Value(value.toBool());
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return Value(static_cast<std::int64_t>(value.toLongLong()));
        case QMetaType::QStringList:
            // An unquoted comma in a hand-edited file splits the text; put it back together.
            return Value(value.toStringList().join(QStringLiteral(", ")).toStdString());
        default:
            return Value(value.toString().toStdString());
    }
}

void SettingsPreferences::write(const std::string& key, const Value& value) {
    QVariant stored;
    if (auto* flag = std::get_if<bool>(&value))
        stored = *flag;
    else if (auto* number = std::get_if<std::int64_t>(&value))
        stored = static_cast<qlonglong>(*number);
    else
        stored = QString::fromStdString(std::get<std::string>(value));
    std::lock_guard lock(mutex_);
    settings_->setValue(keyOf(key), stored);
}

void SettingsPreferences::erase(const std::string& key) {
    std::lock_guard lock(mutex_);
    settings_->remove(keyOf(key));
}

}  // namespace vocalis
