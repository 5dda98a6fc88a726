#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "system/camera/camera_preview.h"
#include "system/camera/camera_source.h"

typedef struct _GstElement GstElement;

namespace vocalis {

struct TakeSettings {
    CameraSource source;
    std::string file;                         // the MP4 written
    std::uint64_t minFreeBytes = 1ull << 30;  // under this, free on the file's disk, the take ends
    PreviewSink* preview = nullptr;           // frames from the capture's thread; may be null
    std::function<void()> onDiskLow;          // from the take's own thread, once the file is closed
};

// One take: a GStreamer pipeline from the camera (or the file standing in) and its sound to
// one MP4 file, H.264 and AAC, with the preview on the side. Sound and picture share the
// pipeline's clock, so they stay in step. The file is written in fragments of a second, so a
// take cut short by a crash or a power cut still plays up to its last fragment; ending a take
// drains both encoders into the muxer, which then writes the whole index: every ended take is
// a complete, seekable file.
class CameraTake {
  public:
    // nullptr when the pipeline cannot run (one log line says why).
    static std::unique_ptr<CameraTake> start(TakeSettings settings);
    explicit CameraTake(TakeSettings settings);  // not running yet: use start()
    ~CameraTake();
    CameraTake(const CameraTake&) = delete;
    CameraTake& operator=(const CameraTake&) = delete;

    // Ends the take and waits until the file is complete and closed.
    void finish();
    // The take ended on its own: the file standing in ran out, free space ran low, or an error.
    bool ended() const { return ended_; }

  private:
    bool run(bool withSound);
    void watch();
    bool diskLow() const;

    TakeSettings settings_;
    GstElement* pipeline_ = nullptr;
    std::thread watcher_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
};

}  // namespace vocalis
