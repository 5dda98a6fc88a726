#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <functional>
#include <optional>

class QPainter;
class QWidget;

namespace vocalis {

// An overlay's pixels, drawn once per change into a premultiplied image and from then on only
// blended: the video repaints under the overlays thirty times a second, and Qt paints every
// overlay above it again each time. Only the box around the pixels that show is blended (a
// banner as wide as the screen holds a shorter text).
class OverlayCache {
  public:
    using Draw = std::function<void(QPainter&)>;

    // What the overlay shows changed: the next paint draws it again.
    void invalidate() { drawnFor_.reset(); }
    // The same, and the memory goes too: for an overlay that hides for long.
    void release() {
        drawnFor_.reset();
        image_ = QImage();
    }

    // Blends the pixels into `widget` (from its paintEvent), at `opacity`. They are drawn first,
    // by `draw` in the widget's coordinates on a transparent picture of its size, when
    // invalidated or when the widget's size or pixel ratio changed.
    void paint(QWidget& widget, const Draw& draw, qreal opacity = 1.0);
    // The same for pixels made whole by `render`: a premultiplied picture of the widget's size
    // in device pixels.
    void paintImage(QWidget& widget, const std::function<QImage()>& render, qreal opacity = 1.0);

  private:
    struct Shape {
        QSize size;
        qreal ratio = 0;
        bool operator==(const Shape&) const = default;
    };
    std::optional<Shape> drawnFor_;
    QImage image_;
    QRect shown_;  // the box around the pixels that show, in device pixels
};

}  // namespace vocalis
