#include "ui/video_view.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace vocalis {

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    rememberDeviceSize();
}

FrameSize VideoView::frameSizeFor(int, int) {
    std::lock_guard lock(mutex_);
    return deviceSize_;
}

void VideoView::presentFrame(std::shared_ptr<const VideoFrame> frame) {
    {
        std::lock_guard lock(mutex_);
        frame_ = std::move(frame);
    }
    if (repaintQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintQueued_ = false;
            update();
        },
        Qt::QueuedConnection);
}

std::shared_ptr<const VideoFrame> VideoView::currentFrame() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

FrameSize VideoView::deviceSize() const {
    std::lock_guard lock(mutex_);
    return deviceSize_;
}

void VideoView::rememberDeviceSize() {
    const qreal ratio = devicePixelRatioF();
    FrameSize size{static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio))};
    std::lock_guard lock(mutex_);
    deviceSize_ = size;
}

void VideoView::resizeEvent(QResizeEvent* event) {
    rememberDeviceSize();
    QWidget::resizeEvent(event);
}

void VideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const std::shared_ptr<const VideoFrame> frame = currentFrame();
    if (!frame || frame->width <= 0 || frame->height <= 0 ||
        frame->pixels.size() < static_cast<std::size_t>(frame->stride()) * static_cast<std::size_t>(frame->height)) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Wraps the pixels without copying; `frame` keeps them alive until painting is done.
    QImage image(frame->pixels.data(), frame->width, frame->height, frame->stride(), QImage::Format_RGB32);
    const qreal ratio = devicePixelRatioF();
    const QSize device(static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio)));
    if (image.size() == device) {
        image.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(0, 0), image);
    } else {
        // A frame asked for before the view changed size: stretched until the next
        // media asks for the new size.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(rect()), image);
    }
}

}  // namespace vocalis
