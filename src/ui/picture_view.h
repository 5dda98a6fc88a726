#pragma once

#include <QImage>
#include <QWidget>

#include "app/overlays.h"
#include "ui/overlay_cache.h"

namespace vocalis {

// The picture panel: a phone's picture cropped to a circle, with a white ring.
class PictureView final : public QWidget {
  public:
    explicit PictureView(QWidget* parent = nullptr);

    // False (and the old picture stays) when the bytes are not a picture.
    bool setPicture(const ImageBytes& bytes);
    const QImage& picture() const { return picture_; }
    void applyScale(qreal scale);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void draw(QPainter& painter) const;

    QImage picture_;
    qreal scale_ = 1;
    OverlayCache cache_;
};

}  // namespace vocalis
