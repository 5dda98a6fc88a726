#include "system/camera/camera_recorder.h"

#include <gst/gst.h>

#include "base/log.h"

namespace vocalis {

CameraRecorder::CameraRecorder(CameraSettings settings) : settings_(std::move(settings)) {
    if (settings_.source)
        logParts("Camera: ", settings_.source->path,
                 settings_.source->kind == CameraSource::Kind::File ? " (a file standing in)" : "");
    else
        logLine("Camera: none found");
}

CameraRecorder::~CameraRecorder() {
    stopCapture();
    finishEndedTakes();
}

// The camera opens with the take: a capture without a take films nothing.
void CameraRecorder::startCapture() { capturing_ = hasCamera(); }

void CameraRecorder::stopCapture() {
    stopRecording();
    capturing_ = false;
}

// GStreamer starts with the first take, not with the player: loading its plugins (and
// rebuilding their registry after an update, half a second) would hold up the intro.
bool CameraRecorder::startGStreamer() {
    if (gstreamer_) return *gstreamer_;
    GError* error = nullptr;
    gstreamer_ = gst_init_check(nullptr, nullptr, &error);
    if (!*gstreamer_) logParts("Camera: GStreamer cannot start: ", error ? error->message : "unknown error");
    g_clear_error(&error);
    if (*gstreamer_ && !settings_.source->hasSound)
        settings_.source->hasSound = fileHasSound(settings_.source->path);
    return *gstreamer_;
}

void CameraRecorder::startRecording(const std::string& file) {
    if (!hasCamera() || !startGStreamer()) return;
    endTake(false);
    // A camera device is opened by one pipeline at a time: the takes before let it go first,
    // which takes a picture's time, not their draining.
    if (settings_.source->kind == CameraSource::Kind::Device)
        for (const auto& take : ending_) take->waitReleased();
    take_ = CameraTake::start(
        {*settings_.source, file, settings_.minFreeBytes, settings_.preview, settings_.onDiskLow});
    if (take_) logParts("Camera: take started: ", file);
}

void CameraRecorder::stopRecording() { endTake(false); }

void CameraRecorder::discardRecording() { endTake(true); }

// Never waits for the take's file: its encoders drain on its own thread.
void CameraRecorder::endTake(bool discard) {
    std::erase_if(ending_, [](const auto& take) { return take->closed(); });
    if (!take_) return;
    take_->end(discard);
    ending_.push_back(std::move(take_));
}

void CameraRecorder::finishEndedTakes() {
    for (const auto& take : ending_) take->finish();
    ending_.clear();
}

void CameraRecorder::setPreviewVisible(bool visible) {
    if (settings_.preview) settings_.preview->setPreviewShown(visible);
}

}  // namespace vocalis
