#pragma once

#include <QDialog>
#include <cstddef>
#include <functional>
#include <memory>

#include "base/background_queue.h"
#include "base/scheduler.h"
#include "catalogue/catalogue.h"
#include "thumbnails/thumbnail_tool.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vocalis {

// The thumbnail batch: makes the missing pictures of the whole catalogue, one song after
// the other on the background queue, showing done / total and the time left. Closing
// stops it after the song at hand; the window stays (hidden) until that song is done, so
// the batch always ends with its final status, then it goes.
class ThumbnailWindow final : public QDialog {
    Q_OBJECT

  public:
    struct Parts {
        std::shared_ptr<const Catalogue> catalogue;
        ThumbnailTool tool;
        BackgroundQueue& background;
        Scheduler& mainThread;
        // The engine's flag that keeps the up-next step from running the tool meanwhile:
        // on from showing until closing.
        std::function<void(bool running)> setRunning;
    };

    explicit ThumbnailWindow(Parts parts, QWidget* parent = nullptr);
    ~ThumbnailWindow() override;

    QProgressBar* progress() const { return progress_; }
    QLabel* lblStatus() const { return lblStatus_; }
    QLabel* lblProgress() const { return lblProgress_; }
    QPushButton* btnStop() const { return btnStop_; }

    // Every way of closing comes here (the button, Escape, the window's close box).
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    struct Batch;
    // One song per background task, each posting the next, so other background work (the
    // up-next step, which needs a picture within seconds) never waits for the whole catalogue.
    static void makeFrom(const std::shared_ptr<Batch>& batch, std::size_t index);
    void start();
    void stop();
    void showProgress();
    void ended();

    Parts parts_;
    std::shared_ptr<Batch> batch_;
    int total_ = 0;
    bool started_ = false, running_ = false, closed_ = false, ended_ = false;
    QProgressBar* progress_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QLabel* lblProgress_ = nullptr;
    QPushButton* btnStop_ = nullptr;
};

}  // namespace vocalis
