#include "remote/wire_protocol.h"

#include <algorithm>
#include <array>

namespace vocalis::wire {

namespace {

// Sizes of the commands, code byte included; the three commands carrying a text or a
// picture give the size of their fixed part, the length field included.
constexpr std::array<std::uint8_t, 256> makeSizes() {
    std::array<std::uint8_t, 256> sizes{};
    for (std::uint8_t code :
         {kFiller, kCatalogueRequest, kPlay, kPause, kNext, kVolumeUp, kVolumeDown, kReplay, kNumberQuery23,
          kNumberQuery27, kFiller39, kChecksumRequest, kRecord, kPlayStateRequest, kCurrentSongRequest})
        sizes[code] = 1;
    for (std::uint8_t code : {kSwitchAudioTrack, kTone}) sizes[code] = 2;
    for (std::uint8_t code : {kAddSong, kAddSongFirst, kMoveUp, kMoveFirst, kRemove, kSendPicture})
        sizes[code] = 5;
    for (std::uint8_t code : {kSendMessage, kRequesterName}) sizes[code] = 9;
    return sizes;
}

constexpr std::array<std::uint8_t, 256> kSizes = makeSizes();

std::string withLength(std::uint8_t code, std::string_view bytes) {
    std::string out;
    out.reserve(5 + bytes.size());
    out.push_back(static_cast<char>(code));
    appendInt(out, static_cast<std::int32_t>(bytes.size()));
    out.append(bytes);
    return out;
}

}  // namespace

void intTo4Bytes(std::int32_t value, std::uint8_t* bytes) {
    const auto bits = static_cast<std::uint32_t>(value);
    bytes[0] = static_cast<std::uint8_t>(bits >> 24);
    bytes[1] = static_cast<std::uint8_t>(bits >> 16);
    bytes[2] = static_cast<std::uint8_t>(bits >> 8);
    bytes[3] = static_cast<std::uint8_t>(bits);
}

std::int32_t dataToInt(const std::uint8_t* bytes, std::size_t location) {
    const std::uint8_t* at = bytes + location;
    const std::uint32_t bits = (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
                               (std::uint32_t{at[2]} << 8) | std::uint32_t{at[3]};
    return static_cast<std::int32_t>(bits);
}

void appendInt(std::string& out, std::int32_t value) {
    std::uint8_t bytes[4];
    intTo4Bytes(value, bytes);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

std::size_t fixedCommandSize(std::uint8_t code) { return kSizes[code]; }
bool isCommand(std::uint8_t code) { return kSizes[code] != 0; }

std::string action(std::uint8_t code) { return std::string(1, static_cast<char>(code)); }

std::string intCommand(std::uint8_t code, std::int32_t value) {
    std::string out = action(code);
    appendInt(out, value);
    return out;
}

std::string switchAudioTrackCommand() { return std::string{static_cast<char>(kSwitchAudioTrack), '\0'}; }

std::string toneCommand(std::uint8_t value) {
    return std::string{static_cast<char>(kTone), static_cast<char>(value)};
}

std::string sendMessageCommand(std::string_view text) {
    std::string out = intCommand(kSendMessage, 0);
    appendInt(out, static_cast<std::int32_t>(text.size()));
    out.append(text);
    return out;
}

std::string sendPictureCommand(std::string_view image) { return withLength(kSendPicture, image); }

std::string requesterNameCommand(std::int32_t songId, std::string_view name) {
    std::string out = intCommand(kRequesterName, songId);
    appendInt(out, static_cast<std::int32_t>(name.size()));
    out.append(name);
    return out;
}

std::string catalogueHeader(std::int32_t textLength, std::int32_t songCount) {
    std::string out = intCommand(kCatalogueMessage, textLength);
    appendInt(out, songCount);
    return out;
}

std::string catalogueTrailer(std::uint8_t audioTrack) {
    std::string out;
    appendInt(out, 0);
    appendInt(out, audioTrack);
    appendInt(out, 0);
    return out;
}

std::string catalogueMessage(std::string_view text, std::int32_t songCount, std::uint8_t audioTrack) {
    std::string out = catalogueHeader(static_cast<std::int32_t>(text.size()), songCount);
    out.append(text);
    out += catalogueTrailer(audioTrack);
    return out;
}

std::string queueMessage(std::string_view queueText) { return withLength(kQueueMessage, queueText); }

std::string currentSongMessage(std::int32_t songId) { return intCommand(kCurrentSongMessage, songId); }

std::string playStateMessage(bool isPlaying) {
    return std::string{static_cast<char>(kPlayStateMessage), static_cast<char>(isPlaying ? 1 : 0)};
}

std::string audioTrackMessage(std::uint8_t audioTrack) {
    return std::string{static_cast<char>(kAudioTrackMessage), static_cast<char>(audioTrack)};
}

std::string checksumMessage(std::string_view md5) { return withLength(kChecksumMessage, md5); }

std::string numberMessage(std::uint8_t code) {
    return intCommand(code, code == kNumber23Message ? kNumber23 : kNumber27);
}

std::int32_t countRecords(std::string_view catalogueText) {
    if (catalogueText.empty()) return 0;
    return static_cast<std::int32_t>(std::count(catalogueText.begin(), catalogueText.end(), '\n') + 1);
}

}  // namespace vocalis::wire
