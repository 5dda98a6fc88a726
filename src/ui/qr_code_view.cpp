#include "ui/qr_code_view.h"

#include <qrencode.h>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <memory>

#include "ui/screen_view.h"
#include "ui/shadow_label.h"

namespace vocalis {

namespace {

constexpr int kQuietModules = 4;
constexpr const char* kHideKey = "hideQrCode";

// One pixel per module, dark on white, with the quiet zone scanners need.
QImage encode(const std::string& text) {
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code) return {};
    const int side = code->width + 2 * kQuietModules;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                image.setPixel(x + kQuietModules, y + kQuietModules, qRgb(0, 0, 0));
    return image;
}

}  // namespace

QrCodeView::QrCodeView(Scheduler& scheduler, const SongManager& songs,
                       std::function<std::optional<std::string>()> address, ScreenView& screen)
    : QWidget(&screen), scheduler_(scheduler), songs_(songs), address_(std::move(address)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // The title banner is the lowest overlay, right above the video.
    stackUnder(screen.title());
    screen.installEventFilter(this);
    showCode();  // the intro: nothing is queued yet
}

int QrCodeView::hintTop(QSize screen) {
    const int pictureHeight = std::min(screen.height(), screen.width() * 9 / 16);
    return (screen.height() - pictureHeight) / 2 + pictureHeight * 84 / 100;
}

QrCodeView::~QrCodeView() { scheduler_.cancel(kHideKey); }

void QrCodeView::queueChanged() {
    if (songs_.isQueueEmpty()) {
        scheduler_.cancel(kHideKey);
        showCode();
    } else if (!scheduler_.isScheduled(kHideKey)) {
        hide();
    }
}

void QrCodeView::currentSongChanged(std::int32_t songId) {
    const Song* head = songs_.getCurrentSong();
    if (head && head->songId == songId) {
        showCode();
        scheduler_.schedule(kHideKey, kShownAtStart, [this] { hide(); });
    } else {
        queueChanged();
    }
}

void QrCodeView::showCode() {
    const auto address = address_ ? address_() : std::nullopt;
    if (!address) {
        hide();
        return;
    }
    if (QString::fromStdString(*address) != text_) {
        text_ = QString::fromStdString(*address);
        modules_ = encode(*address);
    }
    if (modules_.isNull()) {
        hide();
        return;
    }
    place();
    show();
}

// A phone three metres from a 1080p TV reads modules of 8 px and more; a version 3 code with
// its quiet zone is then 333 px, left of the idle clip's title and invitation.
void QrCodeView::place() {
    if (!parentWidget()) return;
    const QSize screen = parentWidget()->size();
    // Sized by the clip's picture, which a screen taller than 16:9 shows letterboxed.
    const int H = std::min(screen.height(), screen.width() * 9 / 16);
    codeSide_ = std::max(1, H / 120) * modules_.width();
    const int codeSide = codeSide_;
    // The address no wider than the code, so the whole stays left of the clip's texts.
    QFont font = this->font();
    font.setBold(true);
    int pixels = std::max(12, H / 45);
    do {
        font.setPixelSize(pixels);
    } while (QFontMetrics(font).horizontalAdvance(text_) + H / 60 > codeSide && --pixels > 10);
    setFont(font);
    const int textHeight = QFontMetrics(font).height() + H / 120;
    const int width = std::max(codeSide, QFontMetrics(font).horizontalAdvance(text_) + H / 60);
    const int margin = H / 40;
    const int bottom = hintTop(screen) - H / 60;
    setGeometry(margin, std::max(0, bottom - codeSide - textHeight), width, codeSide + textHeight);
    cache_.invalidate();
}

bool QrCodeView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize && !modules_.isNull()) place();
    return QWidget::eventFilter(watched, event);
}

void QrCodeView::paintEvent(QPaintEvent*) {
    if (modules_.isNull()) return;
    cache_.paint(*this, [this](QPainter& painter) {
        const int codeSide = codeSide_;
        const int textHeight = height() - codeSide;
        painter.fillRect(rect(), QColor(0, 0, 0, 150));
        // Whole pixels per module, never smoothed: blurred edges are what scanners miss.
        painter.drawImage(QRect((width() - codeSide) / 2, 0, codeSide, codeSide), modules_);
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(QRect(0, codeSide, width(), textHeight), Qt::AlignCenter, text_);
    });
}

}  // namespace vocalis
