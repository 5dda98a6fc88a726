#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLabel>

#include "ui/overlay_cache.h"

namespace vocalis {

// A label whose text has a soft shadow (or a glow, in a light colour) around it.
//
// The shadow is a QGraphicsDropShadowEffect rendered once per text, font or size and kept:
// blurring the text on every repaint of the video under it would cost more than the frame.
class ShadowLabel final : public QLabel {
  public:
    explicit ShadowLabel(QWidget* parent = nullptr);

    void setTextColor(const QColor& color);
    void setShadow(const QColor& color, qreal blurRadius);
    qreal shadowBlurRadius() const { return blurRadius_; }
    const QColor& shadowColor() const { return shadowColor_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage render() const;

    QColor textColor_ = Qt::white;
    QColor shadowColor_ = Qt::black;
    qreal blurRadius_ = 0;
    // QLabel's setters are not virtual: the text and font drawn are compared at each paint.
    QString drawnText_;
    QFont drawnFont_;
    OverlayCache cache_;
};

// The picture with a drop shadow in the given colour around everything it draws.
QImage withShadow(const QImage& picture, const QColor& color, qreal blurRadius);

}  // namespace vocalis
