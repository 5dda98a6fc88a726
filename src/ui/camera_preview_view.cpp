#include "ui/camera_preview_view.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <cstring>

namespace vocalis {

namespace {
constexpr qreal kCornerRadius = 8.0;
constexpr qreal kShadowRadius = 8.0;
constexpr int kMargin = 24;
}  // namespace

CameraPreviewView::CameraPreviewView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cameraPreview"));
    setAttribute(Qt::WA_TranslucentBackground);
    auto* shadow = new QGraphicsDropShadowEffect(this);
    // Qt's blur radius spans the whole fade, twice the usual shadow radius.
    shadow->setBlurRadius(2 * kShadowRadius);
    shadow->setOffset(0, 0);
    shadow->setColor(Qt::black);
    setGraphicsEffect(shadow);
    hide();
}

void CameraPreviewView::place() {
    if (!parentWidget()) return;
    const int width = std::max(160, parentWidget()->width() / 4);
    const int height = width * 9 / 16;
    setGeometry(parentWidget()->width() - width - kMargin, parentWidget()->height() - height - kMargin, width,
                height);
}

void CameraPreviewView::showPreviewFrame(PreviewFrame frame) {
    if (frame.width <= 0 || frame.height <= 0) return;
    // Blue, green, red and a spare byte is Qt's 32-bit RGB on a little-endian machine.
    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    const std::size_t row = static_cast<std::size_t>(frame.width) * 4;
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(image.scanLine(y), frame.pixels.data() + row * static_cast<std::size_t>(y), row);
    // The capture's thread hands over; the main thread paints.
    QMetaObject::invokeMethod(
        this,
        [this, image = std::move(image)] {
            frame_ = image;
            update();
        },
        Qt::QueuedConnection);
}

void CameraPreviewView::setPreviewShown(bool shown) {
    if (shown) {
        place();
        raise();
    } else {
        frame_ = QImage();
    }
    setVisible(shown);
}

void CameraPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.setClipPath(rounded);
    painter.fillRect(rect(), Qt::black);
    if (frame_.isNull()) return;
    // Fill the view, cropping what overflows.
    const QSize filled = frame_.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
    const QRect target((width() - filled.width()) / 2, (height() - filled.height()) / 2, filled.width(),
                       filled.height());
    painter.drawImage(target, frame_);
}

}  // namespace vocalis
