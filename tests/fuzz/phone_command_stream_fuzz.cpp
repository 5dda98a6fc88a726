// A phone's stream cut into commands (and read as the player's messages) in chunks the first byte sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "remote/command_stream.h"
#include "remote/message_stream.h"
#include "remote/wire_protocol.h"

static void check(bool condition) {
    if (!condition) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vocalis;
    if (size == 0) return 0;
    const std::size_t chunkSize = 1 + data[0] % 17;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    // Small caps so that whole texts and pictures are within the fuzzer's reach.
    const CommandLimits limits{.maxText = 64, .maxPicture = 256};
    CommandStream commands(limits);
    MessageStream messages(300);
    const std::size_t maxBuffered = 5 + limits.maxPicture + 9 + limits.maxText;
    for (std::size_t at = 0; at < stream.size(); at += chunkSize) {
        const auto chunk = stream.substr(at, chunkSize);
        const bool wasBroken = commands.broken();
        const auto cut = commands.feed(chunk);
        check(!wasBroken || cut.empty());
        for (const auto& command : cut) {
            check(wire::isCommand(command.code));
            check(command.text.size() <= limits.maxText);
            check(command.picture.size() <= limits.maxPicture);
            if (command.code != wire::kSendMessage && command.code != wire::kRequesterName)
                check(command.text.empty());
            if (command.code != wire::kSendPicture) check(command.picture.empty());
        }
        // What waits is one unfinished command; nothing waits behind an over-long payload.
        check(commands.buffered() < maxBuffered);
        check(commands.skipping() == 0 || commands.buffered() == 0);
        for (const auto& message : messages.feed(chunk)) check(message.text.size() <= 300);
    }
    return 0;
}
