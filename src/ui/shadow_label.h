#pragma once

#include <QColor>
#include <QImage>
#include <QLabel>

namespace vocalis {

// A label whose text has a soft shadow (or a glow, in a light colour) around it.
//
// The shadow is a QGraphicsDropShadowEffect rendered once per text, font or size and kept:
// the video repaints under the label many times a second, and blurring the text on every
// repaint would cost more than drawing the frame.
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
    struct Key {
        QString text;
        QSize size;
        QString font;
        qreal ratio = 0;
        bool operator==(const Key&) const = default;
    };
    Key currentKey() const;
    QImage render() const;

    QColor textColor_ = Qt::white;
    QColor shadowColor_ = Qt::black;
    qreal blurRadius_ = 0;
    Key cachedKey_;
    QImage cache_;
};

// The picture with a drop shadow in the given colour around everything it draws.
QImage withShadow(const QImage& picture, const QColor& color, qreal blurRadius);

}  // namespace vocalis
