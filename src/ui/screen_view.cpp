#include "ui/screen_view.h"

#include <QFontMetrics>
#include <QResizeEvent>
#include <cmath>

#include "ui/black_view.h"
#include "ui/next_view.h"
#include "ui/overlay_style.h"
#include "ui/picture_view.h"
#include "ui/pitch_band_view.h"
#include "ui/scoring_view.h"
#include "ui/shadow_label.h"
#include "ui/video_view.h"
#include "ui/volume_view.h"

namespace vocalis {

namespace {

ShadowLabel* bannerLabel(QWidget* parent) {
    auto* label = new ShadowLabel(parent);
    label->setWordWrap(true);
    label->setTextColor(Qt::white);
    label->hide();
    return label;
}

}  // namespace

ScreenView::ScreenView(QImage banner, QString scoreBackgroundFile, QWidget* parent)
    : QWidget(parent),
      video_(new VideoView(this)),
      lblTitle_(bannerLabel(this)),
      nextView_(new NextView(std::move(banner), this)),
      pitchBand_(new PitchBandView(this)),
      scoringView_(new ScoringView(std::move(scoreBackgroundFile), this)),
      imgPicture_(new PictureView(this)),
      volumeView_(new VolumeView(this)),
      viewBlack_(new BlackView(this)),
      lblMessage_(bannerLabel(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    lblTitle_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblMessage_->setAlignment(Qt::AlignCenter);
    for (QWidget* hidden : {static_cast<QWidget*>(nextView_), static_cast<QWidget*>(scoringView_),
                            static_cast<QWidget*>(imgPicture_), static_cast<QWidget*>(volumeView_),
                            static_cast<QWidget*>(viewBlack_)})
        hidden->hide();
    // Children stack in creation order, which is the order of the class comment.
    applyScale(screenScale(height()));
    relayout();
}

void ScreenView::applyScale(qreal scale) {
    if (scale == scale_) return;
    scale_ = scale;
    auto px = [scale](qreal value) { return static_cast<int>(std::lround(value * scale)); };
    lblTitle_->setFont(overlayFont(px(46), true));
    lblTitle_->setShadow(Qt::black, 4.0 * scale * 2);
    lblMessage_->setFont(overlayFont(px(44), true));
    lblMessage_->setShadow(Qt::black, 5.0 * scale * 2);
    nextView_->applyScale(scale);
    scoringView_->applyScale(scale);
    imgPicture_->applyScale(scale);
    volumeView_->applyScale(scale);
}

void ScreenView::relayout() {
    applyScale(screenScale(height()));
    const int W = width();
    const int H = height();
    auto px = [this](qreal value) { return static_cast<int>(std::lround(value * scale_)); };

    video_->setGeometry(0, 0, W, H);
    viewBlack_->setGeometry(0, 0, W, H);
    scoringView_->setGeometry(0, 0, W, H);

    // Up-next panel: top right corner.
    const int margin = px(24);
    nextView_->move(W - nextView_->width() - margin, margin);

    // Title: centred near the top, two lines at most; while the up-next panel shows, centred
    // in the room left of it so the two never overlap.
    const int titleHeight = 2 * QFontMetrics(lblTitle_->font()).lineSpacing() + px(12);
    const bool besidePanel = !nextView_->isHidden() && nextView_->targetOpacity() > 0;
    const int titleRight = besidePanel ? nextView_->x() - margin : W - W / 20;
    lblTitle_->setGeometry(W / 20, px(28), std::max(0, titleRight - W / 20), titleHeight);

    // Message: the full width, vertically centred, room for three lines.
    const int messageHeight = 3 * QFontMetrics(lblMessage_->font()).lineSpacing() + px(16);
    lblMessage_->setGeometry(0, H / 2 - messageHeight / 2, W, messageHeight);

    // Picture: 40 from the right edge, vertically centred.
    imgPicture_->move(W - imgPicture_->width() - 40, H / 2 - imgPicture_->height() / 2);

    // Pitch band: across the bottom, below where a song's lyrics usually run.
    pitchBand_->setGeometry(W / 20, H - H / 6 - px(16), W - W / 10, H / 6);

    // Volume: centred, in the lower part of the screen.
    volumeView_->move(W / 2 - volumeView_->width() / 2, H - volumeView_->height() - H / 7);
}

void ScreenView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

}  // namespace vocalis
