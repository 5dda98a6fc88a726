// vocalis-remote: a phone remote on the command line, for testing a venue's network
// without a phone and for driving the player from scripts.
#include <charconv>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "remote/discovery_protocol.h"
#include "remote/phone_client.h"
#include "remote/wire_protocol.h"

namespace {

using namespace vocalis;
using Millis = std::chrono::milliseconds;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: vocalis-remote discover [--host ADDRESS] [--port P] [--timeout S]\n"
    "       vocalis-remote [--host H] [--port P] [--timeout S] COMMAND [ARGS]\n"
    "  md5 | catalogue | queue | current | state     query and print\n"
    "  add ID | add-first ID | remove POS | up POS | first POS\n"
    "  play | pause | next | replay | track | volume-up | volume-down | record\n"
    "  message TEXT | picture FILE | name ID TEXT\n"
    "  watch [--seconds S]                           print each notification as it arrives\n"
    "discover probes ADDRESS (default the broadcast address 255.255.255.255) on UDP port P\n"
    "(default 1122) and prints one line per reply: address TAB text. The other commands talk\n"
    "to the player at H (default 127.0.0.1) on TCP port P (default 6789). Positions count the\n"
    "waiting songs from 0. S is in seconds (default 5; 2 for discover).\n";

int usage(const std::string& problem) {
    std::cerr << "vocalis-remote: " << problem << "\n" << kUsageText;
    return kUsage;
}

int fail(const std::string& problem) {
    std::cerr << "vocalis-remote: " << problem << "\n";
    return kFailure;
}

template <typename T>
std::optional<T> parseNumber(const std::string& text) {
    T value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<Millis> parseSeconds(const std::string& text) {
    std::istringstream in(text);
    double seconds = 0;
    if (!(in >> seconds) || !in.eof() || seconds < 0 || seconds > 1e7) return std::nullopt;
    return Millis(static_cast<long long>(seconds * 1000));
}

// One line per notification, named after what it reports.
void printNotification(const PlayerMessage& message) {
    switch (message.code) {
        case wire::kQueueMessage:
            std::cout << "queue\t" << message.text << "\n";
            break;
        case wire::kCurrentSongMessage:
            std::cout << "current\t" << message.value << "\n";
            break;
        case wire::kPlayStateMessage:
            std::cout << "state\t" << (message.value ? "playing" : "paused") << "\n";
            break;
        case wire::kAudioTrackMessage:
            std::cout << "track\t" << message.value << "\n";
            break;
        default:
            std::cout << "message " << int{message.code} << "\n";
            break;
    }
    std::cout.flush();
}

struct Options {
    std::string host;
    std::optional<std::uint16_t> port;
    std::optional<Millis> timeout;
};

int discover(const Options& options) {
    std::string error;
    const auto answers = discoverPlayers(options.host.empty() ? "255.255.255.255" : options.host,
                                         options.port.value_or(discovery::kDefaultPort),
                                         options.timeout.value_or(Millis(2000)), error);
    if (!answers) return fail(error);
    if (answers->empty()) return fail("no player answered");
    for (const auto& answer : *answers) std::cout << answer.address << "\t" << answer.text << "\n";
    return 0;
}

// The command's bytes for the commands that only send; nothing for the others.
std::optional<std::string> commandBytes(const std::vector<std::string>& args, std::string& problem) {
    const std::string& name = args[0];
    const auto arity = [&](std::size_t n) {
        if (args.size() == n + 1) return true;
        problem = name + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s");
        return false;
    };
    const auto number = [&](std::size_t i) -> std::optional<std::int32_t> {
        auto value = parseNumber<std::int32_t>(args[i]);
        if (!value) problem = "not a number: " + args[i];
        return value;
    };
    struct Simple {
        const char* name;
        std::uint8_t code;
    };
    static constexpr Simple kSimple[] = {{"play", wire::kPlay},          {"pause", wire::kPause},
                                         {"next", wire::kNext},          {"replay", wire::kReplay},
                                         {"volume-up", wire::kVolumeUp}, {"volume-down", wire::kVolumeDown},
                                         {"record", wire::kRecord}};
    for (const auto& simple : kSimple)
        if (name == simple.name) return arity(0) ? std::optional(wire::action(simple.code)) : std::nullopt;
    if (name == "track") return arity(0) ? std::optional(wire::switchAudioTrackCommand()) : std::nullopt;
    struct WithInt {
        const char* name;
        std::uint8_t code;
    };
    static constexpr WithInt kWithInt[] = {{"add", wire::kAddSong},
                                           {"add-first", wire::kAddSongFirst},
                                           {"remove", wire::kRemove},
                                           {"up", wire::kMoveUp},
                                           {"first", wire::kMoveFirst}};
    for (const auto& withInt : kWithInt) {
        if (name != withInt.name) continue;
        if (!arity(1)) return std::nullopt;
        auto value = number(1);
        return value ? std::optional(wire::intCommand(withInt.code, *value)) : std::nullopt;
    }
    if (name == "message") return arity(1) ? std::optional(wire::sendMessageCommand(args[1])) : std::nullopt;
    if (name == "name") {
        if (!arity(2)) return std::nullopt;
        auto id = number(1);
        return id ? std::optional(wire::requesterNameCommand(*id, args[2])) : std::nullopt;
    }
    if (name == "picture") {
        if (!arity(1)) return std::nullopt;
        std::ifstream file(args[1], std::ios::binary);
        if (!file) {
            problem = "cannot read " + args[1];
            return std::nullopt;
        }
        std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        return wire::sendPictureCommand(image);
    }
    problem = "unknown command: " + name;
    return std::nullopt;
}

int query(PhoneClient& client, const std::vector<std::string>& args, Millis timeout) {
    const std::string& name = args[0];
    if (args.size() != 1) return usage(name + " takes no argument");
    std::uint8_t request = 0, reply = 0;
    if (name == "md5")
        request = wire::kChecksumRequest, reply = wire::kChecksumMessage;
    else if (name == "catalogue" || name == "queue")
        request = wire::kCatalogueRequest, reply = wire::kCatalogueMessage;
    else if (name == "current")
        request = wire::kCurrentSongRequest, reply = wire::kCurrentSongMessage;
    else
        request = wire::kPlayStateRequest, reply = wire::kPlayStateMessage;

    if (!client.send(wire::action(request), timeout)) return fail(client.error());
    auto message = client.receive(reply, timeout);
    if (!message) return fail(client.error());
    if (name == "md5") {
        std::cout << message->text << "\n";
    } else if (name == "catalogue") {
        std::cout << message->text;
    } else if (name == "queue") {
        auto queue = client.receive(wire::kQueueMessage, timeout);
        if (!queue) return fail(client.error());
        std::istringstream ids(queue->text);
        for (std::string id; ids >> id;) std::cout << id << "\n";
    } else if (name == "current") {
        std::cout << message->value << "\n";
    } else {
        std::cout << (message->value ? "playing" : "paused") << "\n";
    }
    return std::cout.flush() ? 0 : kFailure;
}

int watch(PhoneClient& client, std::optional<Millis> seconds) {
    const auto end =
        seconds ? std::chrono::steady_clock::now() + *seconds : std::chrono::steady_clock::time_point::max();
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (seconds && now >= end) return 0;
        const Millis left = seconds ? std::chrono::duration_cast<Millis>(end - now) : Millis(3600 * 1000);
        if (auto message = client.receive(left)) {
            printNotification(*message);
            continue;
        }
        if (!client.timedOut()) return fail(client.error());
        if (seconds) return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsageText;
            return 0;
        }
        if (arg != "--host" && arg != "--port" && arg != "--timeout") break;
        if (i + 1 >= args.size()) return usage(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--port") {
            options.port = parseNumber<std::uint16_t>(value);
            if (!options.port) return usage("not a port: " + value);
        } else {
            options.timeout = parseSeconds(value);
            if (!options.timeout) return usage("not a number of seconds: " + value);
        }
    }
    if (i >= args.size()) return usage("no command");
    std::vector<std::string> command(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

    if (command[0] == "discover") {
        // Options may also follow the command word.
        for (std::size_t j = 1; j < command.size(); ++j) {
            if (j + 1 >= command.size()) return usage(command[j] + " needs a value");
            const std::string& value = command[j + 1];
            if (command[j] == "--host")
                options.host = value;
            else if (command[j] == "--port" && (options.port = parseNumber<std::uint16_t>(value))) {
            } else if (command[j] == "--timeout" && (options.timeout = parseSeconds(value))) {
            } else
                return usage("bad discover option: " + command[j] + " " + value);
            ++j;
        }
        return discover(options);
    }

    const Millis timeout = options.timeout.value_or(Millis(5000));
    std::optional<Millis> watchFor;
    const std::string& name = command[0];
    const bool isQuery =
        name == "md5" || name == "catalogue" || name == "queue" || name == "current" || name == "state";
    std::string bytes;
    if (name == "watch") {
        if (command.size() == 3 && command[1] == "--seconds") {
            watchFor = parseSeconds(command[2]);
            if (!watchFor) return usage("not a number of seconds: " + command[2]);
        } else if (command.size() != 1) {
            return usage("watch takes only --seconds S");
        }
    } else if (!isQuery) {
        std::string problem;
        auto built = commandBytes(command, problem);
        if (!built) return usage(problem);
        bytes = std::move(*built);
    }

    PhoneClient client;
    if (!client.connect(options.host.empty() ? "127.0.0.1" : options.host,
                        options.port.value_or(wire::kDefaultPort), timeout))
        return fail(client.error());
    if (isQuery) return query(client, command, timeout);
    if (name == "watch") return watch(client, watchFor);
    if (!client.send(bytes, timeout)) return fail(client.error());
    client.finish(timeout);
    return 0;
}
