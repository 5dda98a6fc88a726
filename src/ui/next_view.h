#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <optional>

#include "app/overlays.h"
#include "ui/overlay_cache.h"

class QLabel;
class QVariantAnimation;

namespace vocalis {

// A picture drawn to fill its bounds, cropped rather than squeezed.
class FillImageView final : public QWidget {
  public:
    explicit FillImageView(QWidget* parent = nullptr);
    void setImage(QImage image);
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
};

// The up-next panel: the song's thumbnail (16:9), the label ("Tiếp theo", "Chọn",
// "Ưu tiên"), the title and the singer, on black at alpha 0.5 with rounded corners.
// Its alpha fades in a quarter of a second. The thumbnail and the labels are hidden children
// the panel draws into its cached picture, so a video frame under it only blends that.
class NextView final : public QWidget {
  public:
    static constexpr int kFadeMilliseconds = 250;

    // `banner` stands in for a song without a thumbnail.
    explicit NextView(QImage banner, QWidget* parent = nullptr);

    void setContent(const std::optional<ImageBytes>& thumbnail, const QString& upNext, const QString& title,
                    const QString& singer);
    void fadeTo(double alpha);
    double opacity() const;        // now, mid-fade included
    double targetOpacity() const;  // where the fade ends
    bool isFading() const;

    // Sizes and fonts for a screen of that scale (see screenScale).
    void applyScale(qreal scale);

    const QImage& thumbnail() const;
    QString upNextText() const { return upNext_; }
    QString titleText() const { return title_; }
    QString singerText() const { return singer_; }
    QLabel* upNextLabel() const { return lblUpNext_; }
    QLabel* titleLabel() const { return lblNextTitle_; }
    QLabel* singerLabel() const { return lblNextSinger_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void updateTexts();
    std::array<QWidget*, 4> parts() const;  // drawn into the panel

    QImage banner_;
    QString upNext_, title_, singer_;
    qreal scale_ = 1;
    FillImageView* imgNextThumbnail_;
    QLabel* lblUpNext_;
    QLabel* lblNextTitle_;
    QLabel* lblNextSinger_;
    QVariantAnimation* fade_;
    double opacity_ = 0;
    double target_ = 0;
    OverlayCache cache_;
};

}  // namespace vocalis
