#include "ui/picture_view.h"

#include <QPainter>
#include <cmath>

#include "ui/circle_picture.h"

namespace vocalis {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    applyScale(1);
}

bool PictureView::setPicture(const ImageBytes& bytes) {
    auto circle = circlePicture(bytes);
    if (!circle) return false;
    picture_ = std::move(*circle);
    drawn_ = QImage();
    update();
    return true;
}

void PictureView::applyScale(qreal scale) {
    scale_ = scale;
    const int side = static_cast<int>(std::lround(300 * scale));
    setFixedSize(side, side);
    drawn_ = QImage();
    update();
}

QImage PictureView::render() const {
    const qreal ratio = devicePixelRatioF();
    QImage out(
        QSize(static_cast<int>(std::ceil(width() * ratio)), static_cast<int>(std::ceil(height() * ratio))),
        QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    out.setDevicePixelRatio(ratio);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal ring = 4 * scale_;
    const QRectF circle = QRectF(rect()).adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2);
    painter.drawImage(circle, picture_);
    painter.setPen(QPen(Qt::white, ring));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle);
    return out;
}

void PictureView::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    if (drawn_.isNull() || drawn_.deviceIndependentSize() != QSizeF(size())) drawn_ = render();
    QPainter(this).drawImage(QPointF(0, 0), drawn_);
}

}  // namespace vocalis
