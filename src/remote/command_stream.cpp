#include "remote/command_stream.h"

#include <algorithm>

#include "remote/wire_protocol.h"

namespace vocalis {

namespace {

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

}  // namespace

void CommandStream::drop() {
    buffer_.clear();
    head_ = 0;
    ++dropCount_;
}

void CommandStream::skip(std::size_t size) {
    const std::size_t here = std::min(size, buffer_.size() - head_);
    head_ += here;
    skipping_ = size - here;
}

void CommandStream::append(std::string_view chunk) {
    if (broken_) return;
    // While skipping, the buffer is empty: every byte that was here has been skipped.
    const std::size_t skipped = std::min(skipping_, chunk.size());
    skipping_ -= skipped;
    chunk.remove_prefix(skipped);
    if (chunk.empty()) return;
    // Carried-out bytes are removed lazily, so a flood of small commands stays linear.
    if (head_ > 0 && head_ >= buffer_.size() / 2) {
        buffer_.erase(0, head_);
        head_ = 0;
    }
    buffer_.append(chunk);
}

std::vector<PhoneCommand> CommandStream::feed(std::string_view chunk) {
    append(chunk);
    std::vector<PhoneCommand> commands;
    while (auto command = next()) commands.push_back(std::move(*command));
    return commands;
}

std::optional<PhoneCommand> CommandStream::next() {
    // Loops only past skipped payloads.
    for (;;) {
        if (broken_) return std::nullopt;
        if (head_ >= buffer_.size()) {
            buffer_.clear();
            head_ = 0;
            return std::nullopt;
        }
        const std::size_t available = buffer_.size() - head_;
        const std::uint8_t* at = bytesOf(buffer_) + head_;
        const std::uint8_t code = at[0];
        const std::size_t fixed = wire::fixedCommandSize(code);
        if (fixed == 0) {
            drop();
            return std::nullopt;
        }
        if (available < fixed) return std::nullopt;

        PhoneCommand command;
        command.code = code;
        std::size_t size = fixed;
        switch (code) {
            case wire::kCatalogueRequest:
                // What follows in the buffer is dropped.
                buffer_.clear();
                head_ = 0;
                return command;
            case wire::kAddSong:
            case wire::kAddSongFirst:
            case wire::kMoveUp:
            case wire::kMoveFirst:
            case wire::kRemove:
                command.value = wire::dataToInt(at, 1);
                break;
            case wire::kTone:
                command.value = at[1];
                break;
            case wire::kSendMessage:
            case wire::kRequesterName:
            case wire::kSendPicture: {
                const std::size_t lengthAt = code == wire::kSendPicture ? 1 : 5;
                const std::int32_t length = wire::dataToInt(at, lengthAt);
                const std::size_t cap = code == wire::kSendPicture ? limits_.maxPicture : limits_.maxText;
                if (length < 0) {
                    buffer_.clear();
                    head_ = 0;
                    broken_ = true;
                    return std::nullopt;
                }
                size = fixed + static_cast<std::size_t>(length);
                if (static_cast<std::size_t>(length) > cap) {
                    skip(size);
                    continue;
                }
                if (available < size) return std::nullopt;
                if (code == wire::kSendPicture) {
                    command.picture.assign(at + fixed, at + size);
                } else {
                    command.text.assign(reinterpret_cast<const char*>(at) + fixed,
                                        static_cast<std::size_t>(length));
                    if (code == wire::kRequesterName) command.value = wire::dataToInt(at, 1);
                }
                break;
            }
            default:
                break;
        }
        head_ += size;
        return command;
    }
}

}  // namespace vocalis
