#include "ui/operator_windows.h"

#include "app/engine_control.h"
#include "base/preferences.h"
#include "base/settings_keys.h"
#include "catalogue/song_manager.h"
#include "system/autostart.h"
#include "ui/equalizer_window.h"
#include "ui/main_window.h"
#include "ui/settings_window.h"
#include "ui/song_selection_window.h"
#include "ui/thumbnail_window.h"

namespace vocalis {

OperatorWindows::OperatorWindows(Parts parts) : parts_(std::move(parts)) {
    connect(&parts_.window, &MainWindow::selectSongRequested, this, [this] { openSongSelection(); });
    connect(&parts_.window, &MainWindow::equalizerRequested, this, [this] { openEqualizer(); });
    connect(&parts_.window, &MainWindow::settingsRequested, this, [this] { openSettings(); });
    connect(&parts_.window, &MainWindow::thumbnailsRequested, this, [this] { openThumbnails(); });
}

OperatorWindows::~OperatorWindows() {
    for (QPointer<QDialog>* slot : {&selection_, &equalizer_, &settings_, &thumbnailBatch_})
        delete slot->data();
}

int OperatorWindows::openCount() const {
    int count = 0;
    for (const QPointer<QDialog>* slot : {&selection_, &equalizer_, &settings_, &thumbnailBatch_})
        if (*slot && (*slot)->isVisible()) ++count;
    return count;
}

void OperatorWindows::replace(QPointer<QDialog>& slot, QDialog* window) {
    if (slot) slot->close();
    slot = window;
    connect(window, &QDialog::finished, this, [this] { windowsChanged(); });
    connect(window, &QObject::destroyed, this, [this] { windowsChanged(); });
    window->show();
    window->raise();
    window->activateWindow();
    windowsChanged();
}

// The pointer stays while any operator window is open and hides by itself again after.
// The keys go back to the main window (without a window manager nobody else gives them).
void OperatorWindows::windowsChanged() {
    const bool none = openCount() == 0;
    parts_.window.autoToHideCursor(none);
    if (none && parts_.window.isVisible()) parts_.window.activateWindow();
}

SongSelectionWindow* OperatorWindows::openSongSelection() {
    auto* window = new SongSelectionWindow(
        {parts_.songs, parts_.thumbnails, parts_.engine, parts_.banner, parts_.engine.isPlaying()},
        &parts_.window);
    EngineControl& engine = parts_.engine;
    engine.addListener(window);
    connect(window, &QObject::destroyed, this, [&engine, window] { engine.removeListener(window); });
    replace(selection_, window);
    return window;
}

QDialog* OperatorWindows::openEqualizer() {
    const EqualizerValues stored = parseEqualizer(parts_.preferences.stringForKey(KEY_EQ).value_or(""));
    EngineControl& engine = parts_.engine;
    auto* window = new EqualizerWindow(
        stored,
        [&engine](double preAmp, const std::vector<float>& bands) { engine.setEqualizer(preAmp, bands); },
        &parts_.window);
    replace(equalizer_, window);
    return window;
}

QDialog* OperatorWindows::openSettings() {
    EngineControl& engine = parts_.engine;
    auto* window = new SettingsWindow(
        {parts_.preferences, parts_.loginName, [] { return Autostart::forThisProcess().isEnabled(); },
         [](bool on) { Autostart::forThisProcess().setEnabled(on); },
         [&engine](bool on) { engine.setHasScoring(on); },
         [&engine](bool on, std::int32_t type, std::optional<std::string> keyword) {
             engine.setRandom(on, type, std::move(keyword));
         },
         engine.fairTurns(),
         [&engine](bool on) {
             engine.issue({CommandKind::FairTurns, on ? 1 : 0}, CommandSource::Operator);
         },
         parts_.soundSources ? parts_.soundSources() : std::vector<SoundSource>{},
         [&engine](bool on) { engine.setShowsPitchBand(on); }, parts_.measureMicrophoneDelay,
         parts_.setMicrophoneDelay},
        &parts_.window);
    replace(settings_, window);
    return window;
}

QDialog* OperatorWindows::openThumbnails() {
    EngineControl& engine = parts_.engine;
    if (!engine.isLibraryLoaded()) return nullptr;
    auto* window =
        new ThumbnailWindow({parts_.songs.catalogue(), engine.thumbnailTool(), parts_.background,
                             parts_.mainThread, [&engine](bool on) { engine.setIsCreateThumbnail(on); }},
                            &parts_.window);
    replace(thumbnailBatch_, window);
    return window;
}

}  // namespace vocalis
