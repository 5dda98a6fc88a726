#pragma once

// A private PulseAudio: one null sink, its socket in a temporary folder, no bus or cookie; root too (CI).

#include <asio/local/stream_protocol.hpp>
#include <optional>

#include "support/background_program.h"
#include "support/eventually.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace vocalis::testing {

class PulseDaemon {
  public:
    static constexpr const char* kSinkName = "vocalis_test_sink";

    PulseDaemon() { start(); }
    ~PulseDaemon() { stop(); }

    // Starts (again) on the same socket, with its own runtime and home folders, so it meets no
    // other daemon and leaves nothing behind. -n: no default configuration, only what is loaded here.
    void start() {
        if (listening_) return;
        program_.emplace(
            "/usr/bin/pulseaudio",
            words("--daemonize=no -n --use-pid-file=no --exit-idle-time=-1 --disallow-exit "
                  "--realtime=no --high-priority=no --log-target=stderr --log-level=error",
                  {std::string("--load=module-null-sink sink_name=") + kSinkName,
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath()}),
            std::vector<std::string>{"PULSE_", "HOME=" + dir_.path(), "XDG_RUNTIME_DIR=" + dir_.path(),
                                     "PULSE_RUNTIME_PATH=" + (dir_ / "pulse"),
                                     "DBUS_SESSION_BUS_ADDRESS=disabled:"},
            log());
        // Generous: a loaded CI machine may take a while to start the daemon.
        eventually([&] { return !program_->running() || connects(); }, std::chrono::seconds(60));
        listening_ = program_->running() && connects();
    }
    void stop() {
        if (program_) program_->stop(SIGTERM, std::chrono::seconds(10));
        program_.reset();
        listening_ = false;
    }

    bool running() const { return listening_; }
    std::string socketPath() const { return dir_ / "native"; }
    std::string server() const { return "unix:" + socketPath(); }
    std::string log() const { return dir_ / "daemon.log"; }

  private:
    bool connects() const {
        asio::io_context context;
        asio::local::stream_protocol::socket socket(context);
        asio::error_code error;
        socket.connect({socketPath()}, error);
        return !error;
    }

    TempDir dir_;  // outlives the program, whose socket and log are in it
    std::optional<BackgroundProgram> program_;
    bool listening_ = false;
};

}  // namespace vocalis::testing
