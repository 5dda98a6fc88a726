#include "ui/overlay_cache.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace vocalis {

namespace {

QRect shownPixels(const QImage& image) {
    int top = -1, bottom = -1, left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int first = 0;
        while (first < image.width() && qAlpha(line[first]) == 0) ++first;
        if (first == image.width()) continue;
        int last = image.width() - 1;
        while (qAlpha(line[last]) == 0) --last;
        if (top < 0) top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QImage blankFor(const QWidget& widget) {
    const qreal ratio = widget.devicePixelRatioF();
    QImage image(QSize(static_cast<int>(std::ceil(widget.width() * ratio)),
                       static_cast<int>(std::ceil(widget.height() * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

void OverlayCache::paint(QWidget& widget, const Draw& draw, qreal opacity) {
    paintImage(
        widget,
        [&] {
            QImage image = blankFor(widget);
            QPainter painter(&image);
            draw(painter);
            return image;
        },
        opacity);
}

void OverlayCache::paintImage(QWidget& widget, const std::function<QImage()>& render, qreal opacity) {
    const Shape shape{widget.size(), widget.devicePixelRatioF()};
    if (drawnFor_ != shape) {
        image_ = render();
        shown_ = shownPixels(image_);
        drawnFor_ = shape;
    }
    if (shown_.isEmpty() || opacity <= 0) return;
    QPainter painter(&widget);
    painter.setOpacity(opacity);
    const QRectF source(shown_);
    painter.drawImage(QRectF(source.topLeft() / shape.ratio, source.size() / shape.ratio), image_, source);
}

}  // namespace vocalis
