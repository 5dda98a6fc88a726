#pragma once

// What the player and its libVLC video output module share. The module is loaded by libVLC
// (it links libVLC's core, the player does not), so they meet through this plain struct: the
// player puts its address in the libVLC instance's options and the module calls back.

#include <cstdint>

struct picture_t;

namespace vocalis {

// Checked by the module before it trusts an address.
constexpr std::uint32_t kDisplayBridgeMagic = 0x564f4344;  // "VOCD"
constexpr std::uint32_t kDisplayBridgeVersion = 1;
// The option that carries the bridge's address, and the module's name for "--vout".
constexpr const char* kDisplayBridgeOption = "vocalis-display";
constexpr const char* kDisplayModuleName = "vocalis_display";

// One decoded 4:2:0 picture, as the decoder wrote it: its planes keep their row strides and
// padding; the picture itself is the width x height area at (x, y) of the Y plane.
struct DisplayPicture {
    const std::uint8_t* planes[3];
    int strides[3];
    int x, y, width, height;
    // The engine's picture, given back with `release` once no longer read. That function
    // lives in libVLC's core, not in the module, so it stays callable after the module is
    // unloaded.
    picture_t* picture;
    void (*release)(picture_t*);
};

struct DisplayBridge {
    std::uint32_t magic = kDisplayBridgeMagic;
    std::uint32_t version = kDisplayBridgeVersion;
    void* opaque = nullptr;
    // A video starts with pictures of this size (pixels, before the sample aspect); `hardware`
    // when the graphics card decodes it and its pictures are copied back for us.
    void (*start)(void* opaque, int width, int height, unsigned sarNum, unsigned sarDen,
                  bool hardware) = nullptr;
    // A picture to show now. The callee owns it from here and releases it.
    void (*show)(void* opaque, const DisplayPicture& picture) = nullptr;
};

}  // namespace vocalis
