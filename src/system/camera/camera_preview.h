#pragma once

#include <cstdint>
#include <vector>

namespace vocalis {

// One picture of the live preview: 32-bit pixels, blue green red and an unused byte, rows
// packed without padding.
struct PreviewFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Where the preview goes (the window's small camera view).
class PreviewSink {
  public:
    virtual ~PreviewSink() = default;
    // From the capture's own thread, as often as frames come.
    virtual void showPreviewFrame(PreviewFrame frame) = 0;
    // On the main thread.
    virtual void setPreviewShown(bool shown) = 0;
};

}  // namespace vocalis
