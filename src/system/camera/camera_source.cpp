#include "system/camera/camera_source.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <libudev.h>
#include <sys/stat.h>

#include <memory>
#include <string_view>
#include <vector>

#include "base/log.h"

namespace vocalis {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

}  // namespace

std::optional<std::string> firstCaptureDevice() {
    UdevPtr<udev> context(udev_new());
    if (!context) return std::nullopt;
    UdevPtr<udev_enumerate> list(udev_enumerate_new(context.get()));
    udev_enumerate_add_match_subsystem(list.get(), "video4linux");
    udev_enumerate_scan_devices(list.get());
    std::optional<std::string> first;
    dev_t firstNumber = 0;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list.get())) {
        UdevPtr<udev_device> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device) continue;
        const char* node = udev_device_get_devnode(device.get());
        const char* capabilities = udev_device_get_property_value(device.get(), "ID_V4L_CAPABILITIES");
        // Metadata nodes of the same camera list no capture capability.
        if (!node || !capabilities ||
            std::string_view(capabilities).find(":capture:") == std::string_view::npos)
            continue;
        const dev_t number = udev_device_get_devnum(device.get());
        if (!first || number < firstNumber) {
            first = node;
            firstNumber = number;
        }
    }
    return first;
}

bool fileHasSound(const std::string& path) {
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    if (!uri) {
        g_clear_error(&error);
        return false;
    }
    bool sound = false;
    if (GstDiscoverer* discoverer = gst_discoverer_new(10 * GST_SECOND, &error)) {
        if (GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error)) {
            GList* streams = gst_discoverer_info_get_audio_streams(info);
            sound = streams != nullptr;
            gst_discoverer_stream_info_list_free(streams);
            g_object_unref(info);
        }
        g_object_unref(discoverer);
    }
    g_clear_error(&error);
    g_free(uri);
    return sound;
}

std::optional<CameraSource> findCamera(const std::optional<std::string>& named) {
    if (!named) {
        const std::optional<std::string> device = firstCaptureDevice();
        if (!device) return std::nullopt;
        return CameraSource{CameraSource::Kind::Device, *device, true};
    }
    struct stat info {};
    if (::stat(named->c_str(), &info) != 0) {
        logParts("Camera not found: ", *named);
        return std::nullopt;
    }
    if (S_ISCHR(info.st_mode)) return CameraSource{CameraSource::Kind::Device, *named, true};
    if (S_ISREG(info.st_mode)) return CameraSource{CameraSource::Kind::File, *named, std::nullopt};
    logParts("Camera is neither a device nor a file: ", *named);
    return std::nullopt;
}

}  // namespace vocalis
