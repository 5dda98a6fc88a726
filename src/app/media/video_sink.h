#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vocalis {

// One decoded picture in the decoders' own planar 4:2:0 YUV (I420): a Y plane of width x height
// samples, then a U and a V plane of chromaWidth() x chromaHeight(). A view turns it into
// colours as it paints, straight into the window, which spares the media engine's RGB
// conversion and a copy of every picture.
//
// The pixels are either the frame's own (packed, rows back to back) or a picture still in the
// media engine's memory, shown without a copy: then its planes keep their own row strides and
// the frame keeps the picture until it is destroyed.
struct VideoFrame {
    struct Held {
        std::array<const std::uint8_t*, 3> planes{};
        std::array<int, 3> strides{};
        std::shared_ptr<const void> owner;
    };

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::optional<Held> held;

    int chromaWidth() const { return (width + 1) / 2; }
    int chromaHeight() const { return (height + 1) / 2; }
    // The bytes a packed picture of this size takes.
    std::size_t byteSize() const { return lumaSize() + 2 * chromaSize(); }
    // Whether every plane's pixels are there to read.
    bool complete() const { return width > 0 && height > 0 && (held || pixels.size() >= byteSize()); }
    // 0 is Y, 1 is U, 2 is V.
    const std::uint8_t* plane(int index) const {
        return held ? held->planes[static_cast<std::size_t>(index)] : pixels.data() + planeOffset(index);
    }
    // Only for a frame's own pixels.
    std::uint8_t* plane(int index) { return pixels.data() + planeOffset(index); }
    // Bytes from one row of a plane to the next.
    int stride(int index) const {
        if (held) return held->strides[static_cast<std::size_t>(index)];
        return index == 0 ? width : chromaWidth();
    }

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
