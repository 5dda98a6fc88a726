#pragma once

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/background_program.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace vocalis::testing {

// A clip of a test picture with `tracks` tones of 440, 1000, ... Hz.
inline void makeClip(const std::string& path, int seconds, int tracks = 1,
                     const std::string& format = "mp4") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string length = std::to_string(seconds);
    auto args = words("-v error -y -f lavfi -i testsrc=s=160x120:r=10:d=" + length);
    for (int t = 0; t < tracks; ++t)
        args.insert(args.end(),
                    {"-f", "lavfi", "-i", "sine=f=" + std::to_string(440 + 560 * t) + ":d=" + length});
    for (int t = 0; t <= tracks; ++t) args.insert(args.end(), {"-map", std::to_string(t)});
    for (auto& arg : words("-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -f " + format, {path}))
        args.push_back(arg);
    ASSERT_EQ(runProgram("ffmpeg", args).status, 0) << path;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done())
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
}

inline std::string freePort(bool udp = false) {
    asio::io_context context;
    const auto any = asio::ip::address_v4::loopback();
    if (udp) return std::to_string(asio::ip::udp::socket(context, {any, 0}).local_endpoint().port());
    return std::to_string(asio::ip::tcp::acceptor(context, {any, 0}).local_endpoint().port());
}

// The player offscreen and without sound on `dir`'s songs/, intro.mp4 and idle.mp4, at home in
// dir/<name>, on free ports of its own, on the session bus at `bus` (by default none).
class PlayerRun {
  public:
    PlayerRun(const TempDir& dir, const std::string& name, const std::string& bus = "")
        : home(dir / name),
          program(programPath("vocalis-player"),
                  {"--no-sound", "--data-dir", home + "/data", "--songs", dir / "songs", "--intro-clip",
                   dir / "intro.mp4", "--idle-clip", dir / "idle.mp4", "--media-port", mediaPort,
                   "--thumbnail-port", thumbnailPort, "--remote-port", remotePort, "--discovery-port",
                   discoveryPort, "--web-port", webPort},
                  {"QT_QPA_PLATFORM=offscreen", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                   "XDG_RUNTIME_DIR=" + dir.path(), "PULSE_SERVER=unix:" + (dir / "no-pulse"),
                   "DBUS_SESSION_BUS_ADDRESS=" + (bus.empty() ? "unix:path=" + (dir / "no-bus") : bus)},
                  home + ".log") {}

    ProgramResult remote(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", remotePort});
        return runProgram(programPath("vocalis-remote"), args);
    }
    // Phones get in once the intro has ended with the catalogue loaded.
    bool ready() {
        return waitFor([&] { return remote({"md5"}).status == 0 || !program.running(); },
                       std::chrono::seconds(90)) &&
               program.running();
    }
    std::string log() const { return readFile(home + ".log"); }

    const std::string mediaPort = freePort(), thumbnailPort = freePort(), remotePort = freePort(),
                      discoveryPort = freePort(true), webPort = freePort();
    const std::string home;
    BackgroundProgram program;
};

}  // namespace vocalis::testing
