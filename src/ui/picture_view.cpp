#include "ui/picture_view.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/circle_picture.h"
#include "ui/overlay_style.h"

namespace vocalis {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    addShadow(this, QColor(0, 0, 0, 200), 24);
    applyScale(1);
}

bool PictureView::setPicture(const ImageBytes& bytes) {
    auto circle = circlePicture(bytes);
    if (!circle) return false;
    picture_ = std::move(*circle);
    update();
    return true;
}

void PictureView::applyScale(qreal scale) {
    scale_ = scale;
    const int side = static_cast<int>(std::lround(300 * scale));
    setFixedSize(side, side);
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal ring = 4 * scale_;
    const QRectF circle = QRectF(rect()).adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2);
    painter.drawImage(circle, picture_);
    painter.setPen(QPen(Qt::white, ring));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle);
}

}  // namespace vocalis
