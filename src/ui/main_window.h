#pragma once

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

#include "app/media/video_sink.h"
#include "app/overlays.h"
#include "base/scheduler.h"

class QAction;
class QMenuBar;

namespace vocalis {

class CameraPreviewView;
class EngineControl;
class PointerAutoHide;
class QtScheduler;
class ScreenView;

// The full-screen main window: the video, every overlay, the menu bar, the keys and the
// pointer. It draws what the engine tells it through Overlays and hands keys, menu items
// and its own activation to the engine.
//
// The menu bar floats over the top of the video and shows only while the pointer does.
class MainWindow final : public QMainWindow, public Overlays {
    Q_OBJECT

  public:
    struct Resources {
        QString banner;           // picture of the up-next panel for songs without a thumbnail
        QString scoreBackground;  // the score screen's background
    };

    static constexpr Millis kFirstPointerHide{10000};

    explicit MainWindow(Resources resources, QWidget* parent = nullptr);
    // Runs the window's own timers (the pointer's) on the given scheduler instead of its own.
    MainWindow(Resources resources, Scheduler& scheduler, QWidget* parent = nullptr);
    ~MainWindow() override;

    VideoSink& videoSink();                 // give this to VlcMediaPlayer
    void setEngine(EngineControl* engine);  // keys, menu items and window events go to it

    // Pointer auto-hide; operator windows turn it off while they are open.
    void autoToHideCursor(bool on);
    void hideCursor();
    bool isPointerVisible() const;

    ScreenView& screen() const { return *screen_; }
    CameraPreviewView& cameraPreview() const { return *cameraPreview_; }  // give this to the camera
    QMenuBar* menus() const { return menuBar_; }
    QAction* menuSelectSong() const { return menuSelectSong_; }
    QAction* menuThumbnail() const { return menuThumbnail_; }
    QAction* menuEqualizer() const { return menuEqualizer_; }
    QAction* menuSettings() const { return menuSettings_; }
    QAction* menuRecord() const { return menuRecord_; }

    // --- Overlays
    void setTitleText(const std::string& text) override;
    void setTitleVisible(bool visible) override;
    void setNextViewVisible(bool visible) override;
    void fadeNextView(double alpha) override;
    void setNextContent(const std::optional<ImageBytes>& thumbnail, const std::string& upNext,
                        const std::string& title, const std::string& singer) override;
    void setMessageText(const std::string& text) override;
    void setMessageVisible(bool visible) override;
    bool setPicture(const ImageBytes& image) override;
    void setPictureVisible(bool visible) override;
    void setBlackCoverVisible(bool visible) override;
    void setVolumeLevel(int level) override;
    void setVolumeVisible(bool visible) override;
    void setScoreNumber(int score) override;
    void setScoreDetail(const std::string& line) override;
    void setScoreVisible(bool visible) override;
    void setPitchBand(std::shared_ptr<const Melody> reference) override;
    void addSungPitches(const std::vector<SungFrame>& frames) override;
    void nudgeVideo() override;
    void setMenusEnabled(bool enabled, bool recordEnabled) override;

  signals:
    // The operator windows' menu items; the windows themselves are opened by whoever
    // listens.
    void selectSongRequested();
    void thumbnailsRequested();
    void equalizerRequested();
    void settingsRequested();
    // The window became the active one for the first time.
    void firstActivated();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    MainWindow(Resources resources, Scheduler* scheduler, QWidget* parent);
    void buildMenus();
    void becameActive();
    void handleKey(int key);
    void showPointer(bool visible);
    void placeMenuBar();
    bool isMine(QObject* object) const;

    std::unique_ptr<QtScheduler> ownScheduler_;
    Scheduler& scheduler_;
    ScreenView* screen_;
    CameraPreviewView* cameraPreview_;
    QMenuBar* menuBar_ = nullptr;
    QAction* menuSelectSong_ = nullptr;
    QAction* menuThumbnail_ = nullptr;
    QAction* menuEqualizer_ = nullptr;
    QAction* menuSettings_ = nullptr;
    QAction* menuRecord_ = nullptr;
    std::unique_ptr<PointerAutoHide> pointer_;
    EngineControl* engine_ = nullptr;
    bool activatedOnce_ = false;
    // When the window became active with no engine yet to tell.
    std::optional<std::chrono::steady_clock::time_point> engineOwedSince_;
};

}  // namespace vocalis
