#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vocalis {

// One decoded picture: 32-bit BGRA pixels (the byte order of QImage::Format_RGB32 on a
// little-endian machine, so a view paints it without conversion), rows of width * 4 bytes.
struct VideoFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    int stride() const { return width * 4; }
};

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Where the media player hands its pictures. Both calls arrive on the media engine's own
// threads, never on the main thread, so an implementation guards what it shares.
class VideoSink {
  public:
    virtual ~VideoSink() = default;

    // A video starts with pictures of the given source size; answer the size the frames
    // should have (normally the view's size in device pixels, so nothing rescales later).
    // A zero or negative answer keeps the source size.
    virtual FrameSize frameSizeFor(int sourceWidth, int sourceHeight) = 0;

    // A complete picture, ready to paint. The sink may keep it as long as it likes: the
    // player never writes into a frame it has handed over. The last frame of a media is
    // not withdrawn when the media ends, so a view keeps showing it.
    virtual void presentFrame(std::shared_ptr<const VideoFrame> frame) = 0;
};

}  // namespace vocalis
