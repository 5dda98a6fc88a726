#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>

#include "app/media/video_sink.h"

namespace vocalis {

// Paints the media player's pictures. Frames are asked for at the view's size in device
// pixels, so a frame is normally drawn one to one (a player's I420 frame converted straight
// into the window's pixels); black until the first frame arrives, then always the last
// frame kept.
//
// The sink calls come on libVLC's threads: stop the player before this view goes away.
class VideoView final : public QWidget, public VideoSink {
  public:
    explicit VideoView(QWidget* parent = nullptr);

    FrameSize frameSizeFor(int sourceWidth, int sourceHeight) override;
    void presentFrame(std::shared_ptr<const VideoFrame> frame) override;

    std::shared_ptr<const VideoFrame> currentFrame() const;
    // The view's size in device pixels, as told to the player.
    FrameSize deviceSize() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void rememberDeviceSize();
    bool paintIntoWindow(QPainter& painter, const VideoFrame& frame, const QRegion& region);

    mutable std::mutex mutex_;
    std::shared_ptr<const VideoFrame> frame_;
    FrameSize deviceSize_;
    // One repaint request in flight at a time, however fast frames come.
    std::atomic<bool> repaintQueued_{false};
    bool paintedPicture_ = false;  // main thread only
};

}  // namespace vocalis
