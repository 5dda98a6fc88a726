#pragma once

#include <QImage>
#include <QWidget>

namespace vocalis {

class BlackView;
class NextView;
class PictureView;
class PitchBandView;
class ScoringView;
class ShadowLabel;
class VideoView;
class VolumeView;

// The video and every overlay above it, placed for the view's size. From the bottom up:
// video, title banner, up-next panel, pitch band, score screen, picture, volume, black cover,
// message.
class ScreenView final : public QWidget {
  public:
    ScreenView(QImage banner, QString scoreBackgroundFile, QWidget* parent = nullptr);

    VideoView* video() const { return video_; }
    ShadowLabel* title() const { return lblTitle_; }
    NextView* next() const { return nextView_; }
    ShadowLabel* message() const { return lblMessage_; }
    PictureView* picture() const { return imgPicture_; }
    BlackView* blackCover() const { return viewBlack_; }
    VolumeView* volume() const { return volumeView_; }
    ScoringView* scoring() const { return scoringView_; }
    PitchBandView* pitchBand() const { return pitchBand_; }

    // Places the video over the whole view and every overlay where it belongs.
    void relayout();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void applyScale(qreal scale);

    VideoView* video_;
    ShadowLabel* lblTitle_;
    NextView* nextView_;
    PitchBandView* pitchBand_;
    ScoringView* scoringView_;
    PictureView* imgPicture_;
    VolumeView* volumeView_;
    BlackView* viewBlack_;
    ShadowLabel* lblMessage_;
    qreal scale_ = 0;
};

}  // namespace vocalis
