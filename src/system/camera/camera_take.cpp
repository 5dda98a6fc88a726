#include "system/camera/camera_take.h"

#include <fcntl.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/log.h"

namespace vocalis {

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr auto kDiskCheckInterval = std::chrono::seconds(1);
// Draining the encoders takes a fraction of a second; this only bounds a stuck pipeline.
constexpr GstClockTime kDrainTimeout = 15 * GST_SECOND;
constexpr GstClockTime kFailedDrainTimeout = 3 * GST_SECOND;
// Stopping the sources takes a picture's time or two; this only bounds a stuck camera.
constexpr auto kReleaseTimeout = std::chrono::seconds(2);

std::string scaledVideo() {
    return "videoconvert ! videoscale ! video/x-raw,width=" + std::to_string(kWidth) +
           ",height=" + std::to_string(kHeight) + ",pixel-aspect-ratio=1/1";
}

const char* aacEncoder() {
    for (const char* name : {"avenc_aac", "voaacenc", "fdkaacenc"})
        if (GstElementFactory* factory = gst_element_factory_find(name)) {
            gst_object_unref(factory);
            return name;
        }
    return "avenc_aac";  // reported as missing when the pipeline is made
}

// The elements after the source; "vin" and "ain" are where a take's end is injected, so it
// works alike for a live camera and for a file read by a demuxer that ignores end events
// sent to it.
std::string pipelineDescription(const CameraSource& source, bool withSound) {
    std::string video;
    std::string sound;
    // A file is read as fast as the disk goes; clocksync plays it out at its own pace, as a
    // camera would deliver it.
    const std::string pace = source.kind == CameraSource::Kind::File ? " ! clocksync" : "";
    if (source.kind == CameraSource::Kind::Device) {
        // The camera's 1280x720 mode when it has one (compressed or raw), else whatever it
        // gives, scaled.
        video =
            "v4l2src name=camera ! capsfilter caps=\"image/jpeg,width=1280,height=720;"
            "video/x-raw,width=1280,height=720;image/jpeg;video/x-raw\" ! queue name=vin ! decodebin ! ";
        if (withSound) sound = "pulsesrc name=microphone ! queue name=ain ! ";
    } else {
        video = "queue name=vin ! ";
        if (withSound) sound = "queue name=ain ! ";
    }
    std::string description =
        video + scaledVideo() + pace + " ! tee name=vt " +
        "vt. ! queue leaky=downstream max-size-buffers=2 ! videoscale ! videoconvert ! "
        "video/x-raw,format=BGRx,width=320,height=180 ! "
        "appsink name=preview max-buffers=1 drop=true sync=false "
        // A second of pictures waits for the encoder; past that, pictures are
        // dropped rather than holding up the camera (their times stay right).
        "vt. ! queue leaky=downstream max-size-buffers=0 max-size-bytes=0 "
        "max-size-time=1000000000 ! videoconvert ! x264enc speed-preset=superfast tune=zerolatency "
        "bitrate=4000 key-int-max=50 ! h264parse ! queue ! "
        // Fragments of a second while filming, so that a file cut short still plays; at the end
        // the muxer writes the whole index, so an ended take is a plain MP4.
        "mp4mux name=mux fragment-duration=1000 fragment-mode=first-moov-then-finalise ! "
        "filesink name=file ";
    if (withSound)
        description += sound + "audioconvert ! audioresample ! audio/x-raw,rate=48000,channels=2" + pace +
                       " ! " + aacEncoder() + " ! queue ! mux.";
    return description;
}

// Every sample is taken, with or without a view: an app sink holding one back never lets the
// take's end through.
GstFlowReturn forwardPreview(GstAppSink* sink, PreviewSink* preview) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    if (!preview) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    PreviewFrame frame;
    if (const GstCaps* caps = gst_sample_get_caps(sample)) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "width", &frame.width);
        gst_structure_get_int(s, "height", &frame.height);
    }
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    // Four bytes a pixel keeps every row aligned: no padding between rows.
    const std::size_t size = static_cast<std::size_t>(frame.width) * frame.height * 4;
    if (buffer && size > 0 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        if (map.size >= size) {
            frame.pixels.assign(map.data, map.data + size);
            preview->showPreviewFrame(std::move(frame));
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// A file standing in: each decoded stream goes to its own branch.
void onDecodedPad(GstElement*, GstPad* pad, gpointer data) {
    auto* pipeline = static_cast<GstElement*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    const std::string_view media = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    const char* branch = media.starts_with("video/") ? "vin" : media.starts_with("audio/") ? "ain" : nullptr;
    gst_caps_unref(caps);
    if (!branch) return;
    GstElement* queue = gst_bin_get_by_name(GST_BIN(pipeline), branch);
    if (!queue) return;
    GstPad* sinkPad = gst_element_get_static_pad(queue, "sink");
    if (!gst_pad_is_linked(sinkPad)) gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
    gst_object_unref(queue);
}

void sendEndTo(GstElement* pipeline, const char* name) {
    GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline), name);
    if (!element) return;
    GstPad* pad = gst_element_get_static_pad(element, "sink");
    gst_pad_send_event(pad, gst_event_new_eos());
    gst_object_unref(pad);
    gst_object_unref(element);
}

// What the muxer wrote goes to the disk each second: a power cut loses the last second or so,
// not the half minute the system may keep unwritten. Done here, never in the pipeline's way.
void syncFile(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::close(fd);
}

void removeFile(const std::string& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

std::string errorText(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

}  // namespace

CameraTake::CameraTake(TakeSettings settings) : settings_(std::move(settings)) {}

std::unique_ptr<CameraTake> CameraTake::start(TakeSettings settings) {
    auto take = std::make_unique<CameraTake>(std::move(settings));
    const bool sound = take->settings_.source.hasSound.value_or(false);
    if (take->run(sound)) return take;
    // A camera without a working microphone still films.
    if (sound && take->settings_.source.kind == CameraSource::Kind::Device) {
        logLine("Camera: no microphone, filming without sound");
        if (take->run(false)) return take;
    }
    // The muxer may have opened the file before the camera failed.
    removeFile(take->settings_.file);
    return nullptr;
}

bool CameraTake::run(bool withSound) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(pipelineDescription(settings_.source, withSound).c_str(), &error);
    if (!pipeline || error) {
        logParts("Camera: cannot make the take's pipeline: ", error ? error->message : "unknown error");
        g_clear_error(&error);
        if (pipeline) gst_object_unref(pipeline);
        return false;
    }
    // Names and paths are set as values, never parsed: a song title may hold any character.
    if (GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file")) {
        g_object_set(file, "location", settings_.file.c_str(), nullptr);
        gst_object_unref(file);
    }
    if (GstElement* camera = gst_bin_get_by_name(GST_BIN(pipeline), "camera")) {
        g_object_set(camera, "device", settings_.source.path.c_str(), nullptr);
        gst_object_unref(camera);
    }
    if (settings_.source.kind == CameraSource::Kind::File) {
        GstElement* decoder = gst_element_factory_make("uridecodebin", "camera");
        gchar* uri = gst_filename_to_uri(settings_.source.path.c_str(), nullptr);
        if (!decoder || !uri) {
            logLine("Camera: cannot read the file standing in for the camera");
            g_free(uri);
            if (decoder) gst_object_unref(decoder);
            gst_object_unref(pipeline);
            return false;
        }
        g_object_set(decoder, "uri", uri, nullptr);
        g_free(uri);
        g_signal_connect(decoder, "pad-added", G_CALLBACK(onDecodedPad), pipeline);
        gst_bin_add(GST_BIN(pipeline), decoder);
    }
    if (GstElement* preview = gst_bin_get_by_name(GST_BIN(pipeline), "preview")) {
        GstAppSinkCallbacks callbacks{};
        // An ending take shows nothing more: the next take's picture follows.
        callbacks.new_sample = [](GstAppSink* sink, gpointer data) {
            const auto* take = static_cast<CameraTake*>(data);
            return forwardPreview(sink, take->stopping_ ? nullptr : take->settings_.preview);
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(preview), &callbacks, this, nullptr);
        gst_object_unref(preview);
    }
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
        logParts("Camera: the take cannot start: ", message ? errorText(message) : "unknown error");
        if (message) gst_message_unref(message);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        return false;
    }
    pipeline_ = pipeline;
    watcher_ = std::thread([this] { watch(); });
    return true;
}

CameraTake::~CameraTake() {
    finish();
    if (pipeline_) gst_object_unref(pipeline_);
}

void CameraTake::end(bool discard) {
    bool removeNow = false;
    {
        const std::lock_guard lock(mutex_);
        discard_ = discard_ || discard;
        removeNow = discard && closed_;
    }
    if (removeNow) removeFile(settings_.file);
    if (stopping_.exchange(true) || !pipeline_) return;
    // Wakes the take's thread at once; a pipeline already stopped drops it.
    gst_element_post_message(
        pipeline_, gst_message_new_application(GST_OBJECT(pipeline_), gst_structure_new_empty("stop")));
}

void CameraTake::waitReleased() {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kReleaseTimeout, [this] { return released_; }))
        logParts("Camera: the last take still holds the camera: ", settings_.file);
}

void CameraTake::finish() {
    end();
    if (watcher_.joinable()) watcher_.join();
}

bool CameraTake::closed() const {
    const std::lock_guard lock(mutex_);
    return closed_;
}

bool CameraTake::diskLow() const {
    const std::filesystem::path folder = std::filesystem::path(settings_.file).parent_path();
    struct statvfs disk {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0) return false;
    return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < settings_.minFreeBytes;
}

// The take's own thread: errors and the source's end from the pipeline, free space, and the
// end of the take.
void CameraTake::watch() {
    GstBus* bus = gst_element_get_bus(pipeline_);
    const auto messages =
        static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_APPLICATION);
    bool drained = false;
    bool failed = false;
    bool lowOnDisk = false;
    auto nextCheck = std::chrono::steady_clock::now() + kDiskCheckInterval;
    while (!stopping_) {
        if (std::chrono::steady_clock::now() >= nextCheck) {
            nextCheck += kDiskCheckInterval;
            syncFile(settings_.file);
            if (diskLow()) {
                lowOnDisk = true;
                logParts("Camera: less than ", settings_.minFreeBytes >> 20,
                         " MiB free, the take ends: ", settings_.file);
                break;
            }
        }
        GstMessage* message = gst_bus_timed_pop_filtered(bus, 250 * GST_MSECOND, messages);
        if (!message) continue;
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_ERROR) logParts("Camera: the take failed: ", errorText(message));
        if (type == GST_MESSAGE_EOS) logParts("Camera: the camera's picture ended: ", settings_.file);
        gst_message_unref(message);
        if (type != GST_MESSAGE_APPLICATION) {
            drained = type == GST_MESSAGE_EOS;
            failed = type == GST_MESSAGE_ERROR;
            break;
        }
    }
    ended_ = true;
    if (!drained) {
        // The sources stop first, so that the next take may open the camera while this one's
        // encoders drain. What reached the encoders is written out with the file's index, after
        // a failure too (a camera unplugged): only a muxer or disk that failed itself leaves it
        // unfinished, and then the fragments written so far still play.
        releaseSources();
        sendEndTo(pipeline_, "vin");
        sendEndTo(pipeline_, "ain");
        const auto ends = static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS);
        const GstClockTime deadline =
            gst_util_get_timestamp() + (failed ? kFailedDrainTimeout : kDrainTimeout);
        bool errorLogged = failed;
        while (!drained) {
            const GstClockTime now = gst_util_get_timestamp();
            GstMessage* message =
                now < deadline ? gst_bus_timed_pop_filtered(bus, deadline - now, ends) : nullptr;
            if (!message) {
                logParts("Camera: the take did not end in time, its file ends at its last fragment: ",
                         settings_.file);
                break;
            }
            drained = GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
            if (!drained && !errorLogged) {
                logParts("Camera: the take failed while ending: ", errorText(message));
                errorLogged = true;
            }
            gst_message_unref(message);
        }
    }
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(bus);
    bool discard = false;
    {
        const std::lock_guard lock(mutex_);
        released_ = closed_ = true;
        discard = discard_;
    }
    changed_.notify_all();
    if (discard) {
        removeFile(settings_.file);
        logParts("Camera: take thrown away: ", settings_.file);
    }
    if (lowOnDisk && settings_.onDiskLow) settings_.onDiskLow();
}

void CameraTake::releaseSources() {
    for (const char* name : {"camera", "microphone"})
        if (GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), name)) {
            // Out of the pipeline's own state changes from now on.
            gst_element_set_locked_state(source, TRUE);
            gst_element_set_state(source, GST_STATE_NULL);
            gst_object_unref(source);
        }
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

}  // namespace vocalis
