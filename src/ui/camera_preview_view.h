#pragma once

#include <QImage>
#include <QWidget>

#include "system/camera/camera_preview.h"
#include "ui/overlay_cache.h"

namespace vocalis {

// The small framed view of the live camera picture while a take runs: rounded corners and
// a black shadow; the picture fills the view, cropped. Hidden until the first take.
class CameraPreviewView final : public QWidget, public PreviewSink {
    Q_OBJECT

  public:
    explicit CameraPreviewView(QWidget* parent);

    // Places the view in the bottom right corner of its parent (the other corners hold the
    // up-next panel and the QR code), a quarter of its width.
    void place();
    QRect pictureGeometry() const;  // the picture itself, inside the shadow, in the parent
    const QImage& frame() const { return frame_; }

    // --- PreviewSink
    void showPreviewFrame(PreviewFrame frame) override;
    void setPreviewShown(bool shown) override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage frame_;
    OverlayCache cache_;  // the framed picture, drawn once per camera picture, not once per video picture
};

}  // namespace vocalis
