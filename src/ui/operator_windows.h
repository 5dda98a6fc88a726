#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "system/microphone_delay.h"
#include "system/sound_sources.h"

class QDialog;

namespace vocalis {

class BackgroundQueue;
class EngineControl;
class MainWindow;
class Preferences;
class Scheduler;
class SongManager;
class SongSelectionWindow;
class ThumbnailManager;

// Opens the operator's windows from the main window's menu, a new one each time (the
// previous one of its kind closes), and keeps the pointer from hiding while any is open.
class OperatorWindows final : public QObject {
    Q_OBJECT

  public:
    struct Parts {
        MainWindow& window;
        EngineControl& engine;
        SongManager& songs;
        const ThumbnailManager& thumbnails;
        Preferences& preferences;
        Scheduler& mainThread;
        BackgroundQueue& background;
        std::string loginName;
        QPixmap banner;
        // The sound server's inputs, for the choice of microphone; none: no choice but the default.
        std::function<std::vector<SoundSource>()> soundSources;
        // Measures a microphone's delay, for the settings; none: no measuring.
        std::function<MicrophoneDelay(const std::string& source, std::stop_token stop)>
            measureMicrophoneDelay{};
        std::function<void(std::chrono::milliseconds)> setMicrophoneDelay{};  // the one listening now
    };

    explicit OperatorWindows(Parts parts);
    ~OperatorWindows() override;

    SongSelectionWindow* openSongSelection();
    QDialog* openEqualizer();
    QDialog* openSettings();
    // Only once the catalogue is loaded; nullptr before.
    QDialog* openThumbnails();
    int openCount() const;

  private:
    void replace(QPointer<QDialog>& slot, QDialog* window);
    void windowsChanged();

    Parts parts_;
    QPointer<QDialog> selection_;
    QPointer<QDialog> equalizer_;
    QPointer<QDialog> settings_;
    QPointer<QDialog> thumbnailBatch_;
};

}  // namespace vocalis
