#include "ui/video_view.h"

#include <libyuv/convert_argb.h>
#include <unistd.h>

#include <QImage>
#include <QMetaObject>
#include <QPaintEngine>
#include <QPainter>
#include <QResizeEvent>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/log.h"

namespace vocalis {

namespace {

// Milliseconds since the kernel started this process (before any library was loaded), or -1.
long long millisecondsSinceLaunch() {
    std::ifstream file("/proc/self/stat");
    const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command name, which is in parentheses and may hold spaces.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i < 22 && fields >> field; ++i) {
    }
    unsigned long long startTicks = 0;
    timespec now{};
    if (!(fields >> startTicks) || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
    const long long nowMs = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return nowMs - static_cast<long long>(startTicks * 1000 /
                                          static_cast<unsigned long long>(::sysconf(_SC_CLK_TCK)));
}

// Turns the area of an I420 frame (in frame pixels) into BGRA at `target`, the area's
// top-left pixel, rows `targetStride` bytes apart. Two rows and two columns share a colour
// sample: an area starting on an odd row or column has that row or column converted alone,
// so every pixel takes its own sample.
void convertI420(const VideoFrame& frame, QRect area, uchar* target, int targetStride) {
    area = area.intersected(QRect(0, 0, frame.width, frame.height));
    if (area.isEmpty()) return;
    if (area.top() % 2 != 0 && area.height() > 1) {
        convertI420(frame, QRect(area.left(), area.top(), area.width(), 1), target, targetStride);
        convertI420(frame, area.adjusted(0, 1, 0, 0), target + targetStride, targetStride);
        return;
    }
    if (area.left() % 2 != 0 && area.width() > 1) {
        convertI420(frame, QRect(area.left(), area.top(), 1, area.height()), target, targetStride);
        convertI420(frame, area.adjusted(1, 0, 0, 0), target + 4, targetStride);
        return;
    }
    const int lumaStride = frame.stride(0), chromaStride = frame.stride(1);
    const std::ptrdiff_t luma = static_cast<std::ptrdiff_t>(area.top()) * lumaStride + area.left();
    const std::ptrdiff_t chroma =
        static_cast<std::ptrdiff_t>(area.top() / 2) * chromaStride + area.left() / 2;
    // libyuv's ARGB is B, G, R, A in memory: Qt's 32-bit formats on this machine, opaque.
    const std::ptrdiff_t chromaV =
        static_cast<std::ptrdiff_t>(area.top() / 2) * frame.stride(2) + area.left() / 2;
    libyuv::I420ToARGB(frame.plane(0) + luma, lumaStride, frame.plane(1) + chroma, chromaStride,
                       frame.plane(2) + chromaV, frame.stride(2), target, targetStride, area.width(),
                       area.height());
}

}  // namespace

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
    FrameSize size{static_cast<int>(std::lround(width() * ratio)),
                   static_cast<int>(std::lround(height() * ratio))};
    std::lock_guard lock(mutex_);
    deviceSize_ = size;
}

void VideoView::resizeEvent(QResizeEvent* event) {
    rememberDeviceSize();
    QWidget::resizeEvent(event);
}

void VideoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::shared_ptr<const VideoFrame> frame = currentFrame();
    if (!frame || !frame->complete()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (!paintedPicture_) {
        // For the start-up benchmark: how long from launch until the first picture is shown.
        paintedPicture_ = true;
        logParts("First video picture painted ", millisecondsSinceLaunch(), " ms after launch");
    }
    const qreal ratio = devicePixelRatioF();
    const QSize device(static_cast<int>(std::lround(width() * ratio)),
                       static_cast<int>(std::lround(height() * ratio)));
    // The player rounds odd sizes up to even ones: such a frame is still drawn one to one.
    const bool oneToOne = frame->width - device.width() >= 0 && frame->width - device.width() <= 1 &&
                          frame->height - device.height() >= 0 && frame->height - device.height() <= 1;
    if (oneToOne && paintIntoWindow(painter, *frame, event->region())) return;

    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    convertI420(*frame, QRect(0, 0, frame->width, frame->height), image.bits(),
                static_cast<int>(image.bytesPerLine()));
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (oneToOne) {
        image.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(0, 0), image, QRectF(QPointF(0, 0), QSizeF(device)));
    } else {
        // A frame asked for before the view changed size: stretched until the next
        // media asks for the new size.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(rect()), image);
    }
}

// Converts the frame's colours straight into the window's own pixels, only where Qt asked
// for a repaint (the overlays above that region are painted afterwards, so they compose over
// it). This is the one pass over each picture's pixels that an RGB frame drawn with QPainter
// would need twice. False where the window's pixels are not a plain 32-bit image reached by
// whole device pixels (grab() into a pixmap, a fade, a fractional scale): then the caller
// draws an image instead.
bool VideoView::paintIntoWindow(QPainter& painter, const VideoFrame& frame, const QRegion& region) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* target = engine ? engine->paintDevice() : nullptr;
    if (!target || target->devType() != QInternal::Image || painter.opacity() < 1.0) return false;
    auto* window = static_cast<QImage*>(target);
    const QImage::Format format = window->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        return false;
    const QTransform& toDevice = painter.deviceTransform();
    if (toDevice.type() > QTransform::TxScale || toDevice.m11() <= 0 || toDevice.m22() <= 0 ||
        toDevice.m11() != std::round(toDevice.m11()) || toDevice.m22() != std::round(toDevice.m22()) ||
        toDevice.dx() != std::round(toDevice.dx()) || toDevice.dy() != std::round(toDevice.dy()))
        return false;
    const QPoint origin(static_cast<int>(toDevice.dx()), static_cast<int>(toDevice.dy()));
    const QRect picture =
        QRect(origin, QSize(std::min(frame.width, static_cast<int>(width() * toDevice.m11())),
                            std::min(frame.height, static_cast<int>(height() * toDevice.m22()))))
            .intersected(window->rect());
    const QRegion dirty = toDevice.map(region).intersected(picture);
    uchar* pixels = window->bits();
    const auto stride = static_cast<int>(window->bytesPerLine());
    for (const QRect& area : dirty) {
        convertI420(frame, area.translated(-origin),
                    pixels + static_cast<std::ptrdiff_t>(area.y()) * stride + area.x() * 4, stride);
    }
    return true;
}

}  // namespace vocalis
