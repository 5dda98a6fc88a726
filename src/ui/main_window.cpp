#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <utility>

#include "app/engine_control.h"
#include "base/log.h"
#include "ui/black_view.h"
#include "ui/camera_preview_view.h"
#include "ui/key_commands.h"
#include "ui/next_view.h"
#include "ui/picture_view.h"
#include "ui/pitch_band_view.h"
#include "ui/pointer_auto_hide.h"
#include "ui/qt_scheduler.h"
#include "ui/scoring_view.h"
#include "ui/screen_view.h"
#include "ui/shadow_label.h"
#include "ui/video_view.h"
#include "ui/volume_view.h"

namespace vocalis {

namespace {

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

// A missing or unreadable picture leaves a drawn stand-in in its place.
QImage loadImage(const QString& path) {
    if (path.isEmpty()) return {};
    QImage image(path);
    if (image.isNull()) logParts("Cannot read the picture ", path.toStdString());
    return image;
}

// A picture shown only now and then is checked here (its header alone) and read when shown.
QString readablePicture(const QString& path) {
    if (path.isEmpty()) return {};
    if (QImageReader(path).canRead()) return path;
    logParts("Cannot read the picture ", path.toStdString());
    return {};
}

}  // namespace

MainWindow::MainWindow(Resources resources, QWidget* parent)
    : MainWindow(std::move(resources), nullptr, parent) {}

MainWindow::MainWindow(Resources resources, Scheduler& scheduler, QWidget* parent)
    : MainWindow(std::move(resources), &scheduler, parent) {}

MainWindow::MainWindow(Resources resources, Scheduler* scheduler, QWidget* parent)
    : QMainWindow(parent),
      ownScheduler_(scheduler ? nullptr : std::make_unique<QtScheduler>()),
      scheduler_(scheduler ? *scheduler : *ownScheduler_),
      screen_(new ScreenView(loadImage(resources.banner), readablePicture(resources.scoreBackground), this)),
      cameraPreview_(new CameraPreviewView(screen_)) {
    setWindowTitle(QStringLiteral("Vocalis Player"));
    setMinimumSize(320, 180);
    resize(1280, 720);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setCentralWidget(screen_);
    buildMenus();

    // Every widget reports movement, so the pointer wakes wherever it moves.
    setMouseTracking(true);
    for (QWidget* child : findChildren<QWidget*>()) child->setMouseTracking(true);
    screen_->installEventFilter(this);
    qApp->installEventFilter(this);

    pointer_ = std::make_unique<PointerAutoHide>(scheduler_, [this](bool visible) { showPointer(visible); });
    pointer_->setAutoHide(true);
    setMenusEnabled(false, false);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    pointer_.reset();
}

void MainWindow::buildMenus() {
    menuBar_ = new QMenuBar(screen_);
    menuBar_->setNativeMenuBar(false);
    QMenu* menu = menuBar_->addMenu(QStringLiteral("Vocalis"));
    menuSelectSong_ = menu->addAction(QStringLiteral("Chọn bài hát"));
    menuThumbnail_ = menu->addAction(QStringLiteral("Tạo ảnh thu nhỏ"));
    menuEqualizer_ = menu->addAction(QStringLiteral("Bộ chỉnh âm"));
    menuSettings_ = menu->addAction(QStringLiteral("Cài đặt"));
    menu->addSeparator();
    menuRecord_ = menu->addAction(QStringLiteral("Ghi hình"));
    menuSelectSong_->setObjectName(QStringLiteral("menuSelectSong"));
    menuThumbnail_->setObjectName(QStringLiteral("menuThumbnail"));
    menuEqualizer_->setObjectName(QStringLiteral("menuEqualizer"));
    menuSettings_->setObjectName(QStringLiteral("menuSettings"));
    menuRecord_->setObjectName(QStringLiteral("menuRecord"));
    // The shortcuts work while the menu bar is hidden too: the window holds the actions.
    const std::pair<QAction*, QKeySequence> shortcuts[] = {
        {menuSelectSong_, QKeySequence(Qt::CTRL | Qt::Key_F)},
        {menuThumbnail_, QKeySequence(Qt::CTRL | Qt::Key_T)},
        {menuEqualizer_, QKeySequence(Qt::CTRL | Qt::Key_E)},
        {menuSettings_, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {menuRecord_, QKeySequence(Qt::CTRL | Qt::Key_R)}};
    for (const auto& [action, keys] : shortcuts) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::ApplicationShortcut);
        addAction(action);
    }

    // Opening an operator window first cancels a pending pointer hide.
    auto opens = [this](QAction* action, void (MainWindow::*request)()) {
        connect(action, &QAction::triggered, this, [this, request] {
            pointer_->cancelPendingHide();
            emit(this->*request)();
        });
    };
    opens(menuSelectSong_, &MainWindow::selectSongRequested);
    opens(menuThumbnail_, &MainWindow::thumbnailsRequested);
    opens(menuEqualizer_, &MainWindow::equalizerRequested);
    opens(menuSettings_, &MainWindow::settingsRequested);
    connect(menuRecord_, &QAction::triggered, this, [this] {
        if (engine_) engine_->issue(CommandKind::Record, CommandSource::Operator);
    });
    // No hiding while a menu is open; the countdown starts again when it closes.
    connect(menu, &QMenu::aboutToShow, this, [this] { pointer_->cancelPendingHide(); });
    connect(menu, &QMenu::aboutToHide, this, [this] { pointer_->pointerMoved(); });
    menuBar_->raise();
    placeMenuBar();
}

VideoSink& MainWindow::videoSink() { return *screen_->video(); }

void MainWindow::setEngine(EngineControl* engine) {
    engine_ = engine;
    if (engine_ && engineOwedSince_) {
        const auto ago = std::chrono::steady_clock::now() - *std::exchange(engineOwedSince_, std::nullopt);
        engine_->windowDidBecomeMain(std::chrono::duration_cast<Millis>(ago));
    }
}

void MainWindow::autoToHideCursor(bool on) { pointer_->setAutoHide(on); }
void MainWindow::hideCursor() { pointer_->hideNow(); }
bool MainWindow::isPointerVisible() const { return pointer_->pointerVisible(); }

void MainWindow::showPointer(bool visible) {
    if (visible)
        unsetCursor();
    else
        setCursor(Qt::BlankCursor);
    menuBar_->setVisible(visible);
    if (visible) menuBar_->raise();
}

void MainWindow::placeMenuBar() {
    menuBar_->setGeometry(0, 0, screen_->width(), menuBar_->sizeHint().height());
}

bool MainWindow::isMine(QObject* object) const {
    auto* widget = qobject_cast<QWidget*>(object);
    return widget && widget->window() == this;
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) becameActive();
    return QMainWindow::event(event);
}

void MainWindow::becameActive() {
    if (!activatedOnce_) {
        activatedOnce_ = true;
        if (!isFullScreen()) showFullScreen();
        pointer_->hideNow();
        pointer_->hideAfter(kFirstPointerHide);
        emit firstActivated();
    }
    if (engine_)
        engine_->windowDidBecomeMain(Millis{0});
    else if (!engineOwedSince_)
        engineOwedSince_ = std::chrono::steady_clock::now();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Resize:
            if (watched == screen_) {
                placeMenuBar();
                cameraPreview_->place();
            }
            break;
        case QEvent::KeyPress:
            if (isMine(watched)) {
                handleKey(static_cast<QKeyEvent*>(event)->key());
                return true;
            }
            break;
        case QEvent::KeyRelease:
            if (isMine(watched)) return true;
            break;
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
            if (isMine(watched)) pointer_->pointerMoved();
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::handleKey(int key) {
    logParts("keyCode: ", key);
    auto command = commandForKey(key);
    if (command && engine_) engine_->issue(*command, CommandSource::Operator);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

// ------------------------------------------------------------------ Overlays

void MainWindow::setTitleText(const std::string& value) { screen_->title()->setText(text(value)); }
void MainWindow::setTitleVisible(bool visible) { screen_->title()->setVisible(visible); }
// The title makes room for the up-next panel while it shows.
void MainWindow::setNextViewVisible(bool visible) {
    screen_->next()->setVisible(visible);
    screen_->relayout();
}

void MainWindow::fadeNextView(double alpha) {
    screen_->next()->fadeTo(alpha);
    screen_->relayout();
}

void MainWindow::setNextContent(const std::optional<ImageBytes>& thumbnail, const std::string& upNext,
                                const std::string& title, const std::string& singer) {
    screen_->next()->setContent(thumbnail, text(upNext), text(title), text(singer));
}

void MainWindow::setMessageText(const std::string& value) { screen_->message()->setText(text(value)); }
void MainWindow::setMessageVisible(bool visible) { screen_->message()->setVisible(visible); }
bool MainWindow::setPicture(const ImageBytes& image) { return screen_->picture()->setPicture(image); }
void MainWindow::setPictureVisible(bool visible) { screen_->picture()->setVisible(visible); }
void MainWindow::setBlackCoverVisible(bool visible) { screen_->blackCover()->setVisible(visible); }
void MainWindow::setVolumeLevel(int level) { screen_->volume()->setLevel(level); }
void MainWindow::setVolumeVisible(bool visible) { screen_->volume()->setVisible(visible); }
void MainWindow::setScoreNumber(int score) { screen_->scoring()->setNumber(score); }
void MainWindow::setScoreDetail(const std::string& line) {
    screen_->scoring()->setDetail(QString::fromStdString(line));
}
void MainWindow::setScoreVisible(bool visible) { screen_->scoring()->setVisible(visible); }

void MainWindow::setPitchBand(std::shared_ptr<const Melody> reference) {
    screen_->pitchBand()->setReference(std::move(reference));
}
void MainWindow::addSungPitches(const std::vector<SungFrame>& frames) {
    screen_->pitchBand()->addSung(frames);
}

void MainWindow::nudgeVideo() {
    screen_->relayout();
    screen_->video()->update();
}

void MainWindow::setMenusEnabled(bool enabled, bool recordEnabled) {
    for (QAction* action : {menuSelectSong_, menuThumbnail_, menuEqualizer_, menuSettings_})
        action->setEnabled(enabled);
    menuRecord_->setEnabled(enabled && recordEnabled);
}

}  // namespace vocalis
