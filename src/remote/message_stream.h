#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocalis {

// One message from the player, as a phone reads it.
struct PlayerMessage {
    std::uint8_t code = 0;
    // 38: song id; 23 and 27: the number; 31: 1 playing, 0 paused; 8 and 1: audio track.
    std::int32_t value = 0;
    std::int32_t songCount = 0;  // 1
    std::string text;            // 1: catalogue text; 14: queue text; 41: checksum
};

// The phone's side of the stream: cuts the player's messages out of received chunks.
// A code the player never sends, or a length out of range, breaks the stream for good.
class MessageStream {
  public:
    explicit MessageStream(std::size_t maxText = std::size_t{1} << 30) : maxText_(maxText) {}

    std::vector<PlayerMessage> feed(std::string_view chunk);
    bool broken() const { return broken_; }
    std::size_t buffered() const { return buffer_.size(); }

  private:
    std::size_t maxText_;
    std::string buffer_;
    bool broken_ = false;
};

}  // namespace vocalis
