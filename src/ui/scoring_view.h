#pragma once

#include <QImage>
#include <QWidget>

namespace vocalis {

class ShadowLabel;

// The score screen: the score background stretched over the whole view and the score in
// big white figures with a white glow.
class ScoringView final : public QWidget {
  public:
    explicit ScoringView(QImage background, QWidget* parent = nullptr);

    void setNumber(int score);
    ShadowLabel* numberLabel() const { return scoringNumber_; }
    // Fonts for the screen's scale, and the number's place in the middle.
    void applyScale(qreal scale);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void placeNumber();

    QImage background_;
    ShadowLabel* scoringNumber_;
};

}  // namespace vocalis
