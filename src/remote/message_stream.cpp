#include "remote/message_stream.h"

#include "remote/wire_protocol.h"

namespace vocalis {

std::vector<PlayerMessage> MessageStream::feed(std::string_view chunk) {
    std::vector<PlayerMessage> messages;
    if (broken_) return messages;
    buffer_.append(chunk);
    std::size_t head = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer_.data());
    auto lengthAt = [&](std::size_t at, std::size_t& out) {
        const std::int32_t length = wire::dataToInt(bytes, at);
        if (length < 0 || static_cast<std::size_t>(length) > maxText_) return false;
        out = static_cast<std::size_t>(length);
        return true;
    };
    while (head < buffer_.size()) {
        const std::size_t available = buffer_.size() - head;
        PlayerMessage message;
        message.code = bytes[head];
        std::size_t size = 0;
        switch (message.code) {
            case wire::kAudioTrackMessage:
            case wire::kPlayStateMessage:
                size = 2;
                if (available >= size) message.value = bytes[head + 1];
                break;
            case wire::kNumber23Message:
            case wire::kNumber27Message:
            case wire::kCurrentSongMessage:
                size = 5;
                if (available >= size) message.value = wire::dataToInt(bytes, head + 1);
                break;
            case wire::kQueueMessage:
            case wire::kChecksumMessage: {
                if (available < 5) break;
                std::size_t length = 0;
                if (!lengthAt(head + 1, length)) {
                    broken_ = true;
                    return messages;
                }
                size = 5 + length;
                if (available >= size) message.text.assign(buffer_, head + 5, length);
                break;
            }
            case wire::kCatalogueMessage: {
                if (available < 9) break;
                std::size_t length = 0;
                if (!lengthAt(head + 1, length)) {
                    broken_ = true;
                    return messages;
                }
                size = 9 + length + 12;
                if (available >= size) {
                    message.songCount = wire::dataToInt(bytes, head + 5);
                    message.text.assign(buffer_, head + 9, length);
                    message.value = wire::dataToInt(bytes, head + 9 + length + 4);
                }
                break;
            }
            default:
                broken_ = true;
                return messages;
        }
        if (size == 0 || available < size) break;
        head += size;
        messages.push_back(std::move(message));
    }
    buffer_.erase(0, head);
    return messages;
}

}  // namespace vocalis
