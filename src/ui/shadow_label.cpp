#include "ui/shadow_label.h"

#include <QGraphicsDropShadowEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QPixmap>
#include <cmath>

namespace vocalis {

QImage withShadow(const QImage& picture, const QColor& color, qreal blurRadius) {
    QImage out(picture.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QGraphicsScene scene;
    auto* item = scene.addPixmap(QPixmap::fromImage(picture));
    auto* shadow = new QGraphicsDropShadowEffect;  // owned by the item
    shadow->setColor(color);
    shadow->setBlurRadius(blurRadius);
    shadow->setOffset(0, 0);
    item->setGraphicsEffect(shadow);
    scene.setSceneRect(QRectF(QPointF(0, 0), picture.size()));
    QPainter painter(&out);
    scene.render(&painter, QRectF(QPointF(0, 0), picture.size()), scene.sceneRect());
    painter.end();
    return out;
}

ShadowLabel::ShadowLabel(QWidget* parent) : QLabel(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setTextFormat(Qt::PlainText);
}

void ShadowLabel::setTextColor(const QColor& color) {
    textColor_ = color;
    cache_.invalidate();
    update();
}

void ShadowLabel::setShadow(const QColor& color, qreal blurRadius) {
    shadowColor_ = color;
    blurRadius_ = blurRadius;
    cache_.invalidate();
    update();
}

QImage ShadowLabel::render() const {
    const qreal ratio = devicePixelRatioF();
    QImage text(
        QSize(static_cast<int>(std::ceil(width() * ratio)), static_cast<int>(std::ceil(height() * ratio))),
        QImage::Format_ARGB32_Premultiplied);
    text.fill(Qt::transparent);
    {
        QPainter painter(&text);
        painter.scale(ratio, ratio);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font());
        painter.setPen(textColor_);
        const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
        painter.drawText(contentsRect(), flags, this->text());
    }
    QImage out = blurRadius_ > 0 ? withShadow(text, shadowColor_, blurRadius_ * ratio) : text;
    out.setDevicePixelRatio(ratio);
    return out;
}

void ShadowLabel::paintEvent(QPaintEvent*) {
    if (text() != drawnText_ || font() != drawnFont_) {
        drawnText_ = text();
        drawnFont_ = font();
        cache_.invalidate();
    }
    cache_.paintImage(*this, [this] { return render(); });
}

}  // namespace vocalis
