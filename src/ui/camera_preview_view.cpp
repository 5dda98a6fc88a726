#include "ui/camera_preview_view.h"

#include <QPainter>
#include <QPainterPath>
#include <cstdint>
#include <cstring>

namespace vocalis {

namespace {
constexpr qreal kCornerRadius = 8.0;
constexpr int kShadow = 8;  // the shadow's radius: black at the picture's edge, fading out
constexpr int kMargin = 24;
}  // namespace

CameraPreviewView::CameraPreviewView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cameraPreview"));
    setAttribute(Qt::WA_TranslucentBackground);
    hide();
}

void CameraPreviewView::place() {
    if (!parentWidget()) return;
    const int width = std::max(160, parentWidget()->width() / 4);
    const int height = width * 9 / 16;
    const QRect picture(parentWidget()->width() - width - kMargin,
                        parentWidget()->height() - height - kMargin, width, height);
    // The view reaches past the picture by the shadow's radius, so the shadow is its own to draw.
    setGeometry(picture.adjusted(-kShadow, -kShadow, kShadow, kShadow));
}

QRect CameraPreviewView::pictureGeometry() const {
    return geometry().adjusted(kShadow, kShadow, -kShadow, -kShadow);
}

void CameraPreviewView::showPreviewFrame(PreviewFrame frame) {
    if (frame.width <= 0 || frame.height <= 0) return;
    // Blue, green, red and a spare byte is Qt's 32-bit RGB on a little-endian machine, whose
    // spare byte must be 0xFF: the capture leaves it 0, which drawn into the overlay's cached
    // picture reads as transparent.
    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    const std::size_t row = static_cast<std::size_t>(frame.width) * 4;
    for (int y = 0; y < frame.height; ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        std::memcpy(line, frame.pixels.data() + row * static_cast<std::size_t>(y), row);
        for (int x = 0; x < frame.width; ++x) line[x] |= 0xFF000000u;
    }
    // The capture's thread hands over; the main thread paints.
    QMetaObject::invokeMethod(
        this,
        [this, image = std::move(image)] {
            frame_ = image;
            cache_.invalidate();
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
        cache_.release();
    }
    setVisible(shown);
}

void CameraPreviewView::paintEvent(QPaintEvent*) {
    cache_.paint(*this, [this](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF picture = QRectF(rect()).adjusted(kShadow, kShadow, -kShadow, -kShadow);
        painter.setPen(Qt::NoPen);
        for (int ring = kShadow; ring > 0; --ring) {
            const qreal fade = 1.0 - static_cast<qreal>(ring) / (kShadow + 1);
            painter.setBrush(QColor(0, 0, 0, static_cast<int>(255 * fade * fade / 2)));
            painter.drawRoundedRect(picture.adjusted(-ring, -ring, ring, ring), kCornerRadius + ring,
                                    kCornerRadius + ring);
        }
        QPainterPath rounded;
        rounded.addRoundedRect(picture, kCornerRadius, kCornerRadius);
        painter.setClipPath(rounded);
        painter.fillRect(picture, Qt::black);
        if (frame_.isNull()) return;
        // Fill the picture's frame, cropping what overflows.
        const QSizeF filled = QSizeF(frame_.size()).scaled(picture.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(picture.center().x() - filled.width() / 2,
                            picture.center().y() - filled.height() / 2, filled.width(), filled.height());
        painter.drawImage(target, frame_);
    });
}

}  // namespace vocalis
