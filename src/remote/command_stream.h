#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vocalis {

// One command cut out of a phone's byte stream.
struct PhoneCommand {
    std::uint8_t code = 0;
    std::int32_t value = 0;             // song id (2, 3, 36), queue position (11-13), tone (21)
    std::string text;                   // 18: the message; 36: the requester's name
    std::vector<std::uint8_t> picture;  // 22: the image bytes as sent
};

// A text or picture whose length is above its cap is skipped whole: its bytes are
// discarded as they arrive and never read as commands, so a phone cannot make the player
// hold more than this for one command. A phone photo can pass 16 MiB.
struct CommandLimits {
    std::size_t maxText = 64 * 1024;
    std::size_t maxPicture = 32 * 1024 * 1024;
};

// The receive buffer of one connection. Chunks go in as they arrive; every command whose
// bytes are complete comes out, in arrival order. A catalogue request ends the chunk's
// commands (what follows it in the buffer is dropped), and a byte that is not a command
// drops everything buffered. A negative length leaves no way to find the next command:
// the stream is broken for good and the connection should be closed.
class CommandStream {
  public:
    explicit CommandStream(CommandLimits limits = {}) : limits_(limits) {}

    // Appends a chunk; next() then cuts its commands one at a time, so that a reader can
    // pause between two commands (no new chunk is appended before the buffer is spent).
    void append(std::string_view chunk);
    std::optional<PhoneCommand> next();
    // append() and every next().
    std::vector<PhoneCommand> feed(std::string_view chunk);

    // Bytes waiting for the rest of their command.
    std::size_t buffered() const { return buffer_.size() - head_; }
    // Bytes of an over-long payload still to be discarded as they arrive.
    std::size_t skipping() const { return skipping_; }
    bool broken() const { return broken_; }
    // How many times the buffer was dropped for a code that is not a command.
    std::size_t dropCount() const { return dropCount_; }

  private:
    void drop();
    // Discards `size` bytes from the head on, those not yet here included.
    void skip(std::size_t size);

    CommandLimits limits_;
    std::string buffer_;
    std::size_t head_ = 0;  // bytes at the front already carried out
    std::size_t skipping_ = 0;
    bool broken_ = false;
    std::size_t dropCount_ = 0;
};

}  // namespace vocalis
