#include "ui/qr_code_view.h"

#include <qrencode.h>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <memory>

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
                       std::function<std::optional<std::string>()> address, QWidget* parent)
    : QWidget(parent), scheduler_(scheduler), songs_(songs), address_(std::move(address)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (parent) parent->installEventFilter(this);
    showCode();  // the intro: nothing is queued yet
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
    raise();
}

// Big enough to scan from three metres on a 1080p screen: about a quarter of its height.
void QrCodeView::place() {
    if (!parentWidget()) return;
    const int H = parentWidget()->height();
    codeSide_ = std::max(modules_.width(), (H / 4) / modules_.width() * modules_.width());
    const int codeSide = codeSide_;
    QFont font = this->font();
    font.setPixelSize(std::max(12, H / 45));
    font.setBold(true);
    setFont(font);
    const int textHeight = QFontMetrics(font).height() + H / 120;
    const int width = std::max(codeSide, QFontMetrics(font).horizontalAdvance(text_) + H / 60);
    const int margin = H / 40;
    setGeometry(margin, H - margin - codeSide - textHeight, width, codeSide + textHeight);
}

bool QrCodeView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize && !modules_.isNull()) place();
    return QWidget::eventFilter(watched, event);
}

void QrCodeView::paintEvent(QPaintEvent*) {
    if (modules_.isNull()) return;
    QPainter painter(this);
    const int codeSide = codeSide_;
    const int textHeight = height() - codeSide;
    painter.fillRect(rect(), QColor(0, 0, 0, 150));
    // Whole pixels per module, never smoothed: blurred edges are what scanners miss.
    painter.drawImage(QRect((width() - codeSide) / 2, 0, codeSide, codeSide), modules_);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, codeSide, width(), textHeight), Qt::AlignCenter, text_);
}

}  // namespace vocalis
