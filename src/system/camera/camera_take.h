#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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
// a complete, seekable file. The draining happens on the take's own thread.
class CameraTake {
  public:
    // nullptr when the pipeline cannot run (one log line says why); it leaves no file.
    static std::unique_ptr<CameraTake> start(TakeSettings settings);
    explicit CameraTake(TakeSettings settings);  // not running yet: use start()
    ~CameraTake();                               // waits until the file is closed
    CameraTake(const CameraTake&) = delete;
    CameraTake& operator=(const CameraTake&) = delete;

    // Ends the take and returns at once: the file is completed on the take's own thread.
    // `discard`: the file is removed once the pipeline has closed it.
    void end(bool discard = false);
    // Waits, within a bound, until the camera and microphone are let go: a device is opened by
    // one pipeline at a time. Only after end().
    void waitReleased();
    // Ends the take and waits until the file is complete and closed.
    void finish();
    // The take ended on its own: the file standing in ran out, free space ran low, or an error.
    bool ended() const { return ended_; }
    // The file is complete and closed: nothing of the take runs any more.
    bool closed() const;

  private:
    bool run(bool withSound);
    void watch();
    void releaseSources();
    bool diskLow() const;

    TakeSettings settings_;
    GstElement* pipeline_ = nullptr;
    std::thread watcher_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;  // the sources are stopped
    bool closed_ = false;
    bool discard_ = false;
};

}  // namespace vocalis
