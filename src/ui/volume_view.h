#pragma once

#include <QWidget>

#include "ui/overlay_cache.h"

namespace vocalis {

// The volume panel: the level 0 ... 10 as a bar of ten steps, on black at alpha 0.5 with
// corners of radius 10.
class VolumeView final : public QWidget {
  public:
    static constexpr int kSteps = 10;

    explicit VolumeView(QWidget* parent = nullptr);
    void setLevel(int level);  // limited to 0 ... 10
    int level() const { return level_; }
    void applyScale(qreal scale);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void draw(QPainter& painter) const;

    int level_ = 0;
    qreal scale_ = 1;
    OverlayCache cache_;
};

}  // namespace vocalis
