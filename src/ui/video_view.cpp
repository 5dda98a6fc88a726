#include "ui/video_view.h"

#include <unistd.h>

#include <QImage>
#include <QMetaObject>
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

void VideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const std::shared_ptr<const VideoFrame> frame = currentFrame();
    if (!frame || frame->width <= 0 || frame->height <= 0 ||
        frame->pixels.size() <
            static_cast<std::size_t>(frame->stride()) * static_cast<std::size_t>(frame->height)) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Wraps the pixels without copying; `frame` keeps them alive until painting is done.
    QImage image(frame->pixels.data(), frame->width, frame->height, frame->stride(), QImage::Format_RGB32);
    const qreal ratio = devicePixelRatioF();
    const QSize device(static_cast<int>(std::lround(width() * ratio)),
                       static_cast<int>(std::lround(height() * ratio)));
    if (!paintedPicture_) {
        // For the start-up benchmark: how long from launch until the first picture is shown.
        paintedPicture_ = true;
        logParts("First video picture painted ", millisecondsSinceLaunch(), " ms after launch");
    }
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
