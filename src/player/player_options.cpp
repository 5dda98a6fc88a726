#include "player/player_options.h"

#include <charconv>

namespace vocalis {

const char* const kPlayerUsage =
    "usage: vocalis-player [OPTION]...\n"
    "Plays the songs of the USB drives' \"Karaoke\" folders full screen; phones queue and control them.\n"
    "\n"
    "  --data-dir DIR         the data folder (default: \"Vocalis Player\" in the documents folder)\n"
    "  --songs DIR            also scan this song folder (repeatable; after the USB drives,\n"
    "                         before the data folder's \"Karaoke\")\n"
    "  --demo                 make a few demo songs in the data folder on first use and play them\n"
    "  --intro-clip FILE      the clip played at start (default: the player's own)\n"
    "  --idle-clip FILE       the clip played while nothing is queued (default: the player's own)\n"
    "  --camera DEVICE|FILE   the camera that films the singers: a device node, or a video file\n"
    "                         standing in for camera and microphone (default: the first camera)\n"
    "  --microphone SOURCE    the sound source the singers sing into, for the measured score (a\n"
    "                         PulseAudio source name; default: the stored choice, else the default\n"
    "                         source); none: no microphone, scores are drawn at random\n"
    "  --media-port N         local media service port (default 6767)\n"
    "  --thumbnail-port N     thumbnail service port for phones (default 6768)\n"
    "  --remote-port N        phone remote port (default 6789)\n"
    "  --discovery-port N     UDP discovery port (default 1122)\n"
    "  --web-port N           browser remote port (default 6790)\n"
    "  --web-pin PIN          the PIN guests need for more than queueing songs (default: the\n"
    "                         stored setting; empty: none)\n"
    "  --fair-turns           singers take turns by name for this run (the setting \"Xoay vòng\n"
    "                         người hát\" keeps it on for every run)\n"
    "  --no-sound             play without a sound card (silent)\n"
    "  --help                 this text\n";

namespace {

bool parsePort(const std::string& text, std::uint16_t& port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

std::optional<PlayerOptions> parsePlayerOptions(const std::vector<std::string>& args, std::string& error) {
    PlayerOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string* {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--no-sound") {
            options.noSound = true;
        } else if (arg == "--fair-turns") {
            options.fairTurns = true;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--data-dir" || arg == "--songs" || arg == "--intro-clip" || arg == "--idle-clip" ||
                   arg == "--camera" || arg == "--microphone") {
            const std::string* text = value();
            if (!text) return std::nullopt;
            if (text->empty()) {
                error = arg + " needs a path";
                return std::nullopt;
            }
            if (arg == "--data-dir") options.dataDir = *text;
            if (arg == "--songs") options.songFolders.push_back(*text);
            if (arg == "--intro-clip") options.introClip = *text;
            if (arg == "--idle-clip") options.idleClip = *text;
            if (arg == "--camera") options.camera = *text;
            if (arg == "--microphone") options.microphone = *text;
        } else if (arg == "--web-pin") {
            const std::string* text = value();
            if (!text) return std::nullopt;
            options.webPin = *text;
        } else if (arg == "--media-port" || arg == "--thumbnail-port" || arg == "--remote-port" ||
                   arg == "--discovery-port" || arg == "--web-port") {
            const std::string* text = value();
            if (!text) return std::nullopt;
            std::uint16_t& port = arg == "--media-port"       ? options.mediaPort
                                  : arg == "--thumbnail-port" ? options.thumbnailPort
                                  : arg == "--remote-port"    ? options.remotePort
                                  : arg == "--web-port"       ? options.webPort
                                                              : options.discoveryPort;
            if (!parsePort(*text, port)) {
                error = arg + " needs a port number from 0 to 65535, not \"" + *text + "\"";
                return std::nullopt;
            }
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace vocalis
