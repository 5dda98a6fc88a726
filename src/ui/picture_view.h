#pragma once

#include <QImage>
#include <QWidget>

#include "app/overlays.h"

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
    QImage render() const;

    QImage picture_;
    qreal scale_ = 1;
    // The panel as drawn, made again only when the picture or the size changes: the video
    // repaints under it all the time.
    QImage drawn_;
};

}  // namespace vocalis
