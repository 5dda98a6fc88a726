#include "ui/thumbnail_window.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>

#include "base/log.h"

namespace vocalis {

// What the background songs and the window share. The counters are written on the
// background queue; `window` is read and cleared on the main thread only.
struct ThumbnailWindow::Batch {
    Batch(std::shared_ptr<const Catalogue> songs, ThumbnailTool tool, BackgroundQueue& background,
          Scheduler& mainThread)
        : catalogue(songs ? std::move(songs) : std::make_shared<const Catalogue>()),
          tool(std::move(tool)),
          background(background),
          mainThread(mainThread) {}

    const std::shared_ptr<const Catalogue> catalogue;
    const ThumbnailTool tool;
    BackgroundQueue& background;
    Scheduler& mainThread;
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};          // songs passed
    std::atomic<int> runs{0};          // tool runs finished
    std::atomic<int> runsExpected{0};  // songs without a picture when the batch began
    std::atomic<std::int64_t> toolMillis{0};
    // One progress report waits on the main thread at most, however fast songs pass
    // (a catalogue whose pictures all exist passes thousands a second).
    std::atomic<bool> reportPending{false};
    ThumbnailWindow* window = nullptr;
};

namespace {

bool needsTool(const Song& song, const ThumbnailTool& tool) {
    return !song.isVcv() && !std::filesystem::exists(tool.outputPath(song));
}

QString durationText(std::int64_t millis) {
    const std::int64_t seconds = (millis + 999) / 1000;
    if (seconds < 60) return QStringLiteral("%1 giây").arg(std::max<std::int64_t>(seconds, 1));
    const std::int64_t minutes = (seconds + 59) / 60;
    if (minutes < 60) return QStringLiteral("%1 phút").arg(minutes);
    return QStringLiteral("%1 giờ %2 phút").arg(minutes / 60).arg(minutes % 60);
}

}  // namespace

ThumbnailWindow::ThumbnailWindow(Parts parts, QWidget* parent)
    : QDialog(parent),
      parts_(std::move(parts)),
      batch_(std::make_shared<Batch>(parts_.catalogue, parts_.tool, parts_.background, parts_.mainThread)) {
    // Not deleted on close: a closed window still waits for the song at hand (ended()).
    setWindowTitle(QStringLiteral("Tạo thumbnail"));
    batch_->window = this;
    total_ = parts_.catalogue ? static_cast<int>(parts_.catalogue->songs.size()) : 0;

    lblStatus_ = new QLabel(QStringLiteral("Đang tạo thumbnail…"), this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, total_);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    lblProgress_ = new QLabel(this);
    btnStop_ = new QPushButton(QStringLiteral("Dừng"), this);
    btnStop_->setDefault(true);
    connect(btnStop_, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblProgress_, 1);
    buttons->addWidget(btnStop_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    showProgress();

    // Quitting with the window open must not wait for the rest of the catalogue.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [batch = batch_] { batch->stop = true; });
}

ThumbnailWindow::~ThumbnailWindow() {
    stop();
    batch_->window = nullptr;
}

void ThumbnailWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) start();
}

void ThumbnailWindow::start() {
    started_ = true;
    running_ = true;
    if (parts_.setRunning) parts_.setRunning(true);
    parts_.background.post([batch = batch_] { makeFrom(batch, 0); });
}

void ThumbnailWindow::makeFrom(const std::shared_ptr<Batch>& batch, std::size_t index) {
    const std::vector<Song>& songs = batch->catalogue->songs;
    const ThumbnailTool& tool = batch->tool;
    if (index == 0)
        batch->runsExpected = static_cast<int>(std::count_if(
            songs.begin(), songs.end(), [&](const Song& song) { return needsTool(song, tool); }));
    if (batch->stop || index >= songs.size()) {
        batch->mainThread.post([batch] {
            if (batch->window) batch->window->ended();
        });
        return;
    }
    // Checked again: the thumbnail endpoint may have stored it meanwhile.
    if (needsTool(songs[index], tool)) {
        const auto begin = std::chrono::steady_clock::now();
        tool.run(songs[index]);
        batch->toolMillis +=
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
                .count();
        ++batch->runs;
    }
    ++batch->done;
    if (!batch->reportPending.exchange(true))
        batch->mainThread.post([batch] {
            batch->reportPending = false;
            if (batch->window) batch->window->showProgress();
        });
    batch->background.post([batch, index] { makeFrom(batch, index + 1); });
}

void ThumbnailWindow::stop() {
    batch_->stop = true;
    if (!running_) return;
    running_ = false;
    if (parts_.setRunning) parts_.setRunning(false);
}

void ThumbnailWindow::showProgress() {
    const int done = batch_->done;
    progress_->setValue(done);
    QString text = QStringLiteral("%1 / %2").arg(done).arg(total_);
    // From the tool runs so far: songs that already have a picture take no time.
    const int runs = batch_->runs;
    const int left = std::max(0, batch_->runsExpected - runs);
    if (!ended_ && runs > 0 && left > 0)
        text += QStringLiteral(" · còn khoảng ") + durationText(batch_->toolMillis / runs * left);
    lblProgress_->setText(text);
}

void ThumbnailWindow::ended() {
    ended_ = true;
    showProgress();
    lblStatus_->setText(QStringLiteral("Đã tạo xong tất cả thumbnail"));
    btnStop_->setText(QStringLiteral("OK"));
    logParts("Thumbnail batch ", batch_->done < total_ ? "stopped" : "finished", ": ", batch_->done.load(),
             " of ", total_, " songs, the tool ran ", batch_->runs.load(), " times");
    if (closed_) deleteLater();
}

void ThumbnailWindow::done(int result) {
    closed_ = true;
    stop();
    QDialog::done(result);
    if (ended_) deleteLater();
}

}  // namespace vocalis
