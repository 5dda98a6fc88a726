#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vocalis {

// One decoded picture in the decoders' own planar 4:2:0 YUV (I420): a Y plane of width bytes
// a row, then a U and a V plane of chromaWidth() bytes a row and chromaHeight() rows. A view
// turns it into colours as it paints, straight into the window, which spares the media
// engine's RGB conversion and a copy of every picture.
struct VideoFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    int chromaWidth() const { return (width + 1) / 2; }
    int chromaHeight() const { return (height + 1) / 2; }
    // The bytes a picture of this size takes.
    std::size_t byteSize() const { return lumaSize() + 2 * chromaSize(); }
    // 0 is Y, 1 is U, 2 is V.
    const std::uint8_t* plane(int index) const { return pixels.data() + planeOffset(index); }
    std::uint8_t* plane(int index) { return pixels.data() + planeOffset(index); }

  private:
    std::size_t lumaSize() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::size_t chromaSize() const {
        return static_cast<std::size_t>(chromaWidth()) * static_cast<std::size_t>(chromaHeight());
    }
    std::size_t planeOffset(int index) const {
        return index <= 0 ? 0 : lumaSize() + (index == 1 ? 0 : chromaSize());
    }
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
    // A zero or negative answer keeps the source size. The player rounds an odd size up to
    // the next even one, as 4:2:0 pictures need: a view crops that last row or column.
    virtual FrameSize frameSizeFor(int sourceWidth, int sourceHeight) = 0;

    // A complete picture, ready to paint. The sink may keep it as long as it likes: the
    // player never writes into a frame it has handed over. The last frame of a media is
    // not withdrawn when the media ends, so a view keeps showing it.
    virtual void presentFrame(std::shared_ptr<const VideoFrame> frame) = 0;
};

}  // namespace vocalis
