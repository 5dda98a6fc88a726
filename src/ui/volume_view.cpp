#include "ui/volume_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/overlay_style.h"

namespace vocalis {

VolumeView::VolumeView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    applyScale(1);
}

void VolumeView::setLevel(int level) {
    level_ = std::clamp(level, 0, kSteps);
    cache_.invalidate();
    update();
}

void VolumeView::applyScale(qreal scale) {
    scale_ = scale;
    setFixedSize(static_cast<int>(std::lround(420 * scale)), static_cast<int>(std::lround(76 * scale)));
    cache_.invalidate();
    update();
}

void VolumeView::paintEvent(QPaintEvent*) {
    cache_.paint(*this, [this](QPainter& painter) { draw(painter); });
}

void VolumeView::draw(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 128));
    painter.drawRoundedRect(QRectF(rect()), 10.0, 10.0);

    const qreal s = scale_;
    const qreal middle = height() / 2.0;

    // A loudspeaker.
    painter.setBrush(Qt::white);
    const qreal left = 20 * s;
    painter.drawRect(QRectF(left, middle - 8 * s, 10 * s, 16 * s));
    QPolygonF cone;
    cone << QPointF(left + 10 * s, middle - 8 * s) << QPointF(left + 24 * s, middle - 18 * s)
         << QPointF(left + 24 * s, middle + 18 * s) << QPointF(left + 10 * s, middle + 8 * s);
    painter.drawPolygon(cone);

    // Ten steps; the lit ones show the level.
    const qreal barLeft = left + 42 * s;
    const qreal numberWidth = 48 * s;
    const qreal barRight = width() - 20 * s - numberWidth;
    const qreal gap = 5 * s;
    const qreal step = (barRight - barLeft - gap * (kSteps - 1)) / kSteps;
    const qreal barHeight = 26 * s;
    for (int i = 0; i < kSteps; ++i) {
        const QRectF cell(barLeft + i * (step + gap), middle - barHeight / 2, step, barHeight);
        painter.setBrush(i < level_ ? QColor(0x4f, 0xc3, 0xf7) : QColor(255, 255, 255, 60));
        painter.drawRoundedRect(cell, 3 * s, 3 * s);
    }

    painter.setPen(Qt::white);
    painter.setFont(overlayFont(static_cast<int>(std::lround(28 * s)), true));
    painter.drawText(QRectF(width() - 20 * s - numberWidth, 0, numberWidth, height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(level_));
}

}  // namespace vocalis
