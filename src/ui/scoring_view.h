#pragma once

#include <QString>
#include <QWidget>

#include "ui/overlay_cache.h"

namespace vocalis {

class ShadowLabel;

// The score screen: the score background stretched over the whole view, the score in big white
// figures with a white glow, and a line under it for a measured score (its pitch and timing).
class ScoringView final : public QWidget {
  public:
    // `backgroundFile`: a picture file, read each time the score shows; none gives a stage light.
    explicit ScoringView(QString backgroundFile, QWidget* parent = nullptr);

    void setNumber(int score);
    void setDetail(const QString& line);  // empty: none
    ShadowLabel* numberLabel() const { return scoringNumber_; }
    ShadowLabel* detailLabel() const { return detail_; }
    // Fonts for the screen's scale, and the number's place in the middle.
    void applyScale(qreal scale);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The screen-sized background (8 MB at 1080p) is held only while the score shows.
    void hideEvent(QHideEvent* event) override;

  private:
    void placeNumber();

    QString backgroundFile_;
    OverlayCache cache_;  // the background at the view's size: stretching it is the costly part
    ShadowLabel* scoringNumber_;
    ShadowLabel* detail_;
};

}  // namespace vocalis
