// A libVLC 3 video output that hands the decoder's own pictures to the player, uncopied. libVLC's
// memory output (the video callbacks) copies every picture into the caller's buffer, and its
// pictures are declared without padding, so a decoder's padded picture (H.264 pads to whole
// macroblocks) is first copied once more by a converter. Here the pool the decoder writes into
// is this output's, in the source's own layout, so neither copy happens.

// This module is part of Vocalis Player and under its licence.
#define VLC_MODULE_COPYRIGHT "Copyright (C) the Vocalis Player developers"
#define VLC_MODULE_LICENSE "Licensed under the terms of the GNU General Public License, version 3 or later."

#include <vlc_common.h>
#include <vlc_picture_pool.h>
#include <vlc_plugin.h>
#include <vlc_vout_display.h>
#include <vlc_vout_window.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/media/vlc_display/display_bridge.h"

namespace {

using vocalis::DisplayBridge;
using vocalis::DisplayPicture;

// libVLC counts the picture last shown as kept; the player may hold one more while it paints.
constexpr unsigned kKeptByPlayer = 1;

struct Output {
    const DisplayBridge* bridge = nullptr;
    picture_pool_t* pool = nullptr;
};

// The player's bridge, in the player's own instances of libVLC only.
const DisplayBridge* bridgeOf(vlc_object_t* object) {
    char* text = var_InheritString(object, vocalis::kDisplayBridgeOption);
    if (!text) return nullptr;
    char* end = nullptr;
    const unsigned long long address = std::strtoull(text, &end, 16);
    const bool whole = end && *end == '\0' && end != text;
    std::free(text);
    if (!whole || address == 0) return nullptr;
    const auto* bridge = reinterpret_cast<const DisplayBridge*>(static_cast<std::uintptr_t>(address));
    if (bridge->magic != vocalis::kDisplayBridgeMagic || bridge->version != vocalis::kDisplayBridgeVersion ||
        !bridge->show)
        return nullptr;
    return bridge;
}

picture_pool_t* pool(vout_display_t* vd, unsigned count) {
    auto* output = reinterpret_cast<Output*>(vd->sys);
    if (!output->pool) output->pool = picture_pool_NewFromFormat(&vd->fmt, count + kKeptByPlayer);
    return output->pool;
}

void display(vout_display_t* vd, picture_t* picture, subpicture_t* subpicture) {
    auto* output = reinterpret_cast<Output*>(vd->sys);
    if (subpicture) subpicture_Delete(subpicture);
    DisplayPicture shown{};
    for (int plane = 0; plane < 3; ++plane) {
        shown.planes[plane] = picture->p[plane].p_pixels;
        shown.strides[plane] = picture->p[plane].i_pitch;
    }
    const video_format_t& format = picture->format;
    shown.x = static_cast<int>(format.i_x_offset);
    shown.y = static_cast<int>(format.i_y_offset);
    shown.width = static_cast<int>(format.i_visible_width);
    shown.height = static_cast<int>(format.i_visible_height);
    shown.picture = picture;
    shown.release = &picture_Release;
    output->bridge->show(output->bridge->opaque, shown);
}

int control(vout_display_t*, int query, va_list) {
    // The player scales and places the picture itself: size, zoom and aspect changes need
    // nothing here. New pictures cannot be made on request.
    return query == VOUT_DISPLAY_RESET_PICTURES ? VLC_EGENERIC : VLC_SUCCESS;
}

int openDisplay(vlc_object_t* object) {
    auto* vd = reinterpret_cast<vout_display_t*>(object);
    const DisplayBridge* bridge = bridgeOf(object);
    if (!bridge) return VLC_EGENERIC;
    auto output = std::make_unique<Output>(Output{bridge, nullptr});
    // The source's layout, padding and all; only the colour layout is fixed to 4:2:0, which
    // full-range 4:2:0 already is (the core converts anything else).
    video_format_t format;
    video_format_ApplyRotation(&format, &vd->fmt);
    format.i_chroma = VLC_CODEC_I420;
    format.i_rmask = format.i_gmask = format.i_bmask = 0;
    vd->fmt = format;
    // libVLC keeps the module's state as a plain pointer; close() takes it back.
    vd->sys = reinterpret_cast<vout_display_sys_t*>(output.release());
    vd->pool = pool;
    vd->prepare = nullptr;
    vd->display = display;
    vd->control = control;
    if (bridge->start) {
        // A decoder's surfaces in the graphics card have no planes we could read.
        const vlc_chroma_description_t* source = vlc_fourcc_GetChromaDescription(vd->source.i_chroma);
        const bool hardware = !source || source->plane_count == 0;
        bridge->start(bridge->opaque, static_cast<int>(format.i_visible_width),
                      static_cast<int>(format.i_visible_height), format.i_sar_num, format.i_sar_den,
                      hardware);
    }
    return VLC_SUCCESS;
}

void closeDisplay(vlc_object_t* object) {
    auto* vd = reinterpret_cast<vout_display_t*>(object);
    const std::unique_ptr<Output> output(reinterpret_cast<Output*>(vd->sys));
    // Pictures the player still holds keep the pool alive until they are released.
    if (output->pool) picture_pool_Release(output->pool);
}

// libVLC 3 opens a window for every video before it opens any output, and would otherwise
// put one of its own (an X window the size of the video) over the player's. The player's
// instances get this one instead: it has no handle and nothing to show.
int controlWindow(vout_window_t*, int, va_list) { return VLC_SUCCESS; }

int openWindow(vout_window_t* window, const vout_window_cfg_t*) {
    if (!bridgeOf(VLC_OBJECT(window))) return VLC_EGENERIC;
    window->type = VOUT_WINDOW_TYPE_INVALID;
    window->control = controlWindow;
    return VLC_SUCCESS;
}

void closeWindow(vout_window_t*) {}

}  // namespace

// clang-format off
vlc_module_begin()
    set_shortname("Vocalis")
    set_description("Vocalis Player video view")
    set_category(CAT_VIDEO)
    set_subcategory(SUBCAT_VIDEO_VOUT)
    // Never chosen by itself: only the player's "--vout" names it.
    set_capability("vout display", 0)
    add_string(vocalis::kDisplayBridgeOption, nullptr, "Player bridge", "Where the player takes its pictures",
               true)
    change_volatile()
    set_callbacks(openDisplay, closeDisplay)
    add_submodule()
    set_capability("vout window", 1000)
    set_callbacks(openWindow, closeWindow)
vlc_module_end()
    // clang-format on
