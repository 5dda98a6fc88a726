#pragma once

#include <string>

namespace vocalis {

// The camera: one movie file per take, with a live preview while a take runs.
class Recorder {
  public:
    virtual ~Recorder() = default;
    // Whether a camera was found at start-up; never changes afterwards.
    virtual bool hasCamera() const = 0;
    virtual bool isCapturing() const = 0;  // the capture pipeline runs
    virtual void startCapture() = 0;
    virtual void stopCapture() = 0;
    virtual bool isRecording() const = 0;  // a movie file is being written
    virtual void startRecording(const std::string& file) = 0;
    // Ends the take; its file is completed behind, without holding up the caller.
    virtual void stopRecording() = 0;
    // Ends the take and throws its file away, once the file is let go of.
    virtual void discardRecording() = 0;
    virtual void setPreviewVisible(bool visible) = 0;
};

// For computers without a camera.
class NoCamera final : public Recorder {
  public:
    bool hasCamera() const override { return false; }
    bool isCapturing() const override { return false; }
    void startCapture() override {}
    void stopCapture() override {}
    bool isRecording() const override { return false; }
    void startRecording(const std::string&) override {}
    void stopRecording() override {}
    void discardRecording() override {}
    void setPreviewVisible(bool) override {}
};

}  // namespace vocalis
