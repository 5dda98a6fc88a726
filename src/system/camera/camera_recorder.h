#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/recorder.h"
#include "system/camera/camera_preview.h"
#include "system/camera/camera_source.h"
#include "system/camera/camera_take.h"

namespace vocalis {

struct CameraSettings {
    std::optional<CameraSource> source;  // none: no camera, for the life of the process
    std::uint64_t minFreeBytes = 1ull << 30;
    PreviewSink* preview = nullptr;
    std::function<void()> onDiskLow;  // from the take's thread: the take ended and was kept
};

// The engine's camera. Each take is its own pipeline, opened when the take starts and
// drained into a complete file on its own thread when it stops, while the next take may
// already run; the preview shows the running take's picture.
class CameraRecorder final : public Recorder {
  public:
    explicit CameraRecorder(CameraSettings settings);
    ~CameraRecorder() override;  // waits for every take's file
    CameraRecorder(const CameraRecorder&) = delete;
    CameraRecorder& operator=(const CameraRecorder&) = delete;

    bool hasCamera() const override { return settings_.source.has_value(); }
    bool isCapturing() const override { return capturing_; }
    void startCapture() override;
    void stopCapture() override;
    bool isRecording() const override { return take_ && !take_->ended(); }
    void startRecording(const std::string& file) override;
    void stopRecording() override;
    void discardRecording() override;
    void setPreviewVisible(bool visible) override;

    // Waits until the file of every ended take is complete and closed (at quit).
    void finishEndedTakes();

  private:
    bool startGStreamer();  // once; whether it runs
    void endTake(bool discard);

    CameraSettings settings_;
    std::optional<bool> gstreamer_;  // started, or failed to
    bool capturing_ = false;
    std::unique_ptr<CameraTake> take_;
    std::vector<std::unique_ptr<CameraTake>> ending_;  // still draining, or not yet let go
};

}  // namespace vocalis
